// SPDX-License-Identifier: Apache-2.0
// The device-folder model of the desktop platform: the one place that knows
// where a device lives, what is installed on it and which app this process is.
// Every platform module asks it; nothing else reads the device folder.
//
// A device folder is laid out like a device's file system:
//   .vornix-device                   marks the folder as a device
//   opt/usr/apps/<pkgid>/            an installed package (tizen-manifest.xml,
//                                    bin/ lib/ res/ shared/{res,data,trusted}/ data/ cache/)
//   opt/usr/media/                   the device's shared media folder
//   opt/storage/sdcard/              external storage, when present
//   var/log/dlog                     the platform log
//   var/log/launch-journal           every launch request sent on the device
//   var/lib/packages/<pkgid>         the package database: what installation read
//   var/lib/appids/<appid>           the one package that owns each app id
//   run/<appid>.pid, run/<appid>.ctl running apps: pid file and control FIFO
//
// A process learns its device and its identity the way a started app learns
// them from the platform's launcher: from its environment (environment.h).
//
// The model's parts (platform/device/): device_layout.cpp (paths, identity, a new device),
// manifest.cpp, package_db.cpp (the package database and lookups), package_install.cpp
// (changes and their crash recovery), running_apps.cpp, journal.cpp, files.h (file-system
// helpers). It uses POSIX, GLib and libxml2 only: never the toolkit or the Tizen API.
#ifndef VORNIX_DEVICE_DEVICE_H
#define VORNIX_DEVICE_DEVICE_H

#include <stddef.h>

#include <string>
#include <vector>

namespace device {

enum Status {
    OK = 0,
    NO_DEVICE,     // no device folder configured, or it is not a device
    NO_CONTEXT,    // this process is not a known app
    NOT_FOUND,     // no such package or app
    BAD_MANIFEST,  // a manifest that does not parse
    IO_FAILED,
    UNFINISHED,  // the change stands, but a last step of it waits for the next change or
                 // recoverDevice() (`err` says which, one line each)
};

struct AppEntry {
    std::string appId;
    std::string exec;
    std::string kind;  // element name: "ui-application", "service-application", ...
    std::string type;  // type attribute: "capp", "dotnet", ... (may be empty)
    std::string label;
    bool hasLabel = false;
    std::string icon;  // icon file name as written in the manifest
    bool nodisplay = false;
};

struct Package {
    std::string pkgId;
    std::string version;
    bool hasVersion = false;
    std::string apiVersion;
    std::string label;
    std::vector<AppEntry> apps;
    std::vector<std::string> privileges;
    std::string root;  // the installed package folder, ending in "/"

    const AppEntry* findApp(const std::string& appId) const;
    bool hasPrivilege(const std::string& privilege) const;
    // The api-version as a number ("2.3.1" -> 2.3), 0 when absent.
    double apiLevel() const;
};

// Manifest parsing (libxml2). `err` gets a one-line reason on failure, naming the file
// `shownAs` when given.
Status parseManifest(const std::string& path, Package* out, std::string* err,
                     const std::string& shownAs = "");
Status parseManifestText(const char* data, size_t len, Package* out, std::string* err);

// Identifiers used as folder names must be plain names.
bool isSafeId(const std::string& id);
// Whether `text` holds a byte below 0x20 or 0x7f: no version or exec a manifest gives
// does (it could end a line of a listing).
bool hasControl(const std::string& text);

// The configured device folder (no trailing "/"), empty when none is set.
std::string root();
bool isDevice(const std::string& dir);

// Paths inside a device folder; `dev` as given by root() or a tool's argument.
std::string packagesDir(const std::string& dev);
std::string packageDir(const std::string& dev, const std::string& pkgId);
std::string mediaDir(const std::string& dev);
std::string sdcardDir(const std::string& dev);
std::string logFile(const std::string& dev);
std::string journalFile(const std::string& dev);
std::string runDir(const std::string& dev);
std::string pidFile(const std::string& dev, const std::string& appId);
std::string controlFifo(const std::string& dev, const std::string& appId);

// Lookups on the configured device.
Status findPackage(const std::string& pkgId, Package* out);
Status findApp(const std::string& appId, Package* pkg, AppEntry* app);
Status listPackages(const std::string& dev, std::vector<Package>* out);

// The app this process runs as.
std::string currentAppId();
Status currentApp(Package* pkg, AppEntry* app);

// Device administration, used by the device tool and the tests.
Status createDevice(const std::string& dev, std::string* err);
// Installs (or replaces) the package unpacked in `srcDir`, as its copy on the device
// says; all or nothing, even when the process is killed part way (the next change or
// recoverDevice() finishes it). The package's running apps are ended first; an upgrade
// keeps the installed version's data/, shared/data/ and shared/trusted/. `replaced` gets
// the version there was (an empty pkgId when none).
Status installPackage(const std::string& dev, const std::string& srcDir, Package* installed,
                      std::string* err, Package* replaced = nullptr);
Status uninstallPackage(const std::string& dev, const std::string& pkgId, std::string* err);
// Finishes the changes a crash or a failed last step left; every device command runs it
// first. What cannot be finished now stays for the next time: UNFINISHED, with one line
// in `err` for each, and only changes to those packages wait for it.
Status recoverDevice(const std::string& dev, std::string* err);

// Appends one line (a newline is added) to the device's launch journal (journal.cpp; the
// platform's tizen/launch_journal.cpp makes the lines and describes them).
Status appendJournal(const std::string& dev, const std::string& line);
// `text` in double quotes with \\ \" \n \r \t, and \xHH for the other control bytes: one
// line, whatever the text holds (how the journal and the device tool show texts).
std::string quoted(const std::string& text);

// Running apps (running_apps.cpp). A running UI app holds run/<appid>.pid and reads
// run/<appid>.ctl, a FIFO of one-line messages; tizen/app_main.cpp describes them.
int runningPid(const std::string& dev, const std::string& appId);  // 0 when not running
// Sends one message (one line, at most kMaxControlMessage bytes); NOT_FOUND when the app
// has no control FIFO, IO_FAILED when the message did not go.
const size_t kMaxControlMessage = 4094;
Status sendControl(const std::string& dev, const std::string& appId, const std::string& message);
// Ends the app if it runs: "terminate" (SIGTERM when it reads no control messages), and
// SIGKILL when it still runs after `timeoutMs`. OK once it runs no more.
Status endApp(const std::string& dev, const std::string& appId, int timeoutMs);

}  // namespace device

#endif
