// SPDX-License-Identifier: Apache-2.0
// The launcher's entry: decide whether the compatibility layer is installed and new
// enough, then hand the process to its runtime or run the download form.
#include <dlfcn.h>
#include <errno.h>
#include <stdlib.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <app.h>
#include <package_manager.h>

#include <qor/QorAppControl.h>
#include <qor/log.h>

#include "App.h"
#include "MainForm.h"
#include "TextFile.h"
#include "Version.h"

using std::string;

typedef int (*qor_main_t)(int, char**);

MainForm downloadForm;
int packageResult = 0;

namespace {

Version getQorVersion() {
    char* v = nullptr;
    package_info_h package_info = nullptr;
    Version version("0.0.0");

    packageResult = package_manager_get_package_info(_QOR_PKG_ID, &package_info);
    if (packageResult != 0) {
        const char* why = get_error_message(packageResult);
        LOGE("Could not get the package information for %s, error = %s", _QOR_APP_ID, why);
        return version;
    }
    packageResult = package_info_get_version(package_info, &v);
    if (packageResult == 0 && v != nullptr) {
        Version installed(v);
        swap(version, installed);
        free(v);
    } else {
        const char* why = get_error_message(packageResult);
        LOGE("Could not get the package version for %s, error = %s", _QOR_APP_ID, why);
    }
    package_info_destroy(package_info);
    return version;
}

string getQorAttribute(string searchKey) {
    string appSharedRes = App::getAppSharedResourcePath();
    string apkInfoFile = appSharedRes + ".android.apki";
    string value;

    // Without the host's own folder the name alone would be opened relative to
    // whatever directory the launcher started in: a file planted there must not
    // set the demanded version.
    if (appSharedRes.empty()) {
        const char* unknown = "shared resource folder of the application is unknown";
        LOGE("Could not open file(%s). err(%s)", apkInfoFile.c_str(), unknown);
        return value;
    }
    const char* reason = nullptr;
    FILE* file_stream = openTextFile(apkInfoFile.c_str(), &reason);
    if (!file_stream) {
        LOGE("Could not open file(%s). err(%s)", apkInfoFile.c_str(), reason);
        return value;
    }
    value = findAttribute(file_stream, searchKey);
    fclose(file_stream);
    return value;
}

}  // namespace

int main(int argc, char* pArgv[]) {
    int ret = 0;
    LOGI("Vornix.main started.");

    string qorApplicationPath = App::getAppSharedResourcePath(_QOR_APP_ID);
    Version qorVersion = getQorVersion();
    Version minVersion("2.0.0");
    string attribute = getQorAttribute("min-qor-rev");
    Version attrMinQorVersion(attribute);
    if (attrMinQorVersion > minVersion) minVersion = attrMinQorVersion;

    if (qorVersion < minVersion) {
        if (packageResult == 0) downloadForm.setVersionTooLow(true);
        LOGE("Failed to get shared data path for %s. err(%s)", _QOR_APP_ID, get_error_message(ret));
    } else if (qorApplicationPath.empty()) {
        LOGE("Failed to get shared data path for %s. err(%s)", _QOR_APP_ID, get_error_message(ret));
    } else {
        qorApplicationPath += _QOR_APPLICATION_EXE_NAME;
        struct stat st;
        if (access(qorApplicationPath.c_str(), F_OK) != 0) {
            LOGE("QorApplication.exe (%s) does not exist!", qorApplicationPath.c_str());
        } else {
            // The loader would wait forever on a FIFO and read a device without end.
            const char* notLoadable = nullptr;
            if (stat(qorApplicationPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                notLoadable = "not a regular file";
            void* handle = notLoadable ? nullptr : dlopen(qorApplicationPath.c_str(), RTLD_LAZY);
            if (handle == nullptr) {
                if (!notLoadable) notLoadable = dlerror();
                const char* path = qorApplicationPath.c_str();
                LOGE("Vornix dlopen() failed: %s, PATH=%s", notLoadable, path);
                return -1;
            }
            qor_main_t qorMain = reinterpret_cast<qor_main_t>(dlsym(handle, "main"));
            if (qorMain == nullptr) {
                LOGE("Vornix.main() dlsym() failed: %s, SYM=%s", dlerror(), "main");
                return -1;
            }
            // The runtime owns the process from here; the handle stays open for good.
            return qorMain(argc, pArgv);
        }
    }

    app_data_t* app_data = downloadForm.getWindowObject();
    app_data->lifecycle_cb.create = MainForm::app_create;
    app_data->lifecycle_cb.terminate = MainForm::app_terminate;
    app_data->lifecycle_cb.pause = MainForm::app_pause;
    app_data->lifecycle_cb.resume = MainForm::app_resume;
    app_data->lifecycle_cb.app_control = MainForm::app_control;
    app_data->parentApplication = &downloadForm;

    ret = ui_app_main(argc, pArgv, &app_data->lifecycle_cb, &downloadForm);
    if (ret != APP_ERROR_NONE) LOGE("app_main() is failed. err = %d", ret);
    LOGI("Vornix.main finished.");
    return ret;
}
