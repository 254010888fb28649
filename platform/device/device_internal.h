// SPDX-License-Identifier: Apache-2.0
// What the parts of the device model share and nothing else needs.
#ifndef VORNIX_DEVICE_INTERNAL_H
#define VORNIX_DEVICE_INTERNAL_H

#include <stddef.h>

#include <string>

#include <vornix/device/device.h>
#include <vornix/device/package_entry.h>

namespace device {

extern const char kMarker[];
extern const char kManifest[];

// Real manifests are a few kilobytes; this bounds what a hostile one can make us hold.
const size_t kMaxManifest = 1024 * 1024;

inline Status fail(std::string* err, const std::string& why, Status s) {
    if (err) *err = why;
    return s;
}

// The package database (package_db.cpp).
std::string databaseDir(const std::string& dev);
std::string databaseEntry(const std::string& dev, const std::string& pkgId);
// Records `pkg` as installed package `pkgId` (its entry, and its app ids in the app-id
// index), or, when null, its removal. Run again after a crash, it finishes the record.
bool recordPackage(const std::string& dev, const std::string& pkgId, const Package* pkg);
// The installed package `pkgId` of device `dev`, from its entry or, when the entry is
// missing or older than the manifest, from the manifest.
Status loadPackage(const std::string& dev, const std::string& pkgId, Package* out);

}  // namespace device

#endif
