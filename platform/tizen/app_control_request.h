// SPDX-License-Identifier: Apache-2.0
// What the parts of the application-control module share: the request handle, the
// reserved keys a request's fields live under, and the calls each part offers the others.
#ifndef VORNIX_PLATFORM_APP_CONTROL_REQUEST_H
#define VORNIX_PLATFORM_APP_CONTROL_REQUEST_H

#include <app_control.h>
#include <bundle.h>
#include <stddef.h>
#include <sys/types.h>

#include <string>

#include <vornix/device/device.h>

struct app_control_s {
    bundle* data = nullptr;
    bool received = false;  // delivered to this process, rather than made here
    int replyFd = -1;       // received, with a reply wanted and not yet given
    pid_t launchPid = 0;    // the process the last launch from this handle reached
};

namespace appctl {

constexpr char kOperation[] = "__APP_SVC_OP_TYPE__";
constexpr char kUri[] = "__APP_SVC_URI__";
constexpr char kMime[] = "__APP_SVC_MIME_TYPE__";
constexpr char kAppId[] = "__APP_SVC_PKG_NAME__";
constexpr char kCategory[] = "__APP_SVC_CATEGORY__";
constexpr char kLaunchMode[] = "__APP_SVC_LAUNCH_MODE__";
constexpr char kCaller[] = "__AUL_CALLER_APPID__";
constexpr char kWaitReply[] = "__AUL_WAIT_REPLY__";
constexpr char kReplySocket[] = "__AUL_REPLY_SOCKET__";

// Longest request text handed on in the environment or read back from anywhere.
const size_t kMaxEnvText = 64 * 1024;
const size_t kMaxText = 64 * 1024 * 1024;
constexpr char kLogTag[] = "CAPI_APPFW_APP_CONTROL";

// app_control.cpp
bool reserved(const char* key);
// The text under a key, null when there is none (or it is no string).
const char* text(app_control_h h, const char* key);
app_control_h newRequest(bundle* data);

// launch_journal.cpp
void journalLaunch(const std::string& dev, app_control_h h, bool reply, int result);
void journalTerminate(app_control_h h, int result);

// app_control_transport.cpp
std::string encode(bundle* b);
bool writeAll(int fd, const std::string& s);
// Too long for one control line or the environment: the text goes into a file.
std::string writeRequestFile(const std::string& dev, const std::string& text);
// The request text of a message or the environment: inline, or "@<file>".
app_control_h requestFromText(const char* text);
int connectReply(const char* name);
// Hands `sent` to the running `target` (pid `pid`) over its control FIFO; APP_NOT_FOUND
// when it has none (yet: a starting app makes it just after its pid file).
int deliver(const std::string& dev, const std::string& target, pid_t pid, app_control_h h,
            bundle* sent, app_control_reply_cb cb, void* data);

// pending_replies.cpp: waits on `fd` (a listening socket when `peer` > 0, accepting
// only that process) for the reply to `request`, and calls `cb` on the main loop.
bool await(app_control_h request, int fd, pid_t peer, app_control_reply_cb cb, void* data);

// app_spawn.cpp
int startTarget(const std::string& dev, const device::Package& pkg, const device::AppEntry& app,
                app_control_h h, bundle* sent, app_control_reply_cb cb, void* data);
// Asks `pid` to end (SIGTERM) when this process started it: PERMISSION_DENIED for any
// other, INVALID_PARAMETER when it ended.
int terminateStarted(pid_t pid);

}  // namespace appctl

#endif
