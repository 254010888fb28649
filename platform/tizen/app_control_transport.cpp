// SPDX-License-Identifier: Apache-2.0
// How a request travels: as its encoded bundle text, in the started app's environment
// or as one "appcontrol <text>" line on a running app's control FIFO; a text too long
// for either goes into a request file in the device's run/ folder ("@<file>"), read
// once and removed. A reply comes back over an abstract socket named in the request.
#include <dlog.h>

#include <errno.h>
#include <fcntl.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include <vornix/device/device.h>
#include <vornix/device/files.h>
#include <vornix/device/scoped_fd.h>

#include "app_control_request.h"

namespace appctl {

namespace {

const char kRequestFilePrefix[] = "request-";

sockaddr_un abstractAddress(const std::string& name, socklen_t* len) {
    sockaddr_un a = {};
    a.sun_family = AF_UNIX;
    size_t n = std::min(name.size(), sizeof a.sun_path - 1);
    memcpy(a.sun_path + 1, name.data(), n);
    *len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
    return a;
}

}  // namespace

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

std::string writeRequestFile(const std::string& dev, const std::string& text) {
    std::string path = device::runDir(dev) + kRequestFilePrefix + "XXXXXX";
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    ScopedFd fd(mkostemp(name.data(), O_CLOEXEC));
    if (!fd.valid()) return "";
    bool ok = write(fd.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = fd.closeChecked() && ok;
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
    // A FIFO planted under a request file's name must not hang the app.
    off_t size = 0;
    const char* refused = nullptr;
    ScopedFd fd(device::openRegularFile(path, &size, &refused));
    if (fd.valid() && static_cast<unsigned long long>(size) > kMaxText) refused = "too large";
    if (refused) {
        dlog_print(DLOG_WARN, kLogTag, "request file %s refused: %s", path, refused);
        return false;
    }
    unlink(path);
    char buf[65536];
    ssize_t n;
    while ((n = read(fd.get(), buf, sizeof buf)) > 0 && out->size() <= kMaxText)
        out->append(buf, n);
    return n == 0;
}

int connectReply(const char* name) {
    ScopedFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    socklen_t len;
    sockaddr_un a = abstractAddress(name, &len);
    if (fd.valid() && connect(fd.get(), reinterpret_cast<sockaddr*>(&a), len) != 0) return -1;
    return fd.release();
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

int deliver(const std::string& dev, const std::string& target, pid_t pid, app_control_h h,
            bundle* sent, app_control_reply_cb cb, void* data) {
    ScopedFd listener;
    if (cb) {
        static unsigned serial = 0;
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        std::string name = "vornix-reply-" + std::to_string(getpid()) + "-" +
                           std::to_string(++serial) + "-" + std::to_string(now.tv_nsec);
        socklen_t len;
        sockaddr_un a = abstractAddress(name, &len);
        listener.reset(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (!listener.valid() || bind(listener.get(), reinterpret_cast<sockaddr*>(&a), len) != 0 ||
            listen(listener.get(), 4) != 0 || bundle_add_str(sent, kReplySocket, name.c_str()) != 0)
            return APP_CONTROL_ERROR_LAUNCH_FAILED;
    }
    std::string message = "appcontrol " + encode(sent), file;
    bool fits = message.size() <= device::kMaxControlMessage;
    if (!fits) {
        file = writeRequestFile(dev, message.substr(11));
        message = "appcontrol @" + file;
    }
    device::Status st =
        fits || !file.empty() ? device::sendControl(dev, target, message) : device::IO_FAILED;
    if (st != device::OK) {
        if (!file.empty()) unlink(file.c_str());
        return st == device::NOT_FOUND ? APP_CONTROL_ERROR_APP_NOT_FOUND
                                       : APP_CONTROL_ERROR_LAUNCH_FAILED;
    }
    h->launchPid = pid;
    // A reply being awaited owns the listener from here on.
    if (cb && await(h, listener.get(), pid, cb, data)) listener.release();
    return APP_CONTROL_ERROR_NONE;
}

}  // namespace appctl
