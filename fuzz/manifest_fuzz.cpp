// SPDX-License-Identifier: Apache-2.0
// Arbitrary bytes as a package's manifest. The reader never expands anything, so
// what it keeps is no larger than the input (a UTF-16 or Latin-1 input may grow in
// UTF-8, never past three times); it keeps no version or exec that could break a
// listing's line; what it keeps, recorded in the package database as installation
// records it, reads back the same.
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "devkit.h"

namespace {

void check(bool ok) {
    if (!ok) abort();
}

using devkit::describe;

size_t stored(const device::Package& p) {
    size_t n = p.pkgId.size() + p.version.size() + p.apiVersion.size() + p.label.size();
    for (const std::string& priv : p.privileges) n += priv.size();
    for (const device::AppEntry& a : p.apps)
        n += a.appId.size() + a.exec.size() + a.type.size() + a.label.size() + a.icon.size();
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    device::Package pkg;
    std::string err;
    device::Status st =
        device::parseManifestText(reinterpret_cast<const char*>(data), size, &pkg, &err);
    if (st != device::OK) {
        check(st == device::BAD_MANIFEST && !err.empty() && err.find('\n') == std::string::npos);
        return 0;
    }
    // What a listing prints as it is holds no control character.
    std::string plain = pkg.version + pkg.apiVersion;
    for (const device::AppEntry& a : pkg.apps) plain += a.exec;
    for (unsigned char c : plain) check(c >= 0x20 && c != 0x7f);
    check(device::isSafeId(pkg.pkgId));
    check(stored(pkg) <= 3 * size);
    check(describe(device::parseDatabaseEntry(device::formatDatabaseEntry(pkg))) == describe(pkg));
    return 0;
}
