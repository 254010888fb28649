// SPDX-License-Identifier: Apache-2.0
// Application control: requests to other apps, their delivery and their replies.
//
// A request is a bundle. Its fields live under reserved keys ("__APP_SVC_*" and
// "__AUL_*", which callers cannot use for extra data); every other key is extra
// data. Sent, the bundle travels as its encoded text (see bundle.cpp).
//
// Sending resolves the target on the device (vornix/device/device.h). Implicit launches (no app
// id, target chosen by operation, URI and MIME type) are not resolved here: such a
// request finds no app. The caller must be an installed app holding the launch
// privilege. An installed target that is not running is started as its own process
// (<package root>/bin/<exec>, new session, stdin from /dev/null) with
//   VORNIX_DEVICE, VORNIX_APP_ID    the device and the target's id
//   VORNIX_APP_CONTROL              the request text, or "@<file>" when too long
//   VORNIX_REPLY_FD                 a socket back to the caller, when a reply is wanted
// and logs to the device's log. A running target gets an "appcontrol" message on its
// control FIFO (the messages are described in app_main.cpp). Its reply comes over an abstract
// socket named in the request, accepted only from that target's process. The launch mode is
// recorded and handed on; the desktop runs every app on its own either way.
//
// A reply is one line "<result> <reply text>". The caller's callback runs on its
// Ecore main loop with a copy of the request as sent and the reply. A target that
// drops the request without replying (it ends, or destroys every copy of it)
// closes the socket: the callback then gets APP_CONTROL_RESULT_FAILED and a null
// reply. A running target that ends before it reads the request gives no call.
//
// The launch journal is written by launch_journal.cpp, the transport is in
// app_control_transport.cpp, replies are awaited in pending_replies.cpp and targets
// started in app_spawn.cpp.
#include <app_control.h>
#include <bundle.h>

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <vornix/device/device.h>
#include <vornix/device/environment.h>

#include "app_control_internal.h"
#include "app_control_request.h"

using namespace appctl;

namespace appctl {

bool reserved(const char* key) {
    return strncmp(key, "__AUL_", 6) == 0 || strncmp(key, "__APP_SVC_", 10) == 0;
}

// The text under a key, null when there is none (or it is no string).
const char* text(app_control_h h, const char* key) {
    char* s = nullptr;
    return bundle_get_str(h->data, key, &s) == BUNDLE_ERROR_NONE ? s : nullptr;
}
app_control_h newRequest(bundle* data) {
    if (!data) return nullptr;
    auto* h = new app_control_s;
    h->data = data;
    return h;
}
}  // namespace appctl

