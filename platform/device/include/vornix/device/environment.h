// SPDX-License-Identifier: Apache-2.0
// The process environment the desktop platform reads: every VORNIX_* variable is named
// here, and the platform reads them through these calls alone (README.md lists them). On a device
// the platform's launcher gives a started app its identity; here the environment does. Each call
// answers the variable's text, or null when it is not set.
#ifndef VORNIX_DEVICE_ENVIRONMENT_H
#define VORNIX_DEVICE_ENVIRONMENT_H

#include <string>

namespace env {

// The names: the platform reads them through the calls below; tools and tests use them
// to set up a process's environment. Identity, and the launch request a started app got:
constexpr char kDevice[] = "VORNIX_DEVICE", kAppId[] = "VORNIX_APP_ID";
constexpr char kAppControl[] = "VORNIX_APP_CONTROL", kReplyFd[] = "VORNIX_REPLY_FD";
// The log, the screen:
constexpr char kDlogFile[] = "VORNIX_DLOG_FILE", kDlogLevel[] = "VORNIX_DLOG_LEVEL",
               kDlogStderr[] = "VORNIX_DLOG_STDERR";
constexpr char kScreen[] = "VORNIX_SCREEN", kScreenScale[] = "VORNIX_SCREEN_SCALE",
               kSnapshot[] = "VORNIX_SNAPSHOT";
// Tests only: a package change's steps; the launcher the black-box tests run.
constexpr char kTestKillAt[] = "VORNIX_TEST_KILL_AT", kTestStopAt[] = "VORNIX_TEST_STOP_AT",
               kLauncher[] = "VORNIX_LAUNCHER";

// "<name>=<value>", an entry of an environment handed to a new process.
std::string assignment(const char* name, const std::string& value);

// Identity (device_layout.cpp): the device folder, and the app this process runs as.
const char* device();  // VORNIX_DEVICE: none means no device
const char* appId();   // VORNIX_APP_ID: none means no app context

// The launch request a started app got (app_control.cpp), taken once: the request
// text or "@<request file>", and the reply socket's descriptor. Both are unset by
// forgetLaunchRequest(), so that a later request is not made from them again.
const char* appControl();  // VORNIX_APP_CONTROL: none means a plain start
const char* replyFd();     // VORNIX_REPLY_FD: none means no reply wanted
void forgetLaunchRequest();

// The log (dlog.cpp).
const char* dlogFile();    // VORNIX_DLOG_FILE: default the device's var/log/dlog
const char* dlogLevel();   // VORNIX_DLOG_LEVEL: V D I W E F or 2-7; default V
const char* dlogStderr();  // VORNIX_DLOG_STDERR: "0" keeps lines off stderr; default on

// The screen and the window (inspect/screen.cpp, inspect/ui_inspect.cpp).
const char* screen();       // VORNIX_SCREEN: "<w>x<h>"; default 720x1280
const char* screenScale();  // VORNIX_SCREEN_SCALE: 0.1 to 10; default from the size
const char* snapshot();     // VORNIX_SNAPSHOT: "<base>" for one snapshot after start

// Tests only (package_install.cpp): the step of a package change at which the
// process kills itself, to prove each step can be recovered, and the one at which it
// stops itself (SIGSTOP), for a test to act there before it goes on.
const char* testKillAt();  // VORNIX_TEST_KILL_AT
const char* testStopAt();  // VORNIX_TEST_STOP_AT

}  // namespace env

#endif
