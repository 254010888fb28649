// SPDX-License-Identifier: Apache-2.0
#include "App.h"

#include <stdlib.h>

#include <app_common.h>
#include <app_manager.h>

#include <qor/log.h>

using std::string;

namespace {

// Takes over a heap string from the platform: copied, then released.
string adopt(char* s) {
    string result;
    if (s) {
        result = s;
        free(s);
    }
    return result;
}

string byOutParameter(int (*query)(char**)) {
    char* s = nullptr;
    if (query(&s) != APP_ERROR_NONE) return string();
    return adopt(s);
}

}  // namespace

App::App() {}

App::~App() {}

string App::getAppId() { return byOutParameter(app_get_id); }

string App::getAppName() { return byOutParameter(app_get_name); }

string App::getAppVersion() { return byOutParameter(app_get_version); }

string App::getAppCachePath() { return adopt(app_get_cache_path()); }

string App::getAppExternalCachePath() { return adopt(app_get_external_cache_path()); }

string App::getAppDataPath() {
    char* path = app_get_data_path();
    if (!path) {
        LOGE("Failed to get App data path. err(%s)", get_error_message(get_last_result()));
        return string();
    }
    return adopt(path);
}

string App::getAppExternalDataPath() { return adopt(app_get_external_data_path()); }

string App::getAppExternalSharedDataPath() { return adopt(app_get_external_shared_data_path()); }

string App::getAppResourcePath() { return adopt(app_get_resource_path()); }

string App::getAppSharedDataPath() { return adopt(app_get_shared_data_path()); }

string App::getAppSharedResourcePath() { return adopt(app_get_shared_resource_path()); }

string App::getAppSharedTrustedPath() { return adopt(app_get_shared_trusted_path()); }

string App::getAppSharedDataPath(const char* appId) {
    char* path = nullptr;
    int ret = app_manager_get_shared_data_path(appId, &path);
    if (ret != APP_MANAGER_ERROR_NONE) {
        // One line per log statement: compilers disagree on __LINE__ across lines.
        const char* why = get_error_message(ret);
        LOGE("Failed to get shared data path for %s. err(%s)", appId ? appId : "(null)", why);
        return string();
    }
    LOGI("Shared data path for %s is %s", appId, path);
    return adopt(path);
}

string App::getAppSharedResourcePath(const char* appId) {
    char* path = nullptr;
    int ret = app_manager_get_shared_resource_path(appId, &path);
    if (ret != APP_MANAGER_ERROR_NONE) {
        const char* why = get_error_message(ret);
        LOGE("Failed to get shared res path for %s. err(%s)", appId ? appId : "(null)", why);
        return string();
    }
    LOGI("Shared res path for %s is %s", appId, path);
    return adopt(path);
}

string App::getPackageIdFromAppId(const string& appId) {
    size_t dot = appId.find('.');
    if (dot == string::npos) return string();
    return appId.substr(0, dot);
}

string App::getAppPackageId() { return getPackageIdFromAppId(getAppId()); }
