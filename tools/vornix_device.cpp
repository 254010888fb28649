// SPDX-License-Identifier: Apache-2.0
// vornix-device: makes and manages device folders of the desktop platform, and starts
// and steers apps on them the way the device's own launcher and tools would.
// The folder layout and the environment of a started app are described in
// vornix/device/device.h and vornix/device/environment.h.
#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "devkit.h"

namespace {

const char kTool[] = "vornix-device";
// The device's shared media folder sits at this fixed path on every device.
const char kSystemMedia[] = "/opt/usr/media";
const char kMediaPrivilege[] = "http://tizen.org/privilege/mediastorage";

const char kUsage[] =
    "Usage: vornix-device [--] DEVICE COMMAND [ARGUMENTS]\n"
    "       vornix-device --help\n"
    "\n"
    "Makes and manages a device folder of the desktop platform.\n"
    "\n"
    "Commands:\n"
    "  create                 make DEVICE a new device folder\n"
    "  install PKGDIR         install the package unpacked in PKGDIR (tizen-manifest.xml\n"
    "                         at its top), replacing an installed version of it\n"
    "  uninstall PKGID        remove an installed package\n"
    "  list                   installed packages with their versions and applications\n"
    "  launch APPID [ARG...]  start an application as the platform's launcher does; the\n"
    "                         exit status is the application's (127: it could not start)\n"
    "  pause APPID            send a running application to the background\n"
    "  resume APPID           bring it back\n"
    "  terminate APPID        ask it to end (SIGTERM when it reads no control messages)\n"
    "  tap APPID TEXT         press the button labelled TEXT on its window\n"
    "  key APPID KEYNAME      press a key on its window, e.g. XF86Back\n"
    "  snapshot APPID BASE    write BASE.txt (its widgets) and BASE.png (its window's\n"
    "                         pixels, headless runs only)\n"
    "  log [--tag TAG]... [--priority P]\n"
    "                         the platform log: only lines of the given tags, of\n"
    "                         priority P (V D I W E F, or 2-7) and above\n"
    "  journal                the launch requests sent on the device\n"
    "\n"
    "A launched application gets VORNIX_DEVICE (the device folder) and VORNIX_APP_ID (its\n"
    "id) and runs in a private mount namespace in which /opt/usr/media is the device's\n"
    "opt/usr/media folder, when the system allows one; read-only unless the app's package\n"
    "declares http://tizen.org/privilege/mediastorage.\n"
    "Options are read only before DEVICE (\"--\" ends them): the arguments after a\n"
    "command, an application's among them, are passed on as they are.\n"
    "Exit status: 0 on success, 1 on failure, 2 on a usage error.\n";

int fail(const std::string& why, int status = 1) {
    std::string line = why;
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    std::cerr << kTool << ": " << line << "\n";
    return status;
}

int usage(const std::string& why) { return fail(why + " (see " + kTool + " --help)", 2); }

// What a change left for the next command to finish, one line each, as warnings.
void warn(const std::string& notes) {
    std::string line;
    for (std::istringstream in(notes); std::getline(in, line);)
        std::cerr << kTool << ": warning: " << line << "; the next command tries again\n";
}

bool isEmptyDir(const std::string& p) {
    DIR* d = opendir(p.c_str());
    if (!d) return false;
    bool empty = true;
    while (struct dirent* e = readdir(d))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) empty = false;
    closedir(d);
    return empty;
}

std::string absolute(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (!p.empty() && p[0] == '/') return p;
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return p;
    return std::string(cwd) + "/" + p;
}

// A text of a package's on one line: quoted when it holds a control character (one
// recorded before manifests holding them were refused may).
std::string shown(const std::string& text) {
    return device::hasControl(text) ? device::quoted(text) : text;
}

std::string version(const device::Package& pkg) {
    return pkg.hasVersion ? shown(pkg.version) : "(no version)";
}

std::string describe(const device::Package& pkg) { return pkg.pkgId + " " + version(pkg); }

int cmdCreate(const std::string& dev, const std::string& shown) {
    struct stat st;
    if (stat(dev.c_str(), &st) == 0 && !device::isDevice(dev)) {
        if (!S_ISDIR(st.st_mode)) return fail(shown + " exists and is not a folder");
        if (!isEmptyDir(dev)) return fail(shown + " exists and is not a device folder");
    }
    std::string err;
    if (device::createDevice(dev, &err) != device::OK) return fail(err);
    return 0;
}

