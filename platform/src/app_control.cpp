// Application control: requests to other apps, their delivery and their replies.
//
// A request is a bundle. Its fields live under reserved keys ("__APP_SVC_*" and
// "__AUL_*", which callers cannot use for extra data); every other key is extra
// data. Sent, the bundle travels as its encoded text (see bundle.cpp).
//
// Sending resolves the target on the device (device.h). Implicit launches (no app
// id, target chosen by operation, URI and MIME type) are not resolved here: such a
// request finds no app. The caller must be an installed app holding the launch
// privilege. An installed target that is not running is started as its own process
// (<package root>/bin/<exec>, new session, stdin from /dev/null) with
//   VORNIX_DEVICE, VORNIX_APP_ID    the device and the target's id
//   VORNIX_APP_CONTROL              the request text, or "@<file>" when too long
//   VORNIX_REPLY_FD                 a socket back to the caller, when a reply is wanted
// and logs to the device's log. A running target gets "appcontrol <text>" on its
// control FIFO, or "appcontrol @<file>" when the line would not fit one atomic
// write; the file lies in the device's run/ folder and is removed once read. Its
// reply comes over an abstract socket named in the request, accepted only from
// that target's process. The launch mode is recorded and handed on; the desktop
// runs every app on its own either way.
//
// A reply is one line "<result> <reply text>". The caller's callback runs on its
// Ecore main loop with a copy of the request as sent and the reply. A target that
// drops the request without replying (it ends, or destroys every copy of it)
// closes the socket: the callback then gets APP_CONTROL_RESULT_FAILED and a null
// reply. A running target that ends before it reads the request gives no call.
//
// Launch journal: every launch request, refused ones too, adds one line to the
// device's launch journal, fields always in this order:
//   launch caller=<id> target=<id> operation=<op> uri=<uri> mime=<mime>
//     category=<category> launch_mode=single|group reply=yes|no
//     extra={<key>=<value>, <key>=[<value>, <value>]} result=<code>
// (one line). A field that is not set is left empty ("mime= "). A value made only
// of printable ASCII other than space and " \ { } [ ] , = is written as it is;
// any other value is written in double quotes with \\ \" \n \r \t and \xHH for
// the other control bytes, so no value can end the line or fake a field. Byte
// entries show as <N bytes>. The result is the code the send returned. Terminate
// requests add "terminate caller=<id> target=<id> result=<code>".
#include <app_control.h>
#include <bundle.h>
#include <dlog.h>

#include <Ecore.h>

#include <errno.h>
#include <fcntl.h>
#include <linux/close_range.h>
#include <limits.h>
#include <signal.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "app_control_internal.h"
#include "device.h"

extern char** environ;

struct app_control_s {
    bundle* data = nullptr;
    bool received = false;  // delivered to this process, rather than made here
    int replyFd = -1;       // received, with a reply wanted and not yet given
    pid_t launchPid = 0;    // the process the last launch from this handle reached
};

namespace {

const char kOperation[] = "__APP_SVC_OP_TYPE__";
const char kUri[] = "__APP_SVC_URI__";
const char kMime[] = "__APP_SVC_MIME_TYPE__";
const char kAppId[] = "__APP_SVC_PKG_NAME__";
const char kCategory[] = "__APP_SVC_CATEGORY__";
const char kLaunchMode[] = "__APP_SVC_LAUNCH_MODE__";
const char kCaller[] = "__AUL_CALLER_APPID__";
const char kWaitReply[] = "__AUL_WAIT_REPLY__";
const char kReplySocket[] = "__AUL_REPLY_SOCKET__";

const char kLaunchPrivilege[] = "http://tizen.org/privilege/appmanager.launch";
const size_t kMaxEnvText = 64 * 1024;
const size_t kMaxText = 64 * 1024 * 1024;
const char kRequestFilePrefix[] = "request-";
const char kLogTag[] = "CAPI_APPFW_APP_CONTROL";

bool reserved(const char* key) {
    return strncmp(key, "__AUL_", 6) == 0 || strncmp(key, "__APP_SVC_", 10) == 0;
}

int fromBundle(int ret) {
    if (ret == BUNDLE_ERROR_OUT_OF_MEMORY) return APP_CONTROL_ERROR_OUT_OF_MEMORY;
    return ret == BUNDLE_ERROR_NONE ? APP_CONTROL_ERROR_NONE : APP_CONTROL_ERROR_INVALID_PARAMETER;
}

// The text under a key, null when there is none (or it is no string).
const char* text(app_control_h h, const char* key) {
    char* s = nullptr;
    return bundle_get_str(h->data, key, &s) == BUNDLE_ERROR_NONE ? s : nullptr;
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

app_control_h newRequest(bundle* data) {
    if (!data) return nullptr;
    auto* h = new app_control_s;
    h->data = data;
    return h;
}

// --- journal ---

std::string journalValue(const std::string& v) {
    bool plain = !v.empty();
    for (unsigned char c : v)
        if (c <= 0x20 || c >= 0x7f || strchr("\"\\{}[],=", c)) plain = false;
    if (plain) return v;
    std::string out = "\"";
    for (unsigned char c : v) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += (char)c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            char hex[5];
            snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += (char)c;
        }
    }
    return out + "\"";
}

