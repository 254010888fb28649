// SPDX-License-Identifier: Apache-2.0
// Where things live in a device folder, which device this process is on, which app
// it runs as, and making a new device folder.
#include <errno.h>
#include <fcntl.h>
#include <string.h>

#include <vornix/device/environment.h>
#include <vornix/device/files.h>
#include <vornix/device/scoped_fd.h>

#include "device_internal.h"

namespace device {

const char kMarker[] = ".vornix-device";
const char kManifest[] = "tizen-manifest.xml";

std::string root() {
    const char* d = env::device();
    if (!d || !*d) return "";
    std::string s = d;
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

bool isDevice(const std::string& dir) { return !dir.empty() && isFile(dir + "/" + kMarker); }

std::string packagesDir(const std::string& dev) { return dev + "/opt/usr/apps/"; }
std::string packageDir(const std::string& dev, const std::string& pkgId) {
    return packagesDir(dev) + pkgId + "/";
}
std::string mediaDir(const std::string& dev) { return dev + "/opt/usr/media/"; }
std::string sdcardDir(const std::string& dev) { return dev + "/opt/storage/sdcard/"; }
std::string logFile(const std::string& dev) { return dev + "/var/log/dlog"; }
std::string journalFile(const std::string& dev) { return dev + "/var/log/launch-journal"; }
std::string runDir(const std::string& dev) { return dev + "/run/"; }
std::string pidFile(const std::string& dev, const std::string& appId) {
    return runDir(dev) + appId + ".pid";
}
std::string controlFifo(const std::string& dev, const std::string& appId) {
    return runDir(dev) + appId + ".ctl";
}
std::string databaseDir(const std::string& dev) { return dev + "/var/lib/packages/"; }
std::string databaseEntry(const std::string& dev, const std::string& pkgId) {
    return databaseDir(dev) + pkgId;
}

std::string currentAppId() {
    const char* id = env::appId();
    return id ? id : "";
}

Status createDevice(const std::string& dev, std::string* err) {
    if (dev.empty()) return fail(err, "no device folder given", IO_FAILED);
    for (const std::string& d : {packagesDir(dev), mediaDir(dev), dev + "/var/log", runDir(dev)})
        if (!makeDirs(d))
            return fail(err, "cannot create " + d + ": " + strerror(errno), IO_FAILED);
    std::string marker = dev + "/" + kMarker;
    ScopedFd fd(open(marker.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    if (!fd.valid())
        return fail(err, "cannot create " + marker + ": " + strerror(errno), IO_FAILED);
    return OK;
}

}  // namespace device