int cmdInstall(const std::string& dev, const std::string& src) {
    device::Package pkg, old;
    std::string err;
    if (!device::isDir(src)) return fail("cannot install " + src + ": not a package folder");
    device::Status st = device::installPackage(dev, src, &pkg, &err, &old);
    if (st != device::OK && st != device::UNFINISHED)
        return fail("cannot install " + src + ": " + err);
    std::cout << "installed " << describe(pkg);
    if (!old.pkgId.empty()) std::cout << " (replaced " << version(old) << ")";
    std::cout << "\n";
    if (st == device::UNFINISHED) warn(err);
    return 0;
}

int cmdUninstall(const std::string& dev, const std::string& pkgId) {
    std::string err;
    device::Status st = device::uninstallPackage(dev, pkgId, &err);
    if (st != device::OK && st != device::UNFINISHED) return fail(err);
    std::cout << "uninstalled " << pkgId << "\n";
    if (st == device::UNFINISHED) warn(err);
    return 0;
}

int cmdList(const std::string& dev) {
    std::vector<device::Package> all;
    if (device::listPackages(dev, &all) != device::OK) return fail("cannot list packages");
    for (const device::Package& p : all) {
        std::cout << describe(p) << "\n";
        for (const device::AppEntry& a : p.apps) {
            std::cout << "    " << a.appId << "  " << a.kind << "  bin/" << shown(a.exec);
            if (a.hasLabel) std::cout << "  " << device::quoted(a.label);
            std::cout << "\n";
        }
    }
    return 0;
}

bool writeAll(const std::string& path, const std::string& text) {
    int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return close(fd) == 0 && ok;
}

// Gives this process, and what it execs, its own view of the mounts in which the fixed
// media folder is the device's, read-only unless `writable` (as on a device, writing there
// takes the mediastorage privilege). Empty on success, otherwise why not.
std::string privateMedia(const std::string& dev, bool writable) {
    uid_t uid = geteuid();
    gid_t gid = getegid();
    if (unshare(CLONE_NEWNS) != 0) {
        std::string why = std::string("unshare: ") + strerror(errno);
        // Without privilege, a user namespace that maps only this user grants the mount.
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return why;
        if (!writeAll("/proc/self/setgroups", "deny") ||
            !writeAll("/proc/self/uid_map",
                      std::to_string(uid) + " " + std::to_string(uid) + " 1") ||
            !writeAll("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1"))
            return "cannot map the user into a user namespace";
    }
    // Mounts made here must not reach the rest of the system.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_SLAVE, nullptr) != 0)
        return std::string("cannot make / a slave mount: ") + strerror(errno);
    // Made where the machine has none on a scratch mount, seen only here: nothing outside
    // the device is written.
    std::string why;
    if (!devkit::makeMountPoint(kSystemMedia, &why)) return why;
    std::string media = device::mediaDir(dev);
    if (mount(media.c_str(), kSystemMedia, nullptr, MS_BIND | MS_REC, nullptr) != 0)
        return "cannot mount " + media + " on " + kSystemMedia + ": " + strerror(errno);
    if (writable) return "";
    // A remount must keep the flags the mount already has (locked in a user namespace).
    struct statvfs sv;
    if (statvfs(kSystemMedia, &sv) != 0) return std::string("statvfs: ") + strerror(errno);
    unsigned long flags = MS_REMOUNT | MS_BIND | MS_RDONLY;
    const unsigned long kept[][2] = {{ST_NOSUID, MS_NOSUID},         {ST_NODEV, MS_NODEV},
                                     {ST_NOEXEC, MS_NOEXEC},         {ST_NOATIME, MS_NOATIME},
                                     {ST_NODIRATIME, MS_NODIRATIME}, {ST_RELATIME, MS_RELATIME}};
    for (const auto& k : kept)
        if (sv.f_flag & k[0]) flags |= k[1];
    if (mount(nullptr, kSystemMedia, nullptr, flags, nullptr) != 0)
        return std::string("cannot make ") + kSystemMedia + " read-only: " + strerror(errno);
    return "";
}

