// SPDX-License-Identifier: Apache-2.0
// Platform log: lines in the log viewer's brief format
// ("I/TAG     ( PID): message") to standard error and to the device's log file.
// The file, the lowest priority and standard error are chosen by the environment
// (environment.h); the line format is log_format.h's.
#include <dlog.h>

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include "device.h"
#include "environment.h"
#include "log_format.h"

namespace {

const size_t kMaxMessage = 4076;

struct Sink {
    int fd = -1;
    int threshold = DLOG_VERBOSE;
    bool toStderr = true;
};

int parseLevel(const char* s) {
    if (!s || !*s) return DLOG_VERBOSE;
    if (s[0] >= '0' && s[0] <= '9') return atoi(s);
    int p = logfmt::priorityOf(s[0]);
    return p >= 0 ? p : DLOG_VERBOSE;
}

Sink& sink() {
    static Sink s;
    static std::once_flag once;
    std::call_once(once, [] {
        const char* file = env::dlogFile();
        std::string path = file ? file : "";
        if (path.empty()) {
            std::string dev = device::root();
            if (device::isDevice(dev)) path = device::logFile(dev);
        }
        if (!path.empty())
            s.fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        s.threshold = parseLevel(env::dlogLevel());
        const char* err = env::dlogStderr();
        s.toStderr = !(err && err[0] == '0');
    });
    return s;
}

}  // namespace

extern "C" {

int dlog_vprint(log_priority prio, const char* tag, const char* fmt, va_list ap) {
    if (prio <= DLOG_DEFAULT || prio >= DLOG_PRIO_MAX || !fmt) return DLOG_ERROR_INVALID_PARAMETER;
    Sink& s = sink();
    if (static_cast<int>(prio) < s.threshold) return 0;
    char msg[kMaxMessage + 1];
    int n = vsnprintf(msg, sizeof msg, fmt, ap);
    if (n < 0) return DLOG_ERROR_INVALID_PARAMETER;
    std::string line = logfmt::head(logfmt::letter(prio), tag ? tag : "", std::to_string(getpid()));
    if (line.empty()) return DLOG_ERROR_INVALID_PARAMETER;
    size_t body = static_cast<size_t>(n) < kMaxMessage ? n : kMaxMessage;
    line.append(msg, body);
    line.push_back('\n');
    // One write per line keeps lines whole when several processes share the file.
    if (s.fd >= 0 && write(s.fd, line.data(), line.size()) < 0) return DLOG_ERROR_NOT_PERMITTED;
    if (s.toStderr && write(STDERR_FILENO, line.data(), line.size()) < 0) {
        // Nothing sensible to do when standard error is gone.
    }
    return static_cast<int>(body);
}

// The convenience macros' entry: every log buffer goes to the one device log.
int __dlog_vprint(log_id_t log_id, int prio, const char* tag, const char* fmt, va_list ap) {
    if (log_id <= LOG_ID_INVALID || log_id >= LOG_ID_MAX) return DLOG_ERROR_INVALID_PARAMETER;
    return dlog_vprint(static_cast<log_priority>(prio), tag, fmt, ap);
}

int __dlog_print(log_id_t log_id, int prio, const char* tag, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int r = __dlog_vprint(log_id, prio, tag, fmt, ap);
    va_end(ap);
    return r;
}

int dlog_print(log_priority prio, const char* tag, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int r = dlog_vprint(prio, tag, fmt, ap);
    va_end(ap);
    return r;
}
}
