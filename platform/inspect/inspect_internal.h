// SPDX-License-Identifier: Apache-2.0
// What the application framework (app_main.cpp) asks of the UI inspection: the app's
// windows, found one way for both, and the control messages it handles.
#ifndef VORNIX_INSPECT_INTERNAL_H
#define VORNIX_INSPECT_INTERNAL_H

#include <Evas.h>

#include <string>
#include <vector>

// The app's windows: each canvas's top-level Elementary windows, bottom to top.
std::vector<Evas_Object*> ui_app_windows();

// Control messages "snapshot <base>", "tap <text>", "key <name>"; false for any other.
bool ui_inspect_control(const std::string& line);
// With VORNIX_SNAPSHOT=<base> set, takes one snapshot shortly after the loop starts.
void ui_inspect_arm_from_environment();

#endif