int cmdLaunch(const std::string& dev, const std::string& appId,
              const std::vector<std::string>& args) {
    device::Package pkg;
    device::AppEntry app;
    if (device::findApp(appId, &pkg, &app) != device::OK)
        return fail("no application " + appId + " is installed", 127);
    if (app.exec.empty() || app.exec.find('/') != std::string::npos || app.exec == "." ||
        app.exec == "..")
        return fail("application " + appId + " has no valid exec in its manifest", 127);
    std::string exe = pkg.root + "bin/" + app.exec;
    if (access(exe.c_str(), X_OK) != 0)
        return fail("cannot start " + appId + ": " + exe + ": " + strerror(errno), 127);

    setenv(env::kAppId, appId.c_str(), 1);
    // Started from the home screen: no launch request of another app's.
    unsetenv(env::kAppControl);
    std::string why = privateMedia(dev, pkg.hasPrivilege(kMediaPrivilege));
    if (!why.empty())
        fail("no private media folder for this run (" + why + "): the app sees the system's own " +
             kSystemMedia + ", which is never made here");

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(exe.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    signal(SIGPIPE, SIG_DFL);  // ignored only by the tool itself
    execv(exe.c_str(), argv.data());
    return fail("cannot start " + appId + ": " + exe + ": " + strerror(errno), 127);
}

int cmdControl(const std::string& dev, const std::string& appId, const std::string& message) {
    int pid = device::runningPid(dev, appId);
    if (pid == 0) return fail(appId + " is not running");
    device::Status st = device::sendControl(dev, appId, message);
    if (st == device::OK) return 0;
    if (st == device::NOT_FOUND && message == "terminate") {
        if (kill(pid, SIGTERM) == 0) return 0;
        return fail("cannot terminate " + appId + ": " + strerror(errno));
    }
    if (st == device::NOT_FOUND) return fail(appId + " reads no control messages");
    return fail("cannot send \"" + message + "\" to " + appId);
}

bool fileExists(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0;
}

// The app writes the picture, then the listing, which appears whole; a window on a
// display has no pixels to read, so only the listing comes.
int cmdSnapshot(const std::string& dev, const std::string& appId, const std::string& base) {
    std::string txt = base + ".txt", png = base + ".png";
    unlink(txt.c_str());
    unlink(png.c_str());
    int r = cmdControl(dev, appId, "snapshot " + base);
    if (r != 0) return r;
    devkit::waitFor([&] { return fileExists(txt) || device::runningPid(dev, appId) == 0; }, 20000,
                    50);
    if (fileExists(txt)) {
        std::cout << txt << "\n";
        if (!fileExists(png))
            return fail("no picture of " + appId + "'s window (headless runs only)");
        std::cout << png << "\n";
        return 0;
    }
    return fail("no snapshot came from " + appId);
}

int parsePriority(const std::string& s) {
    if (s.size() == 1 && s[0] >= '2' && s[0] <= '7') return s[0] - '0';
    int p = s.size() == 1 ? logfmt::priorityOf(s[0]) : -1;
    return p >= 2 && p <= 7 ? p : -1;  // no filter lets "S" (silent) lines only through
}

// The device's log and journal are read as they were when opened: only a regular file,
// never through a link and never waiting on a FIFO. Answers the descriptor and the size
// to read, -1 when there is no file, -2 (after saying why) when something else is there.
int openDeviceLog(const std::string& path, off_t* size) {
    int fd = device::openRegularFile(path, size);
    if (fd < 0 && errno == ENOENT) return -1;
    if (fd < 0) {
        fail(path + " is not a regular file");
        return -2;
    }
    return fd;
}

// What the output took; a reader that went away is reported, not died of.
int flushed() {
    std::cout.flush();
    return std::cout ? 0 : fail(std::string("cannot write the output: ") + strerror(errno));
}

int cmdLog(const std::string& dev, const std::vector<std::string>& args) {
    std::set<std::string> tags;
    int minPrio = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if ((a == "--tag" || a == "--priority") && i + 1 >= args.size())
            return usage(a + " needs a value");
        if (a == "--tag") {
            tags.insert(args[++i]);
        } else if (a == "--priority") {
            minPrio = parsePriority(args[++i]);
            if (minPrio < 0)
                return usage("unknown priority " + args[i] + " (one of V D I W E F, or 2-7)");
        } else {
            return usage("unknown log option " + a);
        }
    }
    off_t left = 0;
    int fd = openDeviceLog(device::logFile(dev), &left);
    if (fd == -2) return 1;
    auto wanted = [&](const std::string& line) {
        int prio = 0;
        std::string tag;
        if (!logfmt::parse(line, &prio, &tag)) return tags.empty() && minPrio == 0;
        return (tags.empty() || tags.count(tag)) && prio >= minPrio;
    };
    // The platform writes lines of a few KiB: a longer one is no log line and is left out.
    const size_t kMaxLine = 16384;
    std::string line;
    bool overlong = false;
    char buf[65536];
    ssize_t n = 0;
    while (fd >= 0 && left > 0 && (n = read(fd, buf, std::min<off_t>(left, sizeof buf))) > 0) {
        left -= n;
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] != '\n') {
                overlong = overlong || line.size() == kMaxLine;
                if (!overlong) line.push_back(buf[i]);
                if (i + 1 < n || left > 0) continue;  // the last line may have no line feed
            }
            if (!overlong && wanted(line)) std::cout << line << "\n";
            line.clear();
            overlong = false;
        }
    }
    if (fd >= 0) close(fd);
    return flushed();
}

