// SPDX-License-Identifier: Apache-2.0
// Package manager: installed packages and their versions, from the device model.
#include <package_manager.h>

#include <stdlib.h>
#include <string.h>

#include <string>

#include <vornix/device/device.h>

#include "out_text.h"

struct package_info_s {
    device::Package pkg;
};

namespace {

const char kInfoPrivilege[] = "http://tizen.org/privilege/packagemanager.info";

int find(const char* id, package_info_h* out) {
    if (!id || !out) return PACKAGE_MANAGER_ERROR_INVALID_PARAMETER;
    device::Package pkg;
    switch (device::findPackage(id, &pkg)) {
        case device::OK:
            break;
        case device::NOT_FOUND:
            return PACKAGE_MANAGER_ERROR_NO_SUCH_PACKAGE;
        case device::BAD_MANIFEST:
            return PACKAGE_MANAGER_ERROR_IO_ERROR;
        default:
            return PACKAGE_MANAGER_ERROR_SYSTEM_ERROR;
    }
    *out = new package_info_s{pkg};
    return PACKAGE_MANAGER_ERROR_NONE;
}

}  // namespace

extern "C" {

EXPORT_API int package_manager_get_package_info(const char* package_id,
                                                package_info_h* package_info) {
    if (!package_id || !package_info) return PACKAGE_MANAGER_ERROR_INVALID_PARAMETER;
    // Like the platform, an app must declare the privilege to ask. A process that runs
    // as no app (a desktop tool) has no manifest to declare it in and is not checked.
    device::Package self;
    device::Status st = device::currentApp(&self, nullptr);
    if (st == device::OK && !self.hasPrivilege(kInfoPrivilege))
        return PACKAGE_MANAGER_ERROR_PERMISSION_DENIED;
    return find(package_id, package_info);
}

EXPORT_API int package_manager_get_package_id_by_app_id(const char* app_id, char** package_id) {
    if (!app_id || !package_id) return PACKAGE_MANAGER_ERROR_INVALID_PARAMETER;
    device::Package pkg;
    if (device::findApp(app_id, &pkg, nullptr) != device::OK)
        return PACKAGE_MANAGER_ERROR_NO_SUCH_PACKAGE;
    return dupOut(pkg.pkgId, package_id);
}

EXPORT_API int package_info_create(const char* package, package_info_h* package_info) {
    return find(package, package_info);
}

EXPORT_API int package_info_destroy(package_info_h package_info) {
    if (!package_info) return PACKAGE_MANAGER_ERROR_INVALID_PARAMETER;
    delete package_info;
    return PACKAGE_MANAGER_ERROR_NONE;
}

EXPORT_API int package_info_get_package(package_info_h package_info, char** package) {
    if (!package_info || !package) return PACKAGE_MANAGER_ERROR_INVALID_PARAMETER;
    return dupOut(package_info->pkg.pkgId, package);
}

EXPORT_API int package_info_get_label(package_info_h package_info, char** label) {
    if (!package_info || !label) return PACKAGE_MANAGER_ERROR_INVALID_PARAMETER;
    return dupOut(package_info->pkg.label, label);
}

EXPORT_API int package_info_get_version(package_info_h package_info, char** version) {
    if (!package_info || !version) return PACKAGE_MANAGER_ERROR_INVALID_PARAMETER;
    // A manifest without a version: success with no text, as the platform can answer.
    if (!package_info->pkg.hasVersion) {
        *version = nullptr;
        return PACKAGE_MANAGER_ERROR_NONE;
    }
    return dupOut(package_info->pkg.version, version);
}
}
