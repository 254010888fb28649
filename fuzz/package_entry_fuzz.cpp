// SPDX-License-Identifier: Apache-2.0
// The package database entry: any package, with any bytes in its texts, reads back
// from the entry installation writes for it exactly as it was; and any text read as
// an entry gives a package that writes and reads back the same.
#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "devkit.h"

namespace {

void check(bool ok) {
    if (!ok) abort();
}

using devkit::describe;

// The input's NUL-separated fields as a package: id, version ("" and no version when
// the field is absent), api-version, label, then privileges ("p..." fields) and apps
// (seven fields each, the last one's bits giving hasLabel and nodisplay).
device::Package packageFrom(const std::string& in) {
    std::vector<std::string> f(1);
    for (char c : in) {
        if (c)
            f.back() += c;
        else
            f.emplace_back();
    }
    f.resize(std::max<size_t>(f.size(), 4));
    device::Package p;
    p.pkgId = f[0];
    p.hasVersion = !f[1].empty();
    if (p.hasVersion) p.version = f[1].substr(1);
    p.apiVersion = f[2];
    p.label = f[3];
    for (size_t i = 4; i < f.size();) {
        if (!f[i].empty() && f[i][0] == 'p') {
            p.privileges.push_back(f[i++].substr(1));
            continue;
        }
        device::AppEntry a;
        std::string* texts[] = {&a.appId, &a.kind, &a.type, &a.exec, &a.label, &a.icon};
        for (std::string* t : texts) *t = i < f.size() ? f[i++] : "";
        unsigned bits = i < f.size() && !f[i].empty() ? static_cast<unsigned char>(f[i][0]) : 0;
        ++i;
        a.hasLabel = bits & 1;
        a.nodisplay = bits & 2;
        p.apps.push_back(a);
    }
    return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16)) return 0;
    std::string in(reinterpret_cast<const char*>(data), size);
    device::Package p = packageFrom(in);
    check(describe(device::parseDatabaseEntry(device::formatDatabaseEntry(p))) == describe(p));
    device::Package read = device::parseDatabaseEntry(in);
    check(describe(device::parseDatabaseEntry(device::formatDatabaseEntry(read))) ==
          describe(read));
    return 0;
}
