// SPDX-License-Identifier: Apache-2.0
// Running apps on a device: whether one runs (its locked pid file) and sending it a
// control message over its FIFO (the messages are read in tizen/app_main.cpp).
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <vornix/device/device.h>
#include <vornix/device/files.h>
#include <vornix/device/scoped_fd.h>

namespace device {

// A running app holds a lock on its pid file for as long as it runs: a file nobody
// holds is left by an app that died (kill -9), and the pid it names may belong to any
// process by now. Such a file is removed, never believed. A locked file names its holder:
// an app writes and locks its pid file before the file appears at its name (tizen/app_main.cpp).
int runningPid(const std::string& dev, const std::string& appId) {
    if (!isSafeId(appId)) return 0;
    std::string path = pidFile(dev, appId);
    ScopedFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st, now;
    if (!fd.valid() || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        // run/ is the platform's own: a folder, link or FIFO in a pid file's place is no
        // app's, and would keep the app from announcing itself.
        if (lstat(path.c_str(), &now) == 0 && !S_ISREG(now.st_mode)) removeTree(path);
        return 0;
    }
    if (flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
        // Still the file at that path (not one replaced meanwhile): the FIFO goes first,
        // so a new instance that takes the name next never loses its own.
        if (stat(path.c_str(), &now) == 0 && now.st_ino == st.st_ino && now.st_dev == st.st_dev) {
            unlink(controlFifo(dev, appId).c_str());
            unlink(path.c_str());
        }
        return 0;
    }
    char buf[32];
    ssize_t n = read(fd.get(), buf, sizeof buf - 1);
    fd.reset();
    buf[n > 0 ? n : 0] = '\0';
    char* end = nullptr;
    errno = 0;  // a 32-bit long saturates where a 64-bit one goes past INT_MAX
    long pid = strtol(buf, &end, 10);
    if (end == buf || (*end != '\n' && *end != '\0') || errno || pid <= 0 || pid > INT_MAX)
        return 0;
    return static_cast<int>(pid);
}

Status sendControl(const std::string& dev, const std::string& appId, const std::string& message) {
    if (!isSafeId(appId)) return NOT_FOUND;
    if (message.size() > kMaxControlMessage) return IO_FAILED;
    // Only the app's FIFO: a link or a file in its place is no way to reach the app.
    ScopedFd fd(
        open(controlFifo(dev, appId).c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (!fd.valid() || fstat(fd.get(), &st) != 0 || !S_ISFIFO(st.st_mode)) return NOT_FOUND;
    // A line feed first ends whatever a writer killed mid-line left in the FIFO, so this
    // message is a line of its own; the reader ignores the empty line it may make. One
    // write of at most PIPE_BUF bytes is atomic, so messages never interleave.
    std::string line = "\n" + message + "\n";
    static_assert(kMaxControlMessage + 2 <= PIPE_BUF, "a message is one atomic write");
    bool ok = write(fd.get(), line.data(), line.size()) == static_cast<ssize_t>(line.size());
    return ok ? OK : IO_FAILED;
}

namespace {

// Whether the app still runs after up to `ms`, asked every 20 ms.
bool stillRuns(const std::string& dev, const std::string& appId, int ms) {
    const struct timespec step = {0, 20 * 1000 * 1000};
    for (int waited = 0; runningPid(dev, appId) != 0; waited += 20) {
        if (waited >= ms) return true;
        nanosleep(&step, nullptr);
    }
    return false;
}

}  // namespace

// The app has ended when its lock is free: it is released with the last descriptor.
Status endApp(const std::string& dev, const std::string& appId, int timeoutMs) {
    int pid = runningPid(dev, appId);
    if (pid == 0) return OK;
    if (sendControl(dev, appId, "terminate") != OK && kill(pid, SIGTERM) != 0 && errno != ESRCH)
        return IO_FAILED;
    if (!stillRuns(dev, appId, timeoutMs)) return OK;
    pid = runningPid(dev, appId);
    if (pid != 0 && kill(pid, SIGKILL) != 0 && errno != ESRCH) return IO_FAILED;
    return stillRuns(dev, appId, 2000) ? IO_FAILED : OK;
}
}  // namespace device