std::string journalField(app_control_h h, const char* key) {
    const char* s = text(h, key);
    return s ? journalValue(s) : "";
}

void addExtra(const char* key, int type, const bundle_keyval_t* kv, void* data) {
    if (reserved(key)) return;
    auto* out = static_cast<std::vector<std::string>*>(data);
    auto* entry = const_cast<bundle_keyval_t*>(kv);
    bool isStr = type == BUNDLE_TYPE_STR || type == BUNDLE_TYPE_STR_ARRAY;
    auto show = [isStr](void* v, size_t size) {
        return isStr ? journalValue(static_cast<const char*>(v))
                     : "<" + std::to_string(size) + " bytes>";
    };
    std::string item = journalValue(key) + "=";
    if (type & BUNDLE_TYPE_ARRAY) {
        void** values = nullptr;
        unsigned int n = 0;
        size_t* sizes = nullptr;
        bundle_keyval_get_array_val(entry, &values, &n, &sizes);
        item += "[";
        for (unsigned int i = 0; i < n; ++i) item += (i ? ", " : "") + show(values[i], sizes[i]);
        item += "]";
    } else {
        void* v = nullptr;
        size_t size = 0;
        bundle_keyval_get_basic_val(entry, &v, &size);
        item += show(v, size);
    }
    out->push_back(item);
}

std::string journalCaller() {
    std::string id = device::currentAppId();
    return id.empty() ? "" : journalValue(id);
}

void journalLaunch(const std::string& dev, app_control_h h, bool reply, int result) {
    std::vector<std::string> extras;
    bundle_foreach(h->data, addExtra, &extras);
    std::string extra;
    for (const std::string& e : extras) extra += (extra.empty() ? "" : ", ") + e;
    const char* mode = text(h, kLaunchMode);
    std::string line = "launch caller=" + journalCaller() + " target=" + journalField(h, kAppId) +
                       " operation=" + journalField(h, kOperation) +
                       " uri=" + journalField(h, kUri) + " mime=" + journalField(h, kMime) +
                       " category=" + journalField(h, kCategory) +
                       " launch_mode=" + (mode && !strcmp(mode, "group") ? "group" : "single") +
                       " reply=" + (reply ? "yes" : "no") + " extra={" + extra +
                       "} result=" + std::to_string(result);
    device::appendJournal(dev, line);
}

// --- transport ---

std::string encode(bundle* b) {
    bundle_raw* raw = nullptr;
    int len = 0;
    if (bundle_encode(b, &raw, &len) != BUNDLE_ERROR_NONE) return "";
    std::string s(reinterpret_cast<char*>(raw), len);
    free(raw);
    return s;
}