int cmdJournal(const std::string& dev) {
    off_t left = 0;
    int fd = openDeviceLog(device::journalFile(dev), &left);
    if (fd == -2) return 1;
    char buf[65536];
    ssize_t n = 0;
    while (fd >= 0 && left > 0 && std::cout &&
           (n = read(fd, buf, std::min<off_t>(left, sizeof buf))) > 0) {
        std::cout.write(buf, n);
        left -= n;
    }
    if (fd >= 0) close(fd);
    return flushed();
}

bool oneLine(const std::string& s) { return s.find_first_of("\r\n") == std::string::npos; }

}  // namespace

int main(int argc, char** argv) {
    // A write to an app that ends meanwhile, or to a reader of the output that went away,
    // fails and is reported rather than ending the tool.
    signal(SIGPIPE, SIG_IGN);
    // The tool's own options come before the device, "--" ends them: what follows the
    // command, an app's arguments among it, is never read as one.
    std::vector<std::string> a(argv + 1, argv + argc);
    size_t options = 0;
    while (options < a.size() && a[options].size() > 1 && a[options][0] == '-') {
        const std::string& o = a[options++];
        if (o == "--") break;
        if (o != "--help" && o != "-h") return usage("unknown option " + o);
        std::cout << kUsage;
        return flushed();
    }
    a.erase(a.begin(), a.begin() + options);
    if (a.size() < 2) return usage(a.empty() ? "no device folder given" : "no command given");
    const std::string shown = a[0], cmd = a[1];
    const std::string dev = absolute(shown);
    std::vector<std::string> rest(a.begin() + 2, a.end());

    if (cmd == "create")
        return rest.empty() ? cmdCreate(dev, shown) : usage("create takes no arguments");

    struct Command {
        const char* name;
        size_t minArgs, maxArgs;
    };
    static const Command kCommands[] = {
        {"install", 1, 1}, {"uninstall", 1, 1}, {"list", 0, 0},       {"launch", 1, SIZE_MAX},
        {"pause", 1, 1},   {"resume", 1, 1},    {"terminate", 1, 1},  {"tap", 2, 2},
        {"key", 2, 2},     {"snapshot", 2, 2},  {"log", 0, SIZE_MAX}, {"journal", 0, 0},
    };
    const Command* found = nullptr;
    for (const Command& c : kCommands)
        if (cmd == c.name) found = &c;
    if (!found) return usage("unknown command " + cmd);
    if (rest.size() < found->minArgs || rest.size() > found->maxArgs)
        return usage("wrong number of arguments for " + cmd);
    int failStatus = cmd == "launch" ? 127 : 1;
    if (!device::isDevice(dev)) return fail(shown + " is not a device folder", failStatus);
    // The device model's lookups, and every app started from here, find the device here.
    setenv(env::kDevice, dev.c_str(), 1);
    // A change a crash or a failure cut short is finished before anything else; what
    // cannot be finished now is said, and waits.
    std::string why;
    if (device::recoverDevice(dev, &why) != device::OK) warn(why);

    if (cmd == "install") return cmdInstall(dev, rest[0]);
    if (cmd == "uninstall") return cmdUninstall(dev, rest[0]);
    if (cmd == "list") return cmdList(dev);
    if (cmd == "launch")
        return cmdLaunch(dev, rest[0], std::vector<std::string>(rest.begin() + 1, rest.end()));
    if (cmd == "log") return cmdLog(dev, rest);
    if (cmd == "journal") return cmdJournal(dev);
    for (const std::string& s : rest)
        if (!oneLine(s)) return usage("a control message is one line");
    if (cmd == "tap" || cmd == "key") return cmdControl(dev, rest[0], cmd + " " + rest[1]);
    if (cmd == "snapshot") return cmdSnapshot(dev, rest[0], absolute(rest[1]));
    return cmdControl(dev, rest[0], cmd);
}
