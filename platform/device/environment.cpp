// SPDX-License-Identifier: Apache-2.0
#include <vornix/device/environment.h>

#include <stdlib.h>

namespace env {

std::string assignment(const char* name, const std::string& value) {
    return std::string(name) + "=" + value;
}

const char* device() { return getenv(kDevice); }
const char* appId() { return getenv(kAppId); }
const char* appControl() { return getenv(kAppControl); }
const char* replyFd() { return getenv(kReplyFd); }

void forgetLaunchRequest() {
    unsetenv(kAppControl);
    unsetenv(kReplyFd);
}

const char* dlogFile() { return getenv(kDlogFile); }
const char* dlogLevel() { return getenv(kDlogLevel); }
const char* dlogStderr() { return getenv(kDlogStderr); }
const char* screen() { return getenv(kScreen); }
const char* screenScale() { return getenv(kScreenScale); }
const char* snapshot() { return getenv(kSnapshot); }
const char* testKillAt() { return getenv(kTestKillAt); }
const char* testStopAt() { return getenv(kTestStopAt); }

}  // namespace env
