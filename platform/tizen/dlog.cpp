// SPDX-License-Identifier: Apache-2.0
// Platform log: lines in the log viewer's brief format
// ("I/TAG     ( PID): message") to standard error and to the device's log file.
// The file, the lowest priority and standard error are chosen by the environment
// (vornix/device/environment.h); the line format is vornix/device/log_format.h's.
#include <dlog.h>
#include <tizen.h>

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include <vornix/device/device.h>
#include <vornix/device/environment.h>
#include <vornix/device/files.h>
#include <vornix/device/log_format.h>

namespace {

const size_t kMaxMessage = 4076;

struct Sink {
    int fd = -1;
    int threshold = DLOG_VERBOSE;
    bool toStderr = true;
};

// The lowest priority logged: a priority's letter (V D I W E F, either case) or its number
// (2-7). False for anything else, which is refused: then every line is logged.
bool parseLevel(const char* s, int* level) {
    *level = DLOG_VERBOSE;
    if (!s || !*s) return true;
    int p = s[1] ? -1 : s[0] >= '2' && s[0] <= '7' ? s[0] - '0' : logfmt::priorityOf(s[0]);
    if (p < DLOG_VERBOSE || p > DLOG_FATAL) return false;
    *level = p;
    return true;
}

// One write per line keeps lines whole when several processes share the file.
int writeLine(const Sink& s, int prio, const char* tag, const char* msg, size_t size) {
    std::string line = logfmt::head(logfmt::letter(prio), tag, std::to_string(getpid()));
    if (line.empty()) return DLOG_ERROR_INVALID_PARAMETER;
    line.append(msg, size);
    line.push_back('\n');
    if (s.fd >= 0 && write(s.fd, line.data(), line.size()) < 0) return DLOG_ERROR_NOT_PERMITTED;
    if (s.toStderr && write(STDERR_FILENO, line.data(), line.size()) < 0) {
        // Nothing sensible to do when standard error is gone.
    }
    return static_cast<int>(size);
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
        // A FIFO or a link put in the log's place must neither hold the app nor take its lines.
        if (!path.empty()) s.fd = device::openForAppending(path);
        const char* err = env::dlogStderr();
        s.toStderr = !(err && err[0] == '0');
        const char* level = env::dlogLevel();
        if (!parseLevel(level, &s.threshold)) {
            std::string why = env::assignment(env::kDlogLevel, level);
            for (char& c : why)
                if (static_cast<unsigned char>(c) < 0x20) c = '?';  // one line, whatever it holds
            why += " is no priority (one of V D I W E F, or 2-7): every line is logged";
            writeLine(s, DLOG_WARN, "DLOG", why.data(), why.size());
        }
    });
    return s;
}

}  // namespace

extern "C" {

EXPORT_API int dlog_vprint(log_priority prio, const char* tag, const char* fmt, va_list ap) {
    if (prio <= DLOG_DEFAULT || prio >= DLOG_PRIO_MAX || !fmt) return DLOG_ERROR_INVALID_PARAMETER;
    Sink& s = sink();
    if (static_cast<int>(prio) < s.threshold) return 0;
    char msg[kMaxMessage + 1];
    int n = vsnprintf(msg, sizeof msg, fmt, ap);
    if (n < 0) return DLOG_ERROR_INVALID_PARAMETER;
    size_t body = static_cast<size_t>(n) < kMaxMessage ? n : kMaxMessage;
    return writeLine(s, prio, tag ? tag : "", msg, body);
}

// The convenience macros' entry: every log buffer goes to the one device log.
EXPORT_API int __dlog_vprint(log_id_t log_id, int prio, const char* tag, const char* fmt,
                             va_list ap) {
    if (log_id <= LOG_ID_INVALID || log_id >= LOG_ID_MAX) return DLOG_ERROR_INVALID_PARAMETER;
    return dlog_vprint(static_cast<log_priority>(prio), tag, fmt, ap);
}

EXPORT_API int __dlog_print(log_id_t log_id, int prio, const char* tag, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int r = __dlog_vprint(log_id, prio, tag, fmt, ap);
    va_end(ap);
    return r;
}

EXPORT_API int dlog_print(log_priority prio, const char* tag, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int r = dlog_vprint(prio, tag, fmt, ap);
    va_end(ap);
    return r;
}
}
