// SPDX-License-Identifier: Apache-2.0
// Installing, upgrading and uninstalling packages, all or nothing even under kill -9.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>

#include <vector>

#include "device_internal.h"
#include "environment.h"
#include "files.h"
#include "scoped_fd.h"

namespace device {

// Changing what is installed. Only one change runs at a time on a device (a lock),
// and each first writes an intent record, "install <pkgid>" or "uninstall <pkgid>".
// Every later change, and every command of the device tool, first finishes a change
// a crash left half done: forwards, since the new package is complete before the
// record is written. Around the swap, opt/usr/apps holds .staging-<pkgid> (the new
// version being built) and .old-<pkgid> (the version being replaced or removed).
namespace {

std::string intentFile(const std::string& dev) { return databaseDir(dev) + ".intent"; }

bool writeIntent(const std::string& dev, const std::string& intent) {
    return makeDirs(databaseDir(dev)) && writeFileAtomic(intentFile(dev), intent + "\n");
}

// Tests stop the process here, by name, to prove that every step can be recovered.
void stopPoint(const char* step) {
    const char* at = env::testKillAt();
    if (at && strcmp(at, step) == 0) raise(SIGKILL);
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
        mFd.reset(open(packagesDir(dev).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        while (mFd.valid() && flock(mFd.get(), LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    bool held() const { return mFd.valid(); }

private:
    ScopedFd mFd;
};

// The last step of a change, once it is recorded: the replaced version goes, then the intent.
Status cleanUp(const std::string& dev, const Paths& p, std::string* err) {
    if (!removeTree(p.old, err)) return IO_FAILED;
    stopPoint("cleaned");
    unlink(intentFile(dev).c_str());
    return OK;
}

// Puts the package staged (or already swapped in) in place and records it.
Status finishInstall(const std::string& dev, const std::string& pkgId, std::string* err) {
    Paths p(dev, pkgId);
    if (isDir(p.staging)) {
        if (isDir(p.target)) {
            bool moved = exists(p.old) ? removeTree(p.target, err)
                                       : rename(p.target.c_str(), p.old.c_str()) == 0;
            if (!moved)
                return fail(err, "cannot replace " + p.target + ": " + strerror(errno), IO_FAILED);
        }
        stopPoint("moved");
        if (rename(p.staging.c_str(), p.target.c_str()) != 0) {
            std::string why = strerror(errno);
            if (exists(p.old)) rename(p.old.c_str(), p.target.c_str());
            return fail(err, "cannot install " + p.target + ": " + why, IO_FAILED);
        }
        stopPoint("swapped");
    } else if (!isDir(p.target) && isDir(p.old)) {
        // Nothing to swap in any more: keep the version there was.
        rename(p.old.c_str(), p.target.c_str());
    }
    Package pkg;
    std::string why;
    if (parseManifest(p.target + "/" + kManifest, &pkg, &why) != OK || pkg.pkgId != pkgId)
        return fail(err, "cannot record " + pkgId + ": " + why, IO_FAILED);
    if (!writeDatabaseEntry(dev, pkg) || !indexApps(dev, pkgId, &pkg))
        return fail(err, "cannot record " + pkgId + " in the package database: " + strerror(errno),
                    IO_FAILED);
    stopPoint("recorded");
    return cleanUp(dev, p, err);
}

Status finishUninstall(const std::string& dev, const std::string& pkgId, std::string* err) {
    Paths p(dev, pkgId);
    if (isDir(p.target)) {
        if (exists(p.old) && !removeTree(p.old, err)) return IO_FAILED;
        if (rename(p.target.c_str(), p.old.c_str()) != 0)
            return fail(err, "cannot remove " + p.target + ": " + strerror(errno), IO_FAILED);
    }
    stopPoint("moved");
    if ((unlink(databaseEntry(dev, pkgId).c_str()) != 0 && errno != ENOENT) ||
        !indexApps(dev, pkgId, nullptr))
        return fail(err,
                    "cannot remove " + pkgId + " from the package database: " + strerror(errno),
                    IO_FAILED);
    stopPoint("recorded");
    return cleanUp(dev, p, err);
}

// Finishes what the intent record names, then clears what no change owns any more:
// a staging copy was never swapped in; an old version without its package is one
// a crash took out before any record existed, and goes back.
Status recoverLocked(const std::string& dev, std::string* err) {
    std::string intent;
    if (readSmallFile(intentFile(dev), 512, &intent)) {
        while (!intent.empty() && intent.back() == '\n') intent.pop_back();
        size_t sp = intent.find(' ');
        std::string op = intent.substr(0, sp),
                    pkgId = sp == std::string::npos ? "" : intent.substr(sp + 1);
        Status st = OK;
        if (!isSafeId(pkgId))
            unlink(intentFile(dev).c_str());
        else if (op == "install")
            st = finishInstall(dev, pkgId, err);
        else if (op == "uninstall")
            st = finishUninstall(dev, pkgId, err);
        else
            unlink(intentFile(dev).c_str());
        if (st != OK) return st;
    }
    DIR* d = opendir(packagesDir(dev).c_str());
    if (!d) return OK;
    std::vector<std::string> stale;
    while (struct dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n.rfind(".staging-", 0) == 0 || n.rfind(".old-", 0) == 0) stale.push_back(n);
    }
    closedir(d);
    for (const std::string& n : stale) {
        std::string path = packagesDir(dev) + n;
        std::string pkgId = n.substr(n.find('-') + 1);
        if (n[1] == 'o' && isSafeId(pkgId) && !exists(packagesDir(dev) + pkgId) &&
            rename(path.c_str(), (packagesDir(dev) + pkgId).c_str()) == 0)
            continue;
        if (!removeTree(path, err)) return IO_FAILED;
    }
    return OK;
}

}  // namespace

Status recoverDevice(const std::string& dev, std::string* err) {
    if (!isDevice(dev)) return fail(err, dev + " is not a device folder", NO_DEVICE);
    DeviceLock lock(dev);
    if (!lock.held()) return fail(err, "cannot lock " + dev + ": " + strerror(errno), IO_FAILED);
    return recoverLocked(dev, err);
}

Status installPackage(const std::string& dev, const std::string& srcDir, Package* installed,
                      std::string* err) {
    if (!isDevice(dev)) return fail(err, dev + " is not a device folder", NO_DEVICE);
    Package pkg;
    Status st = parseManifest(srcDir + "/" + kManifest, &pkg, err);
    if (st != OK) return st;
    DeviceLock lock(dev);
    if (!lock.held()) return fail(err, "cannot lock " + dev + ": " + strerror(errno), IO_FAILED);
    if ((st = recoverLocked(dev, err)) != OK) return st;
    // An app id belongs to one package: no package may take over another's.
    std::vector<Package> all;
    listPackages(dev, &all);
    for (const Package& other : all)
        for (const AppEntry& a : pkg.apps)
            if (other.pkgId != pkg.pkgId && other.findApp(a.appId))
                return fail(err, "app id " + a.appId + " belongs to package " + other.pkgId,
                            BAD_MANIFEST);
    Paths p(dev, pkg.pkgId);
    bool copied = copyTree(srcDir, p.staging, err);
    for (const char* sub : {"bin", "lib", "res", "shared", "shared/res", "shared/data",
                            "shared/trusted", "data", "cache"}) {
        if (!copied) break;
        if (!makeDirs(p.staging + "/" + sub)) {
            copied = false;
            fail(err, std::string("cannot create ") + sub + ": " + strerror(errno), IO_FAILED);
        }
    }
    if (!copied) {
        removeTree(p.staging);
        return IO_FAILED;
    }
    stopPoint("copied");
    if (!writeIntent(dev, "install " + pkg.pkgId)) {
        std::string why = strerror(errno);
        removeTree(p.staging);
        return fail(err, "cannot write " + intentFile(dev) + ": " + why, IO_FAILED);
    }
    stopPoint("intent");
    if ((st = finishInstall(dev, pkg.pkgId, err)) != OK) {
        // Not swapped in: the device keeps what it had.
        if (isDir(p.staging)) {
            removeTree(p.staging);
            unlink(intentFile(dev).c_str());
        }
        return st;
    }
    pkg.root = p.target + "/";
    if (installed) *installed = pkg;
    return OK;
}

Status uninstallPackage(const std::string& dev, const std::string& pkgId, std::string* err) {
    if (!isDevice(dev)) return fail(err, dev + " is not a device folder", NO_DEVICE);
    DeviceLock lock(dev);
    if (!lock.held()) return fail(err, "cannot lock " + dev + ": " + strerror(errno), IO_FAILED);
    Status st = recoverLocked(dev, err);
    if (st != OK) return st;
    if (!isSafeId(pkgId) || !isDir(packageDir(dev, pkgId)))
        return fail(err, "package " + pkgId + " is not installed", NOT_FOUND);
    if (!writeIntent(dev, "uninstall " + pkgId))
        return fail(err, "cannot write " + intentFile(dev) + ": " + strerror(errno), IO_FAILED);
    stopPoint("intent");
    return finishUninstall(dev, pkgId, err);
}
}  // namespace device
