// SPDX-License-Identifier: Apache-2.0
// A package database entry (var/lib/packages/<pkgid>): what installation read from the
// package's manifest, so that queries need not parse it again (package_db.cpp).
#ifndef VORNIX_DEVICE_PACKAGE_ENTRY_H
#define VORNIX_DEVICE_PACKAGE_ENTRY_H

#include <string>

#include <vornix/device/device.h>

namespace device {

// An entry's text and back; parseDatabaseEntry takes any text (it is read from disk).
std::string formatDatabaseEntry(const Package& pkg);
Package parseDatabaseEntry(const std::string& text);

}  // namespace device

#endif
