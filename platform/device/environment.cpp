// SPDX-License-Identifier: Apache-2.0
#include <vornix/device/environment.h>

#include <stdlib.h>

namespace env {

const char kDevice[] = "VORNIX_DEVICE";
const char kAppId[] = "VORNIX_APP_ID";
const char kAppControl[] = "VORNIX_APP_CONTROL";
const char kReplyFd[] = "VORNIX_REPLY_FD";
const char kDlogFile[] = "VORNIX_DLOG_FILE";

const char* device() { return getenv(kDevice); }
const char* appId() { return getenv(kAppId); }
const char* appControl() { return getenv(kAppControl); }
const char* replyFd() { return getenv(kReplyFd); }

void forgetLaunchRequest() {
    unsetenv(kAppControl);
    unsetenv(kReplyFd);
}

const char* dlogFile() { return getenv(kDlogFile); }
const char* dlogLevel() { return getenv("VORNIX_DLOG_LEVEL"); }
const char* dlogStderr() { return getenv("VORNIX_DLOG_STDERR"); }
const char* screen() { return getenv("VORNIX_SCREEN"); }
const char* screenScale() { return getenv("VORNIX_SCREEN_SCALE"); }
const char* snapshot() { return getenv("VORNIX_SNAPSHOT"); }
const char* testKillAt() { return getenv("VORNIX_TEST_KILL_AT"); }
const char* testStopAt() { return getenv("VORNIX_TEST_STOP_AT"); }

}  // namespace env
