// SPDX-License-Identifier: Apache-2.0
// Running apps on a device: whether one runs (its locked pid file) and sending it a
// control message over its FIFO (the messages are read in app_main.cpp).
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "device.h"
#include "scoped_fd.h"

namespace device {

// A running app holds a lock on its pid file for as long as it runs: a file nobody
// holds is left by an app that died (kill -9), and the pid it names may belong to any
// process by now. Such a file is removed, never believed.
int runningPid(const std::string& dev, const std::string& appId) {
    if (!isSafeId(appId)) return 0;
    std::string path = pidFile(dev, appId);
    ScopedFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) return 0;
    struct stat st, now;
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
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
    std::string line = message + "\n";
    // One write of at most PIPE_BUF bytes is atomic, so messages never interleave.
    if (line.size() > PIPE_BUF) return IO_FAILED;
    ScopedFd fd(open(controlFifo(dev, appId).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) return NOT_FOUND;
    bool ok = write(fd.get(), line.data(), line.size()) == static_cast<ssize_t>(line.size());
    return ok ? OK : IO_FAILED;
}
}  // namespace device
