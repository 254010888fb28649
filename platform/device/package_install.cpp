// SPDX-License-Identifier: Apache-2.0
// Installing, upgrading and uninstalling packages, all or nothing even under kill -9.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <unordered_map>
#include <vector>

#include <vornix/device/environment.h>
#include <vornix/device/files.h>
#include <vornix/device/scoped_fd.h>

#include "device_internal.h"

namespace device {

// Changing what is installed. Only one change runs at a time on a device (a lock).
// An install is first prepared, and leaves no trace when it is refused: the package
// folder is copied to opt/usr/apps/.staging, the manifest of that copy (the one that is
// installed, whatever the folder holds by then) is read and checked, and the copy
// becomes .staging-<pkgid>. The package's running apps are ended. Then an intent
// record, var/lib/packages/.intent-<pkgid> holding "install <pkgid>" or "uninstall
// <pkgid>", makes the change stand: from there it only goes forwards. The installed
// version moves to .old-<pkgid>, its data into the new version, which takes its place;
// the package database records it; .old-<pkgid> goes, then the record. A step that
// fails leaves the record, and every later command first finishes what records name;
// one that cannot finish holds up only changes to its own package (an uninstall
// replaces it). Once the database is written, a failure to remove .old-<pkgid> is no
// reason to undo anything: a later command removes it.
namespace {

const char kIntent[] = ".intent";
// What every package has, even when its folder lacks it.
const char* const kFolders[] = {
    "bin", "lib", "res", "shared", "shared/res", "shared/data", "shared/trusted", "data", "cache"};
// The app's own data, which an upgrade keeps (cache/ starts empty).
const char* const kKept[] = {"data", "shared/data", "shared/trusted"};
// How long an app may take to end when asked, before it is killed.
const int kEndAppMs = 3000;

// Tests stop the process here, by name: killed, to prove that every step can be
// recovered, or stopped (SIGSTOP), to act at that point before it goes on.
void stopPoint(const char* step) {
    const char* at = env::testKillAt();
    if (at && strcmp(at, step) == 0) raise(SIGKILL);
    at = env::testStopAt();
    if (at && strcmp(at, step) == 0) raise(SIGSTOP);
}

struct Paths {
    std::string target, staging, old;
    Paths(const std::string& dev, const std::string& pkgId)
        : target(packagesDir(dev) + pkgId),
          staging(packagesDir(dev) + ".staging-" + pkgId),
          old(packagesDir(dev) + ".old-" + pkgId) {}
};

class DeviceLock {
public:
    // The packages folder itself is locked: a refused change leaves no trace.
    explicit DeviceLock(const std::string& dev) {
        if (!makeDirs(packagesDir(dev))) return;
        ScopedFd fd(open(packagesDir(dev).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        int locked = -1;
        while (fd.valid() && (locked = flock(fd.get(), LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (locked == 0) mFd.reset(fd.release());
    }
    // False when the lock is not taken; errno says why.
    bool held() const { return mFd.valid(); }

private:
    ScopedFd mFd;
};

// A change an intent record names.
struct Intent {
    std::string file, op, pkgId;
};

std::vector<Intent> readIntents(const std::string& dev) {
    std::vector<Intent> out;
    std::string dir = databaseDir(dev);
    DIR* d = opendir(dir.c_str());
    while (struct dirent* e = d ? readdir(d) : nullptr) {
        std::string name = e->d_name, text;
        if (name.rfind(kIntent, 0) != 0 || !readSmallFile(dir + name, 512, &text)) continue;
        while (!text.empty() && text.back() == '\n') text.pop_back();
        size_t sp = text.find(' ');
        Intent in = {dir + name, text.substr(0, sp),
                     sp == std::string::npos ? "" : text.substr(sp + 1)};
        // A record's temporary copy, left by a process killed while writing it, has a name
        // of its own after the record's: it was never made.
        if (name == std::string(kIntent) + "-" + in.pkgId) out.push_back(in);
    }
    if (d) closedir(d);
    return out;
}

bool writeIntent(const std::string& dev, const Intent& in) {
    return makeDirs(databaseDir(dev)) && writeFileAtomic(in.file, in.op + " " + in.pkgId + "\n");
}

Intent intentTo(const std::string& dev, const char* op, const std::string& pkgId) {
    return {databaseDir(dev) + kIntent + "-" + pkgId, op, pkgId};
}

// The last step, once the change is recorded: the replaced version goes, then the
// intent. What cannot be removed now is left for a later command (UNFINISHED).
Status cleanUp(const Intent& in, const Paths& p, std::string* err) {
    bool removed = removeTree(p.old, err);
    stopPoint("cleaned");
    unlink(in.file.c_str());
    return removed ? OK : UNFINISHED;
}

// The installed version's data, left in .old, takes the place of the new one's.
Status carryData(const Paths& p, std::string* err) {
    for (const char* sub : kKept) {
        std::string from = p.old + "/" + sub, to = p.staging + "/" + sub;
        if (!exists(from)) continue;  // carried already, or the old version had none
        if (!removeTree(to, err)) return IO_FAILED;
        if (rename(from.c_str(), to.c_str()) != 0)
            return fail(err, "cannot keep " + from + ": " + strerror(errno), IO_FAILED);
    }
    return OK;
}

// Puts the package staged (or already swapped in) in place and records it: `staged`
// as read before the intent was written, or, in recovery, as its manifest says.
Status finishInstall(const std::string& dev, const Intent& in, const Package* staged,
                     std::string* err) {
    Paths p(dev, in.pkgId);
    if (isDir(p.staging)) {
        if (isDir(p.target)) {
            if (exists(p.old) && !removeTree(p.old, err)) return IO_FAILED;
            if (rename(p.target.c_str(), p.old.c_str()) != 0)
                return fail(err, "cannot replace " + p.target + ": " + strerror(errno), IO_FAILED);
        }
        stopPoint("moved");
        if (carryData(p, err) != OK) return IO_FAILED;
        stopPoint("carried");
        if (rename(p.staging.c_str(), p.target.c_str()) != 0)
            return fail(err, "cannot install " + p.target + ": " + strerror(errno), IO_FAILED);
        stopPoint("swapped");
    } else if (!isDir(p.target) && isDir(p.old) && rename(p.old.c_str(), p.target.c_str()) != 0) {
        // Nothing to swap in any more: the version there was goes back.
        return fail(err, "cannot put back " + p.target + ": " + strerror(errno), IO_FAILED);
    }
    Package read;
    std::string why = "its manifest names another package";
    if (!staged &&
        (parseManifest(p.target + "/" + kManifest, &read, &why) != OK || read.pkgId != in.pkgId))
        return fail(err, "cannot record " + in.pkgId + ": " + why, IO_FAILED);
    if (!recordPackage(dev, in.pkgId, staged ? staged : &read))
        return fail(err,
                    "cannot record " + in.pkgId + " in the package database: " + strerror(errno),
                    IO_FAILED);
    stopPoint("recorded");
    return cleanUp(in, p, err);
}

// Takes the package (and a staged version of an install this replaces) out, and
// forgets it.
Status finishUninstall(const std::string& dev, const Intent& in, std::string* err) {
    Paths p(dev, in.pkgId);
    if (exists(p.staging) && !removeTree(p.staging, err)) return IO_FAILED;
    if (isDir(p.target)) {
        if (exists(p.old) && !removeTree(p.old, err)) return IO_FAILED;
        if (rename(p.target.c_str(), p.old.c_str()) != 0)
            return fail(err, "cannot remove " + p.target + ": " + strerror(errno), IO_FAILED);
    }
    stopPoint("moved");
    if (!recordPackage(dev, in.pkgId, nullptr))
        return fail(err,
                    "cannot remove " + in.pkgId + " from the package database: " + strerror(errno),
                    IO_FAILED);
    stopPoint("recorded");
    return cleanUp(in, p, err);
}

// Finishes `in`: OK, UNFINISHED when only its clean-up is left, IO_FAILED when the
// change itself waits (its record stays); `err` gets a line saying so.
Status finish(const std::string& dev, const Intent& in, const Package* staged, std::string* err) {
    std::string why;
    Status st =
        in.op == "install" ? finishInstall(dev, in, staged, &why) : finishUninstall(dev, in, &why);
    if (st == IO_FAILED) why = "the " + in.op + " of " + in.pkgId + " is not finished: " + why;
    return st == OK ? OK : fail(err, why, st);
}

// For each package whose change waits, what says so.
using Unfinished = std::map<std::string, std::string>;

// Finishes what the intent records name, then removes what no change owns any more:
// a copy that was never swapped in, an old version whose change is done. `notes` gets
// a line for each thing left for later.
Unfinished recoverLocked(const std::string& dev, std::vector<std::string>* notes) {
    Unfinished unfinished;
    for (const Intent& in : readIntents(dev)) {
        std::string why;
        if (!isSafeId(in.pkgId) || (in.op != "install" && in.op != "uninstall")) {
            unlink(in.file.c_str());
            continue;
        }
        Status st = finish(dev, in, nullptr, &why);
        if (st != OK) notes->push_back(why);
        if (st == IO_FAILED) unfinished[in.pkgId] = why;
    }
    DIR* d = opendir(packagesDir(dev).c_str());
    std::vector<std::string> stale;
    while (struct dirent* e = d ? readdir(d) : nullptr) {
        std::string n = e->d_name;
        size_t dash = n.find('-');
        std::string pkgId = dash == std::string::npos ? "" : n.substr(dash + 1);
        if ((n.rfind(".staging", 0) == 0 || n.rfind(".old-", 0) == 0) && !unfinished.count(pkgId))
            stale.push_back(packagesDir(dev) + n);
    }
    if (d) closedir(d);
    for (const std::string& path : stale) {
        std::string why;
        if (!removeTree(path, &why)) notes->push_back(why);
    }
    return unfinished;
}

std::string lines(const std::vector<std::string>& notes) {
    std::string text;
    for (const std::string& n : notes) text += (text.empty() ? "" : "\n") + n;
    return text;
}

// Copies the package folder to `copy` and reads the manifest of the copy.
Status stage(const std::string& srcDir, const std::string& copy, Package* pkg, std::string* err) {
    if (!copyTree(srcDir, copy, err)) return IO_FAILED;
    for (const char* sub : kFolders)
        if (!makeDirs(copy + "/" + sub))
            return fail(err, std::string("cannot create ") + sub + ": " + strerror(errno),
                        IO_FAILED);
    return parseManifest(copy + "/" + kManifest, pkg, err, srcDir + "/" + kManifest);
}

// Whether `pkg` may be installed: it declares no app id of another package's, and no
// change of its own waits. `old` gets the installed version, when there is one.
Status check(const std::string& dev, const Package& pkg, const Unfinished& unfinished, Package* old,
             std::string* err) {
    auto waiting = unfinished.find(pkg.pkgId);
    if (waiting != unfinished.end()) return fail(err, waiting->second, IO_FAILED);
    std::vector<Package> all;
    listPackages(dev, &all);
    std::unordered_map<std::string, const std::string*> owners;
    for (const Package& other : all) {
        if (other.pkgId == pkg.pkgId) {
            *old = other;
            continue;
        }
        for (const AppEntry& a : other.apps) owners.emplace(a.appId, &other.pkgId);
    }
    for (const AppEntry& a : pkg.apps) {
        auto owner = owners.find(a.appId);
        if (owner != owners.end())
            return fail(err, "app id " + a.appId + " belongs to package " + *owner->second,
                        BAD_MANIFEST);
    }
    return OK;
}

// Ends the running apps of the version a change replaces or removes.
Status endApps(const std::string& dev, const Package& pkg, std::string* err) {
    for (const AppEntry& a : pkg.apps)
        if (endApp(dev, a.appId, kEndAppMs) != OK)
            return fail(err, "cannot end " + a.appId + ", which still runs", IO_FAILED);
    return OK;
}

}  // namespace

Status recoverDevice(const std::string& dev, std::string* err) {
    if (!isDevice(dev)) return fail(err, dev + " is not a device folder", NO_DEVICE);
    DeviceLock lock(dev);
    if (!lock.held()) return fail(err, "cannot lock " + dev + ": " + strerror(errno), IO_FAILED);
    std::vector<std::string> notes;
    recoverLocked(dev, &notes);
    return notes.empty() ? OK : fail(err, lines(notes), UNFINISHED);
}

Status installPackage(const std::string& dev, const std::string& srcDir, Package* installed,
                      std::string* err, Package* replaced) {
    if (!isDevice(dev)) return fail(err, dev + " is not a device folder", NO_DEVICE);
    // Not a package folder: nothing is copied.
    std::string manifest = srcDir + "/" + kManifest;
    struct stat st;
    bool found = lstat(manifest.c_str(), &st) == 0;
    if (!found || !S_ISREG(st.st_mode))
        return fail(
            err,
            "cannot open " + manifest + ": " + (found ? "not a regular file" : strerror(errno)),
            NOT_FOUND);
    DeviceLock lock(dev);
    if (!lock.held()) return fail(err, "cannot lock " + dev + ": " + strerror(errno), IO_FAILED);
    std::vector<std::string> notes;
    Unfinished unfinished = recoverLocked(dev, &notes);
    std::string copy = packagesDir(dev) + ".staging";
    Package pkg, old;
    stopPoint("copying");
    Status s = stage(srcDir, copy, &pkg, err);
    if (s == OK) s = check(dev, pkg, unfinished, &old, err);
    Paths p(dev, pkg.pkgId);
    // What an earlier change could not remove must go before this one starts.
    if (s == OK && ((exists(p.old) && !removeTree(p.old, err)) ||
                    (exists(p.staging) && !removeTree(p.staging, err))))
        s = IO_FAILED;
    if (s == OK && rename(copy.c_str(), p.staging.c_str()) != 0)
        s = fail(err, "cannot stage " + p.staging + ": " + strerror(errno), IO_FAILED);
    if (s != OK) {
        removeTree(copy);
        return s;
    }
    stopPoint("copied");
    Intent in = intentTo(dev, "install", pkg.pkgId);
    if ((s = endApps(dev, old, err)) == OK && !writeIntent(dev, in))
        s = fail(err, "cannot write " + in.file + ": " + strerror(errno), IO_FAILED);
    if (s != OK) {
        removeTree(p.staging);
        return s;
    }
    stopPoint("intent");
    // From here the change stands: what is left of it waits for the next command.
    s = finish(dev, in, &pkg, err);
    pkg.root = p.target + "/";
    if (installed) *installed = pkg;
    if (replaced) *replaced = old;
    return s == OK ? OK : UNFINISHED;
}

Status uninstallPackage(const std::string& dev, const std::string& pkgId, std::string* err) {
    if (!isDevice(dev)) return fail(err, dev + " is not a device folder", NO_DEVICE);
    DeviceLock lock(dev);
    if (!lock.held()) return fail(err, "cannot lock " + dev + ": " + strerror(errno), IO_FAILED);
    std::vector<std::string> notes;
    Unfinished unfinished = recoverLocked(dev, &notes);
    if (!isSafeId(pkgId) || (!isDir(packageDir(dev, pkgId)) && !unfinished.count(pkgId)))
        return fail(err, "package " + pkgId + " is not installed", NOT_FOUND);
    Package old;
    loadPackage(dev, pkgId, &old);
    Paths p(dev, pkgId);
    if (exists(p.old) && !unfinished.count(pkgId) && !removeTree(p.old, err)) return IO_FAILED;
    Status s = endApps(dev, old, err);
    if (s != OK) return s;
    Intent in = intentTo(dev, "uninstall", pkgId);
    if (!writeIntent(dev, in))
        return fail(err, "cannot write " + in.file + ": " + strerror(errno), IO_FAILED);
    // It replaces a change of the package that waits.
    for (const Intent& other : readIntents(dev))
        if (other.pkgId == pkgId && other.file != in.file) unlink(other.file.c_str());
    stopPoint("intent");
    return finish(dev, in, nullptr, err) == OK ? OK : UNFINISHED;
}
}  // namespace device
