#ifndef VORNIX_APP_H
#define VORNIX_APP_H

#include <string>

using std::string;

// Queries about the running app and other apps' shared folders.
// Every answer is a string; an empty one means the platform could not give it.
class App {
public:
    App();
    virtual ~App();

    static string getAppId();
    static string getAppName();
    static string getAppVersion();

    static string getAppCachePath();
    static string getAppExternalCachePath();
    static string getAppDataPath();
    static string getAppExternalDataPath();
    static string getAppExternalSharedDataPath();
    static string getAppResourcePath();
    static string getAppSharedDataPath();
    static string getAppSharedResourcePath();
    static string getAppSharedTrustedPath();

    static string getAppSharedDataPath(const char* appId);
    static string getAppSharedResourcePath(const char* appId);

    // The device's shared media folder is fixed on every device.
    static string getSystemMediaPath() { return "/opt/usr/media/"; }
    static string getPackageIdFromAppId(const string& appId);
    static string getAppPackageId();
};

#endif
