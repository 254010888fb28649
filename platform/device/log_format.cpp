// SPDX-License-Identifier: Apache-2.0
#include <vornix/device/log_format.h>

#include <ctype.h>
#include <stdio.h>
#include <string.h>

namespace logfmt {

namespace {

// Indexed by priority: DLOG_UNKNOWN and DLOG_DEFAULT have no letter.
const char kLetters[] = "??VDIWEFS";
const int kFirst = 2, kLast = 8;

}  // namespace

char letter(int prio) { return prio >= kFirst && prio <= kLast ? kLetters[prio] : 0; }

int priorityOf(char c) {
    for (int p = kFirst; p <= kLast; ++p)
        if (kLetters[p] == toupper(static_cast<unsigned char>(c))) return p;
    return -1;
}

std::string head(char letter, const std::string& tag, const std::string& pid) {
    char buf[512];
    int n = snprintf(buf, sizeof buf, "%c/%-8s(%5s): ", letter, tag.c_str(), pid.c_str());
    if (n < 0) return "";
    return std::string(buf, static_cast<size_t>(n) < sizeof buf ? n : sizeof buf - 1);
}

bool parse(const std::string& line, int* prio, std::string* tag) {
    if (line.size() < 4 || line[1] != '/') return false;
    const char* found = strchr(kLetters + kFirst, line[0]);
    if (!found || !line[0]) return false;
    for (size_t close = line.find("): ", 2); close != std::string::npos;
         close = line.find("): ", close + 1)) {
        size_t open = close;
        bool digit = false;
        while (open > 2 &&
               (line[open - 1] == ' ' || isdigit(static_cast<unsigned char>(line[open - 1])))) {
            digit = digit || line[open - 1] != ' ';
            --open;
        }
        if (open > 2 && line[open - 1] == '(' && digit) {
            *tag = line.substr(2, open - 3);
            while (!tag->empty() && tag->back() == ' ') tag->pop_back();
            *prio = static_cast<int>(found - kLetters);
            return true;
        }
    }
    return false;
}

}  // namespace logfmt
