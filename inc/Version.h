// SPDX-License-Identifier: Apache-2.0
#ifndef VORNIX_VERSION_H
#define VORNIX_VERSION_H

#include <string>

// A dotted version number ("2.0.0") with an optional text remainder ("beta").
class Version {
public:
    static Version createFromFile(std::string& path);

    Version(const char* version);
    Version(std::string& version);
    Version(const Version& other);
    Version();
    ~Version();

    // The text form, at most 31 characters, kept in the object until the next call.
    const char* toString();
    // Negative, zero or positive as this version orders before, equal to or after `other`.
    int compare(const Version& other, bool checkRemainder) const;
    bool empty() const;

    Version& operator=(Version other);
    operator char*();
    operator const char*();

    friend void swap(Version& first, Version& second);

private:
    void parse(const char* s);

    int mSize;
    int* mArray;
    char* mRemainder;
    char mBuffer[32];
};

void swap(Version& first, Version& second);
bool operator<(const Version& lhs, const Version& rhs);
bool operator>(const Version& lhs, const Version& rhs);

#endif
