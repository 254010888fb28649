// SPDX-License-Identifier: Apache-2.0
#ifndef VORNIX_APP_H
#define VORNIX_APP_H

#include <string>

// Queries about the running app and other apps' shared folders.
// Every answer is a string; an empty one means the platform could not give it.
class App {
public:
    App();
    virtual ~App();

    static std::string getAppId();
    static std::string getAppName();
    static std::string getAppVersion();

    static std::string getAppCachePath();
    static std::string getAppExternalCachePath();
    static std::string getAppDataPath();
    static std::string getAppExternalDataPath();
    static std::string getAppExternalSharedDataPath();
    static std::string getAppResourcePath();
    static std::string getAppSharedDataPath();
    static std::string getAppSharedResourcePath();
    static std::string getAppSharedTrustedPath();

    static std::string getAppSharedDataPath(const char* appId);
    static std::string getAppSharedResourcePath(const char* appId);

    // The device's shared media folder is fixed on every device.
    static std::string getSystemMediaPath() { return "/opt/usr/media/"; }
    static std::string getPackageIdFromAppId(const std::string& appId);
    static std::string getAppPackageId();
};

#endif