bool writeAll(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        ssize_t n = send(fd, s.data() + done, s.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

// Too long for one control line or the environment: the text goes into a file.
std::string writeRequestFile(const std::string& dev, const std::string& text) {
    std::string path = device::runDir(dev) + kRequestFilePrefix + "XXXXXX";
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return "";
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = close(fd) == 0 && ok;
    if (!ok) unlink(name.data());
    return ok ? name.data() : "";
}

// Only request files in this device's run/ folder are read, and each only once.
bool readRequestFile(const char* path, std::string* out) {
    std::string run = device::runDir(device::root());
    std::string p = path;
    std::string name = p.compare(0, run.size(), run) == 0 ? p.substr(run.size()) : "";
    if (device::root().empty() ||
        name.compare(0, strlen(kRequestFilePrefix), kRequestFilePrefix) != 0 ||
        name.find('/') != std::string::npos) {
        dlog_print(DLOG_WARN, kLogTag, "request file %s refused: not in the run folder", path);
        return false;
    }
    // Not blocking: a FIFO planted under a request file's name must not hang the app.
    int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    const char* refused = nullptr;
    if (fd < 0)
        refused = strerror(errno);
    else if (fstat(fd, &st) != 0)
        refused = strerror(errno);
    else if (!S_ISREG(st.st_mode))
        refused = "not a regular file";
    else if (static_cast<unsigned long long>(st.st_size) > kMaxText)
        refused = "too large";
    if (refused) {
        dlog_print(DLOG_WARN, kLogTag, "request file %s refused: %s", path, refused);
        if (fd >= 0) close(fd);
        return false;
    }
    unlink(path);
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0 && out->size() <= kMaxText) out->append(buf, n);
    close(fd);
    return n == 0;
}

sockaddr_un abstractAddress(const std::string& name, socklen_t* len) {
    sockaddr_un a = {};
    a.sun_family = AF_UNIX;
    size_t n = std::min(name.size(), sizeof a.sun_path - 1);
    memcpy(a.sun_path + 1, name.data(), n);
    *len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
    return a;
}

int connectReply(const char* name) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    socklen_t len;
    sockaddr_un a = abstractAddress(name, &len);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&a), len) != 0) {
        close(fd);
        fd = -1;
    }
    return fd;
}

// The request text of a message or the environment: inline, or "@<file>".
app_control_h requestFromText(const char* text) {
    if (!text) return nullptr;
    std::string fromFile;
    if (text[0] == '@') {
        if (!readRequestFile(text + 1, &fromFile)) return nullptr;
        text = fromFile.c_str();
    }
    size_t len = strlen(text);
    if (len > kMaxText) return nullptr;
    app_control_h h =
        newRequest(bundle_decode(reinterpret_cast<const bundle_raw*>(text), static_cast<int>(len)));
    if (h) h->received = true;
    return h;
}

// --- replies awaited by this process ---

struct Pending {
    app_control_h request = nullptr;  // a copy of the request as sent
    app_control_reply_cb callback = nullptr;
    void* userData = nullptr;
    int fd = -1;
    pid_t peer = 0;  // while listening: the only process whose connection counts
    bool listening = false;
    std::string line;
};

// Reachable for the whole process: a reply may come at any later loop iteration.
std::vector<Pending*>* gPending = new std::vector<Pending*>;
std::set<pid_t> gStarted;  // processes this process started

Eina_Bool onReply(void* data, Ecore_Fd_Handler* handler);

bool watch(Pending* p) {
    static bool ready = ecore_init() > 0;
    return ready && ecore_main_fd_handler_add(
                        p->fd, static_cast<Ecore_Fd_Handler_Flags>(ECORE_FD_READ | ECORE_FD_ERROR),
                        onReply, p, nullptr, nullptr);
}

void finish(Pending* p) {
    for (auto it = gPending->begin(); it != gPending->end(); ++it)
        if (*it == p) {
            gPending->erase(it);
            break;
        }
    close(p->fd);
    app_control_h reply = nullptr;
    app_control_result_e result = APP_CONTROL_RESULT_FAILED;
    size_t space = p->line.find(' ');
    if (!p->line.empty() && p->line.back() == '\n' && space != std::string::npos) {
        int code = atoi(p->line.c_str());
        std::string body = p->line.substr(space + 1, p->line.size() - space - 2);
        reply = newRequest(bundle_decode(reinterpret_cast<const bundle_raw*>(body.data()),
                                         static_cast<int>(body.size())));
        if (reply && (code == APP_CONTROL_RESULT_SUCCEEDED || code == APP_CONTROL_RESULT_CANCELED))
            result = static_cast<app_control_result_e>(code);
    }
    p->callback(p->request, reply, result, p->userData);
    app_control_destroy(reply);
    app_control_destroy(p->request);
    delete p;
}

