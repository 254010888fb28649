// SPDX-License-Identifier: Apache-2.0
// Application framework queries about the running app, answered from the device model.
#include <app_common.h>

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>

#include <vornix/device/device.h>

#include "out_text.h"

namespace {

// One query about the running app: null out-pointer, then context, then the answer.
template <typename F>
int query(char** out, F pick) {
    if (!out) return APP_ERROR_INVALID_PARAMETER;
    device::Package pkg;
    device::AppEntry app;
    if (device::currentApp(&pkg, &app) != device::OK) return APP_ERROR_INVALID_CONTEXT;
    return dupOut(pick(pkg, app), out);
}

// The folder getters answer a heap copy of "<package root><sub>", null without context.
char* folder(const char* sub) {
    device::Package pkg;
    if (device::currentApp(&pkg, nullptr) != device::OK) return nullptr;
    return strdup((pkg.root + sub).c_str());
}

char* externalFolder(const char* sub) {
    device::Package pkg;
    if (device::currentApp(&pkg, nullptr) != device::OK) return nullptr;
    std::string sd = device::sdcardDir(device::root());
    struct stat st;
    if (stat(sd.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
    return strdup((sd + "apps/" + pkg.pkgId + "/" + sub).c_str());
}

}  // namespace

extern "C" {

EXPORT_API int app_get_id(char** id) {
    return query(id, [](const device::Package&, const device::AppEntry& a) { return a.appId; });
}

EXPORT_API int app_get_name(char** name) {
    return query(name, [](const device::Package&, const device::AppEntry& a) { return a.label; });
}

EXPORT_API int app_get_version(char** version) {
    return query(version,
                 [](const device::Package& p, const device::AppEntry&) { return p.version; });
}

EXPORT_API char* app_get_data_path(void) {
    // The only getter besides the shared data one that reports through the last result.
    char* p = folder("data/");
    set_last_result(p ? APP_ERROR_NONE : APP_ERROR_INVALID_CONTEXT);
    return p;
}

EXPORT_API char* app_get_cache_path(void) { return folder("cache/"); }
EXPORT_API char* app_get_resource_path(void) { return folder("res/"); }
EXPORT_API char* app_get_shared_resource_path(void) { return folder("shared/res/"); }
EXPORT_API char* app_get_shared_trusted_path(void) { return folder("shared/trusted/"); }

EXPORT_API char* app_get_shared_data_path(void) {
    device::Package pkg;
    if (device::currentApp(&pkg, nullptr) != device::OK) {
        set_last_result(APP_ERROR_INVALID_CONTEXT);
        return nullptr;
    }
    if (pkg.apiLevel() >= 3.0) {
        set_last_result(APP_ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    char* p = strdup((pkg.root + "shared/data/").c_str());
    set_last_result(p ? APP_ERROR_NONE : APP_ERROR_OUT_OF_MEMORY);
    return p;
}

EXPORT_API char* app_get_external_data_path(void) { return externalFolder("data/"); }
EXPORT_API char* app_get_external_cache_path(void) { return externalFolder("cache/"); }
EXPORT_API char* app_get_external_shared_data_path(void) { return externalFolder("shared/data/"); }

EXPORT_API char* app_get_tep_resource_path(void) {
    device::Package pkg;
    if (device::currentApp(&pkg, nullptr) != device::OK) return nullptr;
    std::string tep = pkg.root + "tep/mount/";
    struct stat st;
    if (stat(tep.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
    return strdup(tep.c_str());
}
}
