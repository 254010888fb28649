// SPDX-License-Identifier: Apache-2.0
// What the application framework needs of the application-control module:
// the request an app was started with, and requests that reach it while it runs.
#ifndef VORNIX_PLATFORM_APP_CONTROL_INTERNAL_H
#define VORNIX_PLATFORM_APP_CONTROL_INTERNAL_H

#include <app_control.h>

// The request this process was started with (from its launch environment), or a
// request with the main operation when it was started without one. Caller destroys.
app_control_h appcontrol_from_environment(void);

// A request delivered to the running app as the text of an "appcontrol <text>"
// control message; null when the text does not decode. Caller destroys.
app_control_h appcontrol_from_message(const char* text);

// Hands `request` (the one this process was started with) to the app `app_id` that runs
// on device `dev` already, as a launch request reaching a running app; false when it could
// not be sent, and then it may be sent again. A reply the starter waits for is not given:
// its channel closes when the request is destroyed.
#ifdef __cplusplus
#include <string>
bool appcontrol_forward(const std::string& dev, const std::string& app_id, app_control_h request);
#endif

#endif