Eina_Bool onReply(void* data, Ecore_Fd_Handler*) {
    auto* p = static_cast<Pending*>(data);
    if (p->listening) {
        int c = accept4(p->fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (c < 0) return ECORE_CALLBACK_RENEW;
        ucred cred = {};
        socklen_t len = sizeof cred;
        if (getsockopt(c, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.pid != p->peer) {
            close(c);
            return ECORE_CALLBACK_RENEW;
        }
        close(p->fd);
        p->fd = c;
        p->listening = false;
        if (!watch(p)) finish(p);
        return ECORE_CALLBACK_CANCEL;
    }
    char buf[4096];
    ssize_t n = read(p->fd, buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return ECORE_CALLBACK_RENEW;
    if (n > 0) {
        p->line.append(buf, n);
        size_t end = p->line.find('\n');
        if (end == std::string::npos && p->line.size() <= kMaxText) return ECORE_CALLBACK_RENEW;
        if (end != std::string::npos) p->line.resize(end + 1);
    }
    finish(p);
    return ECORE_CALLBACK_CANCEL;
}

bool await(app_control_h request, int fd, pid_t peer, app_control_reply_cb cb, void* data) {
    auto* p = new Pending;
    p->callback = cb;
    p->userData = data;
    p->fd = fd;
    p->peer = peer;
    p->listening = peer > 0;
    if (app_control_clone(&p->request, request) != APP_CONTROL_ERROR_NONE || !watch(p)) {
        app_control_destroy(p->request);
        delete p;
        return false;
    }
    gPending->push_back(p);
    return true;
}

// --- starting and reaching targets ---

// Started in a session of its own and not as this process's child (the middle
// process ends at once), so nothing has to reap it. Returns its pid, or 0.
pid_t spawn(const std::string& path, const std::vector<std::string>& env, int keepFd) {
    std::vector<char*> argv = {const_cast<char*>(path.c_str()), nullptr};
    std::vector<char*> envp;
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    int status[2];
    if (pipe2(status, O_CLOEXEC) != 0) return 0;
    pid_t middle = fork();
    if (middle == 0) {
        // Only async-signal-safe calls from here on.
        setsid();
        pid_t pid = fork();
        if (pid != 0) {
            if (write(status[1], &pid, sizeof pid) < 0) _exit(1);
            _exit(0);
        }
        int null = open("/dev/null", O_RDONLY);
        if (null > 0) {
            dup2(null, STDIN_FILENO);
            close(null);
        }
        // Descriptors this process holds without close-on-exec (the toolkit's among them)
        // are not the started app's business.
        if (syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
            for (int fd = 3; fd < 65536; ++fd) fcntl(fd, F_SETFD, FD_CLOEXEC);  // older kernels
        if (keepFd >= 0) fcntl(keepFd, F_SETFD, 0);
        execve(argv[0], argv.data(), envp.data());
        int err = errno;
        if (write(status[1], &err, sizeof err) < 0) _exit(127);
        _exit(127);
    }
    close(status[1]);
    pid_t pid = 0;
    int err = 0;
    if (middle > 0) {
        while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
        }
        if (read(status[0], &pid, sizeof pid) != sizeof pid || pid <= 0) pid = 0;
        // End of file without a word: the exec closed the pipe, so it succeeded.
        if (pid > 0 && read(status[0], &err, sizeof err) != 0) pid = 0;
    }
    close(status[0]);
    return pid;
}

std::vector<std::string> childEnvironment(const std::string& dev, const std::string& target,
                                          const std::string& request, int replyFd) {
    const char* const drop[] = {"VORNIX_DEVICE=", "VORNIX_APP_ID=", "VORNIX_APP_CONTROL=",
                                "VORNIX_REPLY_FD=", "VORNIX_DLOG_FILE="};
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        bool keep = true;
        for (const char* d : drop) keep = keep && strncmp(*e, d, strlen(d)) != 0;
        if (keep) env.push_back(*e);
    }
    env.push_back("VORNIX_DEVICE=" + dev);
    env.push_back("VORNIX_APP_ID=" + target);
    env.push_back("VORNIX_APP_CONTROL=" + request);
    if (replyFd >= 0) env.push_back("VORNIX_REPLY_FD=" + std::to_string(replyFd));
    return env;
}

int startTarget(const std::string& dev, const device::Package& pkg, const device::AppEntry& app,
                app_control_h h, bundle* sent, app_control_reply_cb cb, void* data) {
    std::string path = pkg.root + "bin/" + app.exec;
    if (app.exec.empty() || app.exec.find('/') != std::string::npos ||
        access(path.c_str(), X_OK) != 0)
        return APP_CONTROL_ERROR_LAUNCH_FAILED;
    int sv[2] = {-1, -1};
    if (cb && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
        return APP_CONTROL_ERROR_LAUNCH_FAILED;
    std::string request = encode(sent), file;
    bool fits = request.size() <= kMaxEnvText;
    if (!fits) {
        file = writeRequestFile(dev, request);
        request = "@" + file;
    }
    pid_t pid = 0;
    if (fits || !file.empty())
        pid = spawn(path, childEnvironment(dev, app.appId, request, sv[1]), sv[1]);
    if (sv[1] >= 0) close(sv[1]);
    if (pid <= 0) {
        if (!file.empty()) unlink(file.c_str());
        if (sv[0] >= 0) close(sv[0]);
        return APP_CONTROL_ERROR_LAUNCH_FAILED;
    }
    gStarted.insert(pid);
    h->launchPid = pid;
    if (cb) {
        fcntl(sv[0], F_SETFL, O_NONBLOCK);
        if (!await(h, sv[0], 0, cb, data)) close(sv[0]);
    }
    return APP_CONTROL_ERROR_NONE;
}

int deliver(const std::string& dev, const std::string& target, pid_t pid, app_control_h h,
            bundle* sent, app_control_reply_cb cb, void* data) {
    int listener = -1;
    if (cb) {
        static unsigned serial = 0;
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        std::string name = "vornix-reply-" + std::to_string(getpid()) + "-" +
                           std::to_string(++serial) + "-" + std::to_string(now.tv_nsec);
        socklen_t len;
        sockaddr_un a = abstractAddress(name, &len);
        listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&a), len) != 0 ||
            listen(listener, 4) != 0 || bundle_add_str(sent, kReplySocket, name.c_str()) != 0) {
            if (listener >= 0) close(listener);
            return APP_CONTROL_ERROR_LAUNCH_FAILED;
        }
    }
    std::string message = "appcontrol " + encode(sent), file;
    bool fits = message.size() + 1 <= PIPE_BUF;
    if (!fits) {
        file = writeRequestFile(dev, message.substr(11));
        message = "appcontrol @" + file;
    }
    if ((!fits && file.empty()) || device::sendControl(dev, target, message) != device::OK) {
        if (!file.empty()) unlink(file.c_str());
        if (listener >= 0) close(listener);
        return APP_CONTROL_ERROR_LAUNCH_FAILED;
    }
    h->launchPid = pid;
    if (cb && !await(h, listener, pid, cb, data)) close(listener);
    return APP_CONTROL_ERROR_NONE;
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
                          : startTarget(dev, pkg, app, h, sent, cb, data);
    bundle_free(sent);
    return ret;
}

}  // namespace

