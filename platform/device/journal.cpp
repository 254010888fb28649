// SPDX-License-Identifier: Apache-2.0
// The device's launch journal (its lines are made by the platform's launch_journal.cpp),
// and the quoting with which the journal and the device tool show any text on one line.
#include <stdio.h>
#include <unistd.h>

#include <string>

#include <vornix/device/device.h>
#include <vornix/device/files.h>
#include <vornix/device/scoped_fd.h>

namespace device {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
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

Status appendJournal(const std::string& dev, const std::string& line) {
    if (!isDevice(dev)) return NO_DEVICE;
    std::string path = journalFile(dev);
    ScopedFd fd(openForAppending(path));
    if (!fd.valid()) return IO_FAILED;
    std::string l = line + "\n";
    bool ok = write(fd.get(), l.data(), l.size()) == static_cast<ssize_t>(l.size());
    return ok ? OK : IO_FAILED;
}

}  // namespace device