namespace {

const char kLaunchPrivilege[] = "http://tizen.org/privilege/appmanager.launch";

int fromBundle(int ret) {
    if (ret == BUNDLE_ERROR_OUT_OF_MEMORY) return APP_CONTROL_ERROR_OUT_OF_MEMORY;
    return ret == BUNDLE_ERROR_NONE ? APP_CONTROL_ERROR_NONE : APP_CONTROL_ERROR_INVALID_PARAMETER;
}

std::string textOr(app_control_h h, const char* key) {
    const char* s = text(h, key);
    return s ? s : "";
}

int getField(app_control_h h, const char* key, char** out) {
    if (!h || !out) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    const char* s = text(h, key);
    *out = nullptr;
    if (s && !(*out = strdup(s))) return APP_CONTROL_ERROR_OUT_OF_MEMORY;
    return APP_CONTROL_ERROR_NONE;
}

// A null value removes the field.
int setField(app_control_h h, const char* key, const char* value) {
    if (!h) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    bundle_del(h->data, key);
    return value ? fromBundle(bundle_add_str(h->data, key, value)) : APP_CONTROL_ERROR_NONE;
}

int checkExtraKey(app_control_h h, const char* key) {
    if (!h || !key || !*key) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    return reserved(key) ? APP_CONTROL_ERROR_KEY_REJECTED : APP_CONTROL_ERROR_NONE;
}

int launch(const std::string& dev, app_control_h h, app_control_reply_cb cb, void* data) {
    if (!device::isDevice(dev)) return APP_CONTROL_ERROR_APP_NOT_FOUND;
    device::Package pkg;
    device::AppEntry app;
    if (device::currentApp(&pkg, &app) != device::OK || !pkg.hasPrivilege(kLaunchPrivilege))
        return APP_CONTROL_ERROR_PERMISSION_DENIED;
    const char* target = text(h, kAppId);
    if (!target || device::findApp(target, &pkg, &app) != device::OK)
        return APP_CONTROL_ERROR_APP_NOT_FOUND;

    bundle* sent = bundle_dup(h->data);
    if (!sent) return APP_CONTROL_ERROR_OUT_OF_MEMORY;
    for (const char* key : {kCaller, kWaitReply, kReplySocket}) bundle_del(sent, key);
    bundle_add_str(sent, kCaller, device::currentAppId().c_str());
    if (cb) bundle_add_str(sent, kWaitReply, "1");
    pid_t running = device::runningPid(dev, app.appId);
    int ret = running > 0 ? deliver(dev, app.appId, running, h, sent, cb, data)
                          : APP_CONTROL_ERROR_APP_NOT_FOUND;
    // Not running, or not reading its FIFO yet: a process of its own starts, and hands the
    // request over to the app if that runs by then.
    if (ret == APP_CONTROL_ERROR_APP_NOT_FOUND) {
        bundle_del(sent, kReplySocket);
        ret = startTarget(dev, pkg, app, h, sent, cb, data);
    }
    bundle_free(sent);
    return ret;
}

}  // namespace
extern "C" {

EXPORT_API int app_control_create(app_control_h* app_control) {
    if (!app_control) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    app_control_h h = newRequest(bundle_create());
    if (!h) return APP_CONTROL_ERROR_OUT_OF_MEMORY;
    *app_control = h;
    return APP_CONTROL_ERROR_NONE;
}

EXPORT_API int app_control_destroy(app_control_h app_control) {
    if (!app_control) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    bundle_free(app_control->data);
    if (app_control->replyFd >= 0) close(app_control->replyFd);
    delete app_control;
    return APP_CONTROL_ERROR_NONE;
}

// A copy of a received request can still answer it: each copy holds its own end
// of the reply channel, and the caller takes the first answer.
EXPORT_API int app_control_clone(app_control_h* clone, app_control_h app_control) {
    if (!clone || !app_control) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    app_control_h h = newRequest(bundle_dup(app_control->data));
    if (!h) return APP_CONTROL_ERROR_OUT_OF_MEMORY;
    h->received = app_control->received;
    if (app_control->replyFd >= 0) h->replyFd = fcntl(app_control->replyFd, F_DUPFD_CLOEXEC, 0);
    *clone = h;
    return APP_CONTROL_ERROR_NONE;
}

EXPORT_API int app_control_set_operation(app_control_h h, const char* v) {
    return setField(h, kOperation, v);
}
EXPORT_API int app_control_get_operation(app_control_h h, char** v) {
    return getField(h, kOperation, v);
}
EXPORT_API int app_control_set_uri(app_control_h h, const char* v) { return setField(h, kUri, v); }
EXPORT_API int app_control_get_uri(app_control_h h, char** v) { return getField(h, kUri, v); }
EXPORT_API int app_control_set_mime(app_control_h h, const char* v) {
    return setField(h, kMime, v);
}
EXPORT_API int app_control_get_mime(app_control_h h, char** v) { return getField(h, kMime, v); }
EXPORT_API int app_control_set_category(app_control_h h, const char* v) {
    return setField(h, kCategory, v);
}
EXPORT_API int app_control_get_category(app_control_h h, char** v) {
    return getField(h, kCategory, v);
}
EXPORT_API int app_control_set_app_id(app_control_h h, const char* v) {
    return setField(h, kAppId, v);
}
EXPORT_API int app_control_get_app_id(app_control_h h, char** v) { return getField(h, kAppId, v); }

// A key added again replaces its earlier value.
EXPORT_API int app_control_add_extra_data(app_control_h app_control, const char* key,
                                          const char* value) {
    int ret = checkExtraKey(app_control, key);
    if (ret != APP_CONTROL_ERROR_NONE) return ret;
    if (!value) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    bundle_del(app_control->data, key);
    return fromBundle(bundle_add_str(app_control->data, key, value));
}

EXPORT_API int app_control_add_extra_data_array(app_control_h app_control, const char* key,
                                                const char* value[], int length) {
    int ret = checkExtraKey(app_control, key);
    if (ret != APP_CONTROL_ERROR_NONE) return ret;
    if (!value || length <= 0) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    for (int i = 0; i < length; ++i)
        if (!value[i]) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    bundle_del(app_control->data, key);
    return fromBundle(bundle_add_str_array(app_control->data, key, value, length));
}

EXPORT_API int app_control_remove_extra_data(app_control_h app_control, const char* key) {
    int ret = checkExtraKey(app_control, key);
    if (ret != APP_CONTROL_ERROR_NONE) return ret;
    return bundle_del(app_control->data, key) == BUNDLE_ERROR_NONE
               ? APP_CONTROL_ERROR_NONE
               : APP_CONTROL_ERROR_KEY_NOT_FOUND;
}

EXPORT_API int app_control_get_extra_data(app_control_h app_control, const char* key,
                                          char** value) {
    int ret = checkExtraKey(app_control, key);
    if (ret != APP_CONTROL_ERROR_NONE) return ret;
    if (!value) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    int type = bundle_get_type(app_control->data, key);
    if (type == BUNDLE_TYPE_NONE) return APP_CONTROL_ERROR_KEY_NOT_FOUND;
    if (type != BUNDLE_TYPE_STR) return APP_CONTROL_ERROR_INVALID_DATA_TYPE;
    return getField(app_control, key, value);
}

EXPORT_API int app_control_get_extra_data_array(app_control_h app_control, const char* key,
                                                char*** value, int* length) {
    int ret = checkExtraKey(app_control, key);
    if (ret != APP_CONTROL_ERROR_NONE) return ret;
    if (!value || !length) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    int type = bundle_get_type(app_control->data, key);
    if (type == BUNDLE_TYPE_NONE) return APP_CONTROL_ERROR_KEY_NOT_FOUND;
    if (type != BUNDLE_TYPE_STR_ARRAY) return APP_CONTROL_ERROR_INVALID_DATA_TYPE;
    int n = 0;
    const char** items = bundle_get_str_array(app_control->data, key, &n);
    char** copy = static_cast<char**>(calloc(n > 0 ? n : 1, sizeof(char*)));
    for (int i = 0; copy && i < n; ++i)
        if (!(copy[i] = strdup(items[i]))) {
            for (int j = 0; j < i; ++j) free(copy[j]);
            free(copy);
            copy = nullptr;
        }
    if (!copy) return APP_CONTROL_ERROR_OUT_OF_MEMORY;
    *value = copy;
    *length = n;
    return APP_CONTROL_ERROR_NONE;
}

EXPORT_API int app_control_is_extra_data_array(app_control_h app_control, const char* key,
                                               bool* array) {
    int ret = checkExtraKey(app_control, key);
    if (ret != APP_CONTROL_ERROR_NONE) return ret;
    if (!array) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    int type = bundle_get_type(app_control->data, key);
    *array = type != BUNDLE_TYPE_NONE && (type & BUNDLE_TYPE_ARRAY);
    return type == BUNDLE_TYPE_NONE ? APP_CONTROL_ERROR_KEY_NOT_FOUND : APP_CONTROL_ERROR_NONE;
}

EXPORT_API int app_control_foreach_extra_data(app_control_h app_control,
                                              app_control_extra_data_cb callback, void* user_data) {
    if (!app_control || !callback) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    // The keys are taken first: the callback may change the extra data.
    std::vector<std::string> keys;
    bundle_foreach(
        app_control->data,
        [](const char* key, int, const bundle_keyval_t*, void* data) {
            if (!reserved(key)) static_cast<std::vector<std::string>*>(data)->push_back(key);
        },
        &keys);
    for (const std::string& key : keys)
        if (bundle_get_type(app_control->data, key.c_str()) != BUNDLE_TYPE_NONE &&
            !callback(app_control, key.c_str(), user_data))
            break;
    return APP_CONTROL_ERROR_NONE;
}

// Only explicit requests are resolved: the app named by the request, when installed.
EXPORT_API int app_control_foreach_app_matched(app_control_h app_control,
                                               app_control_app_matched_cb callback,
                                               void* user_data) {
    if (!app_control || !callback) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    std::string id = textOr(app_control, kAppId);
    if (!id.empty() && device::findApp(id, nullptr, nullptr) == device::OK)
        callback(app_control, id.c_str(), user_data);
    return APP_CONTROL_ERROR_NONE;
}

EXPORT_API int app_control_send_launch_request(app_control_h app_control,
                                               app_control_reply_cb callback, void* user_data) {
    if (!app_control) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    std::string dev = device::root();
    int ret = launch(dev, app_control, callback, user_data);
    journalLaunch(dev, app_control, callback != nullptr, ret);
    return ret;
}

EXPORT_API int app_control_send_terminate_request(app_control_h app_control) {
    if (!app_control) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    pid_t pid = app_control->launchPid;
    int ret = pid > 0 ? terminateStarted(pid) : APP_CONTROL_ERROR_INVALID_PARAMETER;
    journalTerminate(app_control, ret);
    return ret;
}

EXPORT_API int app_control_reply_to_launch_request(app_control_h reply, app_control_h request,
                                                   app_control_result_e result) {
    if (!reply || !request || request->replyFd < 0 ||
        (result != APP_CONTROL_RESULT_SUCCEEDED && result != APP_CONTROL_RESULT_FAILED &&
         result != APP_CONTROL_RESULT_CANCELED))
        return APP_CONTROL_ERROR_INVALID_PARAMETER;
    bundle* out = bundle_dup(reply->data);
    if (!out) return APP_CONTROL_ERROR_OUT_OF_MEMORY;
    for (const char* key : {kCaller, kWaitReply, kReplySocket}) bundle_del(out, key);
    std::string self = device::currentAppId();
    if (!self.empty()) bundle_add_str(out, kCaller, self.c_str());
    std::string line = std::to_string(result) + " " + encode(out) + "\n";
    bundle_free(out);
    bool sent = writeAll(request->replyFd, line);
    // One answer per request: the channel is closed whatever became of this one.
    close(request->replyFd);
    request->replyFd = -1;
    return sent ? APP_CONTROL_ERROR_NONE : APP_CONTROL_ERROR_IO_ERROR;
}

EXPORT_API int app_control_get_caller(app_control_h app_control, char** id) {
    if (!app_control || !id || !text(app_control, kCaller))
        return APP_CONTROL_ERROR_INVALID_PARAMETER;
    return getField(app_control, kCaller, id);
}

EXPORT_API int app_control_is_reply_requested(app_control_h app_control, bool* requested) {
    if (!app_control || !requested) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    *requested = app_control->received && text(app_control, kWaitReply) != nullptr;
    return APP_CONTROL_ERROR_NONE;
}

EXPORT_API int app_control_set_launch_mode(app_control_h app_control,
                                           app_control_launch_mode_e mode) {
    if (!app_control ||
        (mode != APP_CONTROL_LAUNCH_MODE_SINGLE && mode != APP_CONTROL_LAUNCH_MODE_GROUP))
        return APP_CONTROL_ERROR_INVALID_PARAMETER;
    return setField(app_control, kLaunchMode,
                    mode == APP_CONTROL_LAUNCH_MODE_GROUP ? "group" : nullptr);
}

EXPORT_API int app_control_get_launch_mode(app_control_h app_control,
                                           app_control_launch_mode_e* mode) {
    if (!app_control || !mode) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    const char* m = text(app_control, kLaunchMode);
    *mode =
        m && !strcmp(m, "group") ? APP_CONTROL_LAUNCH_MODE_GROUP : APP_CONTROL_LAUNCH_MODE_SINGLE;
    return APP_CONTROL_ERROR_NONE;
}

}  // extern "C"

