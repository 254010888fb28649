// SPDX-License-Identifier: Apache-2.0
// Fuzzes the reader of the host's attribute file (and the version file reader on the
// same bytes): the value found is trimmed, holds no line feed and stands in the file.
#include <ctype.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "TextFile.h"
#include "Version.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A memory-backed regular file, reached by path as the launcher reaches its files.
    static int fd = memfd_create("attributes", MFD_CLOEXEC);
    static std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        abort();
    std::string content(reinterpret_cast<const char*>(data), size);

    for (const char* key : {"min-qor-rev", ""}) {
        const char* reason = nullptr;
        FILE* file = openTextFile(path.c_str(), &reason);
        if (!file || reason) abort();
        std::string value = findAttribute(file, key);
        fclose(file);
        if (value.find('\n') != std::string::npos) abort();
        if (!value.empty() && (isspace(static_cast<unsigned char>(value.front())) ||
                               isspace(static_cast<unsigned char>(value.back()))))
            abort();
        if (!value.empty() && content.find(std::string(key) + ":") == std::string::npos) abort();
        if (content.find(value) == std::string::npos) abort();
        Version demanded(value);
        demanded.toString();
    }
    Version fromFile = Version::createFromFile(path);
    fromFile.toString();
    return 0;
}
