// SPDX-License-Identifier: Apache-2.0
// Application manager: other apps' shared folders, app information, running state.
#include <app_manager.h>

#include <stdlib.h>
#include <string.h>

#include <string>

#include <vornix/device/device.h>

#include "out_text.h"

struct app_info_s {
    device::Package pkg;
    device::AppEntry app;
};

namespace {

int lookup(const char* appId, device::Package* pkg, device::AppEntry* app) {
    if (!appId) return APP_MANAGER_ERROR_INVALID_PARAMETER;
    switch (device::findApp(appId, pkg, app)) {
        case device::OK:
            return APP_MANAGER_ERROR_NONE;
        case device::NOT_FOUND:
        case device::BAD_MANIFEST:
            return APP_MANAGER_ERROR_NO_SUCH_APP;
        default:
            return APP_MANAGER_ERROR_REQUEST_FAILED;
    }
}

int sharedFolder(const char* appId, char** path, const char* sub) {
    if (!path) return APP_MANAGER_ERROR_INVALID_PARAMETER;
    device::Package pkg;
    int r = lookup(appId, &pkg, nullptr);
    return r != APP_MANAGER_ERROR_NONE ? r : dupOut(pkg.root + sub, path);
}

int infoText(app_info_h info, char** out, const std::string& (*pick)(const app_info_s&)) {
    if (!info || !out) return APP_MANAGER_ERROR_INVALID_PARAMETER;
    return dupOut(pick(*info), out);
}

}  // namespace

extern "C" {

EXPORT_API int app_manager_get_shared_data_path(const char* app_id, char** path) {
    if (!path) return APP_MANAGER_ERROR_INVALID_PARAMETER;
    device::Package pkg, self;
    int r = lookup(app_id, &pkg, nullptr);
    if (r != APP_MANAGER_ERROR_NONE) return r;
    // Shared data is gone from api-version 3.0 on, for the target and for the caller.
    bool callerNew = device::currentApp(&self, nullptr) == device::OK && self.apiLevel() >= 3.0;
    if (pkg.apiLevel() >= 3.0 || callerNew) return APP_MANAGER_ERROR_NOT_SUPPORTED;
    return dupOut(pkg.root + "shared/data/", path);
}

EXPORT_API int app_manager_get_shared_resource_path(const char* app_id, char** path) {
    return sharedFolder(app_id, path, "shared/res/");
}

EXPORT_API int app_manager_get_shared_trusted_path(const char* app_id, char** path) {
    return sharedFolder(app_id, path, "shared/trusted/");
}

EXPORT_API int app_manager_get_external_shared_data_path(const char* app_id, char** path) {
    if (!path) return APP_MANAGER_ERROR_INVALID_PARAMETER;
    device::Package pkg;
    int r = lookup(app_id, &pkg, nullptr);
    if (r != APP_MANAGER_ERROR_NONE) return r;
    return dupOut(device::sdcardDir(device::root()) + "apps/" + pkg.pkgId + "/shared/data/", path);
}

EXPORT_API int app_manager_get_app_info(const char* app_id, app_info_h* app_info) {
    return app_info_create(app_id, app_info);
}

EXPORT_API int app_manager_is_running(const char* app_id, bool* running) {
    if (!app_id || !running) return APP_MANAGER_ERROR_INVALID_PARAMETER;
    int r = lookup(app_id, nullptr, nullptr);
    if (r != APP_MANAGER_ERROR_NONE) return r;
    *running = device::runningPid(device::root(), app_id) > 0;
    return APP_MANAGER_ERROR_NONE;
}

EXPORT_API int app_info_create(const char* app_id, app_info_h* app_info) {
    if (!app_info) return APP_MANAGER_ERROR_INVALID_PARAMETER;
    app_info_s info;
    int r = lookup(app_id, &info.pkg, &info.app);
    if (r != APP_MANAGER_ERROR_NONE) return r;
    *app_info = new app_info_s(info);
    return APP_MANAGER_ERROR_NONE;
}

EXPORT_API int app_info_destroy(app_info_h app_info) {
    if (!app_info) return APP_MANAGER_ERROR_INVALID_PARAMETER;
    delete app_info;
    return APP_MANAGER_ERROR_NONE;
}

EXPORT_API int app_info_clone(app_info_h* clone, app_info_h app_info) {
    if (!clone || !app_info) return APP_MANAGER_ERROR_INVALID_PARAMETER;
    *clone = new app_info_s(*app_info);
    return APP_MANAGER_ERROR_NONE;
}

EXPORT_API int app_info_get_app_id(app_info_h app_info, char** app_id) {
    return infoText(app_info, app_id,
                    [](const app_info_s& i) -> const std::string& { return i.app.appId; });
}

EXPORT_API int app_info_get_exec(app_info_h app_info, char** exec) {
    if (!app_info || !exec) return APP_MANAGER_ERROR_INVALID_PARAMETER;
    return dupOut(app_info->pkg.root + "bin/" + app_info->app.exec, exec);
}

EXPORT_API int app_info_get_label(app_info_h app_info, char** label) {
    return infoText(app_info, label,
                    [](const app_info_s& i) -> const std::string& { return i.app.label; });
}

EXPORT_API int app_info_get_icon(app_info_h app_info, char** path) {
    if (!app_info || !path) return APP_MANAGER_ERROR_INVALID_PARAMETER;
    // Icons are installed in the package's shared resources; no icon gives an empty text.
    const std::string& icon = app_info->app.icon;
    return dupOut(icon.empty() ? "" : app_info->pkg.root + "shared/res/" + icon, path);
}

EXPORT_API int app_info_get_package(app_info_h app_info, char** package) {
    return infoText(app_info, package,
                    [](const app_info_s& i) -> const std::string& { return i.pkg.pkgId; });
}
}