app_control_h appcontrol_from_environment(void) {
    const char* given = env::appControl();
    std::string request = given ? given : "";
    const char* fdText = env::replyFd();
    char* end = nullptr;
    long fd = fdText && *fdText ? strtol(fdText, &end, 10) : -1;
    if (!end || *end || fd < 3 || fd > INT_MAX) fd = -1;
    // Taken once: the reply channel belongs to the first request made from it.
    env::forgetLaunchRequest();
    struct stat st;
    if (fd >= 0 && (fstat(static_cast<int>(fd), &st) != 0 || !S_ISSOCK(st.st_mode))) fd = -1;
    if (fd >= 0) fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);

    app_control_h h = request.empty() ? nullptr : requestFromText(request.c_str());
    if (!h && (h = newRequest(bundle_create()))) {
        h->received = true;
        setField(h, kOperation, APP_CONTROL_OPERATION_MAIN);
    }
    if (h && fd >= 0 && text(h, kWaitReply)) {
        h->replyFd = static_cast<int>(fd);
    } else if (fd >= 0) {
        close(static_cast<int>(fd));  // the caller then learns there is no answer
    }
    return h;
}

app_control_h appcontrol_from_message(const char* message) {
    app_control_h h = requestFromText(message);
    const char* name = h ? text(h, kReplySocket) : nullptr;
    if (name && text(h, kWaitReply)) h->replyFd = connectReply(name);
    if (h) bundle_del(h->data, kReplySocket);
    return h;
}

bool appcontrol_forward(const std::string& dev, const std::string& app_id, app_control_h request) {
    if (!request) return false;
    bundle* sent = bundle_dup(request->data);
    bool ok = false;
    if (sent) {
        for (const char* key : {kWaitReply, kReplySocket}) bundle_del(sent, key);
        ok = deliver(dev, app_id, 0, request, sent, nullptr, nullptr) == APP_CONTROL_ERROR_NONE;
        bundle_free(sent);
    }
    return ok;
}
