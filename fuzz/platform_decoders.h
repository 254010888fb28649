// SPDX-License-Identifier: Apache-2.0
// The platform's decoder of "appcontrol <text>" control messages, as a running app calls
// it on each such line. It is an internal of the app-control module, not exported by the
// platform library: the targets that call it link the platform's objects statically
// (vornix-platform-static).
#ifndef VORNIX_FUZZ_PLATFORM_DECODERS_H
#define VORNIX_FUZZ_PLATFORM_DECODERS_H

#include <app_control.h>

app_control_h appcontrol_from_message(const char* text);

#endif
