// SPDX-License-Identifier: Apache-2.0
// Owns one file descriptor and closes it when it goes out of scope.
#ifndef VORNIX_DEVICE_SCOPED_FD_H
#define VORNIX_DEVICE_SCOPED_FD_H

#include <unistd.h>

class ScopedFd {
public:
    ScopedFd() = default;
    explicit ScopedFd(int fd) : mFd(fd) {}
    ~ScopedFd() { reset(); }
    ScopedFd(const ScopedFd&) = delete;
    ScopedFd& operator=(const ScopedFd&) = delete;

    int get() const { return mFd; }
    bool valid() const { return mFd >= 0; }
    // Gives up ownership: the caller closes what it gets.
    int release() {
        int fd = mFd;
        mFd = -1;
        return fd;
    }
    void reset(int fd = -1) {
        if (mFd >= 0) close(mFd);
        mFd = fd;
    }
    // Closes now, for a caller that needs close()'s answer (a write's last error).
    bool closeChecked() {
        int fd = release();
        return fd < 0 || close(fd) == 0;
    }

private:
    int mFd = -1;
};

#endif
