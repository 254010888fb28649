// SPDX-License-Identifier: Apache-2.0
// What the parts of the device model share and nothing else needs.
#ifndef VORNIX_PLATFORM_DEVICE_INTERNAL_H
#define VORNIX_PLATFORM_DEVICE_INTERNAL_H

#include <stddef.h>

#include <string>

#include "device.h"

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
bool writeDatabaseEntry(const std::string& dev, const Package& pkg);
// An entry's text and back; parseDatabaseEntry takes any text (it is read from disk).
std::string formatDatabaseEntry(const Package& pkg);
Package parseDatabaseEntry(const std::string& text);
// Points the app-id index at `pkgId` for the apps of `pkg` (none when null) and drops
// the package's other app ids.
bool indexApps(const std::string& dev, const std::string& pkgId, const Package* pkg);

}  // namespace device

#endif
