// SPDX-License-Identifier: Apache-2.0
#include "TextFile.h"

#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

using std::string;

namespace {

// No key line or version is longer: a longer line is read past without being kept.
const size_t MAX_LINE = 4096;

bool isSpace(char c) { return isspace(static_cast<unsigned char>(c)) != 0; }

string& rtrim(string& s) {
    size_t end = s.size();
    while (end > 0 && isSpace(s[end - 1])) --end;
    s.erase(end);
    return s;
}

string& ltrim(string& s) {
    size_t begin = 0;
    while (begin < s.size() && isSpace(s[begin])) ++begin;
    s.erase(0, begin);
    return s;
}

string& trim(string& s) { return ltrim(rtrim(s)); }

}  // namespace

FILE* openTextFile(const char* path, const char** reason) {
    // O_NONBLOCK: opening a FIFO without a writer must not wait for one.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) {
        *reason = S_ISDIR(st.st_mode) ? "is a directory, not a regular file" : "not a regular file";
        close(fd);
        return nullptr;
    }
    FILE* file = fd >= 0 ? fdopen(fd, "r") : nullptr;
    if (!file) {
        *reason = strerror(errno);
        if (fd >= 0) close(fd);
    }
    return file;
}

bool readTextLine(FILE* file, string* line) {
    line->clear();
    // Unlocked: the file is this reader's alone, and a file of one long line is read at
    // the speed of memory.
    int c = getc_unlocked(file);
    if (c == EOF) return false;
    bool overlong = false;
    for (; c != EOF && c != '\n'; c = getc_unlocked(file)) {
        if (line->size() < MAX_LINE)
            line->push_back(static_cast<char>(c));
        else
            overlong = true;
    }
    if (overlong) line->clear();
    return true;
}

string findAttribute(FILE* file, const string& searchKey) {
    const char colon = ':';
    string value;
    string line;
    while (readTextLine(file, &line)) {
        size_t colonIndex = line.find(colon);
        if (colonIndex == string::npos) continue;
        string key = line.substr(0, colonIndex);
        if (key == searchKey) {
            value = line.substr(colonIndex + 1);
            value = trim(value);
            break;
        }
    }
    return value;
}
