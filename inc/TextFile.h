// SPDX-License-Identifier: Apache-2.0
// The launcher's own small text files (the host's attribute file, version files):
// opened without blocking and read only when they are regular files, so a FIFO, a
// device or a folder standing in their place can neither hang the launcher nor feed
// it without end.
#ifndef VORNIX_TEXT_FILE_H
#define VORNIX_TEXT_FILE_H

#include <stdio.h>

#include <string>

// Opens `path` for reading. Null when it cannot be opened or is no regular file;
// `*reason` then says why in words fit for a log line.
FILE* openTextFile(const char* path, const char** reason);

// Reads the next line without its line feed; false at end of file or on a read error. A
// line longer than 4 KiB, which is no key line or version, comes back empty: memory stays
// bounded whatever the file holds.
bool readTextLine(FILE* file, std::string* line);

// The value of the first "key:value" line whose key is `searchKey` (bytes before the
// first colon, unchanged), white space trimmed from both ends; empty when there is none.
std::string findAttribute(FILE* file, const std::string& searchKey);

#endif
