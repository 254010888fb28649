// SPDX-License-Identifier: Apache-2.0
#include "Version.h"

#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <qor/log.h>

#include "TextFile.h"

using std::string;

namespace {

const int kMaxComponents = 10;

// Differences of two 32-bit components can leave the int range; callers only use
// the sign, so a difference is computed wide and clamped, never wrapped.
int clampToInt(long long v) {
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

}  // namespace

Version Version::createFromFile(string& path) {
    Version result;
    const char* reason = nullptr;
    FILE* file = openTextFile(path.c_str(), &reason);
    string line;
    if (file && !readTextLine(file, &line)) reason = strerror(errno);
    if (file) fclose(file);
    if (reason) {
        LOGE("No version found in %s, err: %s", path.c_str(), reason);
        return result;
    }
    result.parse(line.c_str());
    return result;
}

Version::Version(const char* version) : mSize(0), mArray(nullptr), mRemainder(nullptr) {
    mBuffer[0] = '\0';
    parse(version);
}

Version::Version(string& version) : mSize(0), mArray(nullptr), mRemainder(nullptr) {
    mBuffer[0] = '\0';
    parse(version.c_str());
}

Version::Version(const Version& other) : mSize(other.mSize), mArray(nullptr), mRemainder(nullptr) {
    mBuffer[0] = '\0';
    if (mSize > 0) {
        mArray = new int[mSize];
        memcpy(mArray, other.mArray, sizeof(int) * mSize);
    }
    if (other.mRemainder) mRemainder = strdup(other.mRemainder);
}

Version::Version() : mSize(0), mArray(nullptr), mRemainder(nullptr) { mBuffer[0] = '\0'; }

Version::~Version() {
    delete[] mArray;
    free(mRemainder);
}

void Version::parse(const char* s) {
    mArray = new int[kMaxComponents];
    if (*s == '\0') return;
    const char* pos = s;
    for (;;) {
        char* end = nullptr;
        long value = strtol(pos, &end, 10);
        if (end == pos) break;  // no digits: the remainder starts here
        mArray[mSize++] = static_cast<int>(value > INT_MAX   ? INT_MAX
                                           : value < INT_MIN ? INT_MIN
                                                             : value);
        pos = end;
        if (*pos == '-' || *pos == '.') ++pos;
        if (*pos == '\0') return;
        if (mSize == kMaxComponents) break;
    }
    size_t len = strlen(pos);
    while (len > 0 && (pos[len - 1] == '\n' || pos[len - 1] == '\r')) --len;
    if (len == 0) return;
    mRemainder = strndup(pos, len);
}

const char* Version::toString() {
    size_t used = 0;
    mBuffer[0] = '\0';
    // Appends a piece; once the buffer is full, the rest is dropped.
    auto append = [this, &used](const char* fmt, const void* arg, int number) {
        if (used >= sizeof(mBuffer) - 1) return;
        int n = arg ? snprintf(mBuffer + used, sizeof(mBuffer) - used, fmt,
                               static_cast<const char*>(arg))
                    : snprintf(mBuffer + used, sizeof(mBuffer) - used, fmt, number);
        if (n < 0) return;
        used += static_cast<size_t>(n);
        if (used > sizeof(mBuffer) - 1) used = sizeof(mBuffer) - 1;
    };
    for (int i = 0; i < mSize; ++i) append(i == 0 ? "%d" : ".%d", nullptr, mArray[i]);
    if (mRemainder) append("-%s", mRemainder, 0);
    return mBuffer;
}

int Version::compare(const Version& other, bool checkRemainder) const {
    for (int i = 0; i < mSize; ++i) {
        if (i == other.mSize) return clampToInt(static_cast<long long>(mArray[i]) + 1);
        if (mArray[i] != other.mArray[i])
            return clampToInt(static_cast<long long>(mArray[i]) - other.mArray[i]);
    }
    if (other.mSize > mSize) return clampToInt(-static_cast<long long>(other.mArray[mSize]) - 1);
    if (!checkRemainder) return 0;
    if (!mRemainder && !other.mRemainder) return 0;
    if (!mRemainder) return -static_cast<int>(static_cast<unsigned char>(other.mRemainder[0]));
    if (!other.mRemainder) return static_cast<unsigned char>(mRemainder[0]);
    return strcmp(mRemainder, other.mRemainder);
}

bool Version::empty() const { return mSize == 0; }

Version& Version::operator=(Version other) {
    swap(*this, other);
    return *this;
}

Version::operator char*() { return const_cast<char*>(toString()); }

Version::operator const char*() { return toString(); }

void swap(Version& first, Version& second) {
    std::swap(first.mSize, second.mSize);
    std::swap(first.mArray, second.mArray);
    std::swap(first.mRemainder, second.mRemainder);
}

bool operator<(const Version& lhs, const Version& rhs) { return lhs.compare(rhs, true) < 0; }

bool operator>(const Version& lhs, const Version& rhs) { return lhs.compare(rhs, true) > 0; }