extern "C" {

int app_control_create(app_control_h* app_control) {
    if (!app_control) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    app_control_h h = newRequest(bundle_create());
    if (!h) return APP_CONTROL_ERROR_OUT_OF_MEMORY;
    *app_control = h;
    return APP_CONTROL_ERROR_NONE;
}

int app_control_destroy(app_control_h app_control) {
    if (!app_control) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    bundle_free(app_control->data);
    if (app_control->replyFd >= 0) close(app_control->replyFd);
    delete app_control;
    return APP_CONTROL_ERROR_NONE;
}

// A copy of a received request can still answer it: each copy holds its own end
// of the reply channel, and the caller takes the first answer.
int app_control_clone(app_control_h* clone, app_control_h app_control) {
    if (!clone || !app_control) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    app_control_h h = newRequest(bundle_dup(app_control->data));
    if (!h) return APP_CONTROL_ERROR_OUT_OF_MEMORY;
    h->received = app_control->received;
    if (app_control->replyFd >= 0) h->replyFd = fcntl(app_control->replyFd, F_DUPFD_CLOEXEC, 0);
    *clone = h;
    return APP_CONTROL_ERROR_NONE;
}

int app_control_set_operation(app_control_h h, const char* v) { return setField(h, kOperation, v); }
int app_control_get_operation(app_control_h h, char** v) { return getField(h, kOperation, v); }
int app_control_set_uri(app_control_h h, const char* v) { return setField(h, kUri, v); }
int app_control_get_uri(app_control_h h, char** v) { return getField(h, kUri, v); }
int app_control_set_mime(app_control_h h, const char* v) { return setField(h, kMime, v); }
int app_control_get_mime(app_control_h h, char** v) { return getField(h, kMime, v); }
int app_control_set_category(app_control_h h, const char* v) { return setField(h, kCategory, v); }
int app_control_get_category(app_control_h h, char** v) { return getField(h, kCategory, v); }
int app_control_set_app_id(app_control_h h, const char* v) { return setField(h, kAppId, v); }
int app_control_get_app_id(app_control_h h, char** v) { return getField(h, kAppId, v); }

// A key added again replaces its earlier value.
int app_control_add_extra_data(app_control_h app_control, const char* key, const char* value) {
    int ret = checkExtraKey(app_control, key);
    if (ret != APP_CONTROL_ERROR_NONE) return ret;
    if (!value) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    bundle_del(app_control->data, key);
    return fromBundle(bundle_add_str(app_control->data, key, value));
}

int app_control_add_extra_data_array(app_control_h app_control, const char* key,
                                     const char* value[], int length) {
    int ret = checkExtraKey(app_control, key);
    if (ret != APP_CONTROL_ERROR_NONE) return ret;
    if (!value || length <= 0) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    for (int i = 0; i < length; ++i)
        if (!value[i]) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    bundle_del(app_control->data, key);
    return fromBundle(bundle_add_str_array(app_control->data, key, value, length));
}

int app_control_remove_extra_data(app_control_h app_control, const char* key) {
    int ret = checkExtraKey(app_control, key);
    if (ret != APP_CONTROL_ERROR_NONE) return ret;
    return bundle_del(app_control->data, key) == BUNDLE_ERROR_NONE
               ? APP_CONTROL_ERROR_NONE
               : APP_CONTROL_ERROR_KEY_NOT_FOUND;
}

int app_control_get_extra_data(app_control_h app_control, const char* key, char** value) {
    int ret = checkExtraKey(app_control, key);
    if (ret != APP_CONTROL_ERROR_NONE) return ret;
    if (!value) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    int type = bundle_get_type(app_control->data, key);
    if (type == BUNDLE_TYPE_NONE) return APP_CONTROL_ERROR_KEY_NOT_FOUND;
    if (type != BUNDLE_TYPE_STR) return APP_CONTROL_ERROR_INVALID_DATA_TYPE;
    return getField(app_control, key, value);
}

int app_control_get_extra_data_array(app_control_h app_control, const char* key, char*** value,
                                     int* length) {
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

int app_control_is_extra_data_array(app_control_h app_control, const char* key, bool* array) {
    int ret = checkExtraKey(app_control, key);
    if (ret != APP_CONTROL_ERROR_NONE) return ret;
    if (!array) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    int type = bundle_get_type(app_control->data, key);
    *array = type != BUNDLE_TYPE_NONE && (type & BUNDLE_TYPE_ARRAY);
    return type == BUNDLE_TYPE_NONE ? APP_CONTROL_ERROR_KEY_NOT_FOUND : APP_CONTROL_ERROR_NONE;
}

int app_control_foreach_extra_data(app_control_h app_control, app_control_extra_data_cb callback,
                                   void* user_data) {
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
int app_control_foreach_app_matched(app_control_h app_control, app_control_app_matched_cb callback,
                                    void* user_data) {
    if (!app_control || !callback) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    std::string id = textOr(app_control, kAppId);
    if (!id.empty() && device::findApp(id, nullptr, nullptr) == device::OK)
        callback(app_control, id.c_str(), user_data);
    return APP_CONTROL_ERROR_NONE;
}

int app_control_send_launch_request(app_control_h app_control, app_control_reply_cb callback,
                                    void* user_data) {
    if (!app_control) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    std::string dev = device::root();
    int ret = launch(dev, app_control, callback, user_data);
    journalLaunch(dev, app_control, callback != nullptr, ret);
    return ret;
}

int app_control_send_terminate_request(app_control_h app_control) {
    if (!app_control) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    pid_t pid = app_control->launchPid;
    int ret = APP_CONTROL_ERROR_INVALID_PARAMETER;
    if (pid > 0 && !gStarted.count(pid))
        ret = APP_CONTROL_ERROR_PERMISSION_DENIED;
    else if (pid > 0 && kill(pid, SIGTERM) == 0)
        ret = APP_CONTROL_ERROR_NONE;
    device::appendJournal(device::root(), "terminate caller=" + journalCaller() +
                                              " target=" + journalField(app_control, kAppId) +
                                              " result=" + std::to_string(ret));
    return ret;
}

int app_control_reply_to_launch_request(app_control_h reply, app_control_h request,
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

int app_control_get_caller(app_control_h app_control, char** id) {
    if (!app_control || !id || !text(app_control, kCaller))
        return APP_CONTROL_ERROR_INVALID_PARAMETER;
    return getField(app_control, kCaller, id);
}

int app_control_is_reply_requested(app_control_h app_control, bool* requested) {
    if (!app_control || !requested) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    *requested = app_control->received && text(app_control, kWaitReply) != nullptr;
    return APP_CONTROL_ERROR_NONE;
}

int app_control_set_launch_mode(app_control_h app_control, app_control_launch_mode_e mode) {
    if (!app_control ||
        (mode != APP_CONTROL_LAUNCH_MODE_SINGLE && mode != APP_CONTROL_LAUNCH_MODE_GROUP))
        return APP_CONTROL_ERROR_INVALID_PARAMETER;
    return setField(app_control, kLaunchMode,
                    mode == APP_CONTROL_LAUNCH_MODE_GROUP ? "group" : nullptr);
}

int app_control_get_launch_mode(app_control_h app_control, app_control_launch_mode_e* mode) {
    if (!app_control || !mode) return APP_CONTROL_ERROR_INVALID_PARAMETER;
    const char* m = text(app_control, kLaunchMode);
    *mode =
        m && !strcmp(m, "group") ? APP_CONTROL_LAUNCH_MODE_GROUP : APP_CONTROL_LAUNCH_MODE_SINGLE;
    return APP_CONTROL_ERROR_NONE;
}

}  // extern "C"

app_control_h appcontrol_from_environment(void) {
    const char* env = getenv("VORNIX_APP_CONTROL");
    std::string request = env ? env : "";
    const char* fdText = getenv("VORNIX_REPLY_FD");
    char* end = nullptr;
    long fd = fdText && *fdText ? strtol(fdText, &end, 10) : -1;
    if (!end || *end || fd < 3 || fd > INT_MAX) fd = -1;
    // Taken once: the reply channel belongs to the first request made from it.
    unsetenv("VORNIX_APP_CONTROL");
    unsetenv("VORNIX_REPLY_FD");
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

bool appcontrol_forward_environment(const std::string& dev, const std::string& app_id) {
    app_control_h h = appcontrol_from_environment();
    if (!h) return false;
    bundle* sent = bundle_dup(h->data);
    bool ok = false;
    if (sent) {
        for (const char* key : {kWaitReply, kReplySocket}) bundle_del(sent, key);
        ok = deliver(dev, app_id, 0, h, sent, nullptr, nullptr) == APP_CONTROL_ERROR_NONE;
        bundle_free(sent);
    }
    app_control_destroy(h);
    return ok;
}
