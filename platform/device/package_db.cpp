// SPDX-License-Identifier: Apache-2.0
// The package database: what installation learnt from a manifest, one entry per
// package, so that queries need not parse XML (and load the XML library) each time.
// Lines of "name=value", values escaped; an app is one line of tab-separated fields.
// The format stays as it is: devices installed before keep these files, and a key file
// would need a second reader for them without saying more.
// Beside it, the app-id index: which package owns each app id. Lookups of installed
// packages and apps go through here.
#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include <vornix/device/files.h>

#include "device_internal.h"

namespace device {

namespace {

std::string escapeField(const std::string& v) {
    std::string out;
    for (char c : v) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::vector<std::string> unescapeFields(const std::string& line) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\' && i + 1 < line.size()) {
            char n = line[++i];
            fields.back() += n == 'n' ? '\n' : n == 't' ? '\t' : n == 'r' ? '\r' : n;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

// Which package owns an app id: one small file per app id holding the package id.
std::string appIndexDir(const std::string& dev) { return dev + "/var/lib/appids/"; }

// An entry holds no more than its manifest gave; anything larger was not written by us.
const size_t kMaxEntry = 2 * kMaxManifest;

// False when there is no entry, or one older than the manifest (edited by hand).
bool readDatabaseEntry(const std::string& dev, const std::string& pkgId, Package* out) {
    std::string path = databaseEntry(dev, pkgId);
    struct stat entry, manifest;
    if (stat(path.c_str(), &entry) != 0 ||
        stat((packageDir(dev, pkgId) + kManifest).c_str(), &manifest) != 0 ||
        entry.st_mtim.tv_sec < manifest.st_mtim.tv_sec ||
        (entry.st_mtim.tv_sec == manifest.st_mtim.tv_sec &&
         entry.st_mtim.tv_nsec < manifest.st_mtim.tv_nsec))
        return false;
    std::string text;
    if (!readSmallFile(path, kMaxEntry, &text)) return false;
    Package pkg = parseDatabaseEntry(text);
    if (pkg.pkgId != pkgId) return false;
    *out = pkg;
    return true;
}

std::string appOwner(const std::string& dev, const std::string& appId) {
    std::string owner;
    if (!isSafeId(appId) || !readSmallFile(appIndexDir(dev) + appId, 256, &owner)) return "";
    while (!owner.empty() && owner.back() == '\n') owner.pop_back();
    return isSafeId(owner) ? owner : "";
}

}  // namespace

std::string formatDatabaseEntry(const Package& pkg) {
    std::string text = "package=" + escapeField(pkg.pkgId) + "\n";
    if (pkg.hasVersion) text += "version=" + escapeField(pkg.version) + "\n";
    text += "api-version=" + escapeField(pkg.apiVersion) + "\n";
    text += "label=" + escapeField(pkg.label) + "\n";
    for (const std::string& p : pkg.privileges) text += "privilege=" + escapeField(p) + "\n";
    for (const AppEntry& a : pkg.apps)
        text += "app=" + escapeField(a.appId) + "\t" + escapeField(a.kind) + "\t" +
                escapeField(a.type) + "\t" + escapeField(a.exec) + "\t" + (a.hasLabel ? "1" : "0") +
                "\t" + escapeField(a.label) + "\t" + escapeField(a.icon) + "\t" +
                (a.nodisplay ? "1" : "0") + "\n";
    return text;
}

Package parseDatabaseEntry(const std::string& text) {
    Package pkg;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string l = text.substr(at, end - at);
        at = end + 1;
        size_t eq = l.find('=');
        if (eq == std::string::npos) continue;
        std::string name = l.substr(0, eq);
        std::vector<std::string> v = unescapeFields(l.substr(eq + 1));
        if (name == "package")
            pkg.pkgId = v[0];
        else if (name == "version")
            pkg.version = v[0], pkg.hasVersion = true;
        else if (name == "api-version")
            pkg.apiVersion = v[0];
        else if (name == "label")
            pkg.label = v[0];
        else if (name == "privilege")
            pkg.privileges.push_back(v[0]);
        else if (name == "app" && v.size() == 8) {
            AppEntry a;
            a.appId = v[0], a.kind = v[1], a.type = v[2], a.exec = v[3];
            a.hasLabel = v[4] == "1", a.label = v[5], a.icon = v[6], a.nodisplay = v[7] == "1";
            pkg.apps.push_back(a);
        }
    }
    return pkg;
}

// Every app id of the recorded version the new one drops, and every app id it adds, in
// the index first, then the entry: until the entry is replaced, it names the app ids the
// index may still hold for the package, so a record cut short is made again whole. One
// sync of the file system before the entry makes the index, and the package's files
// copied before it, lasting. An app id is never taken from the installed package that
// declares it.
bool recordPackage(const std::string& dev, const std::string& pkgId, const Package* pkg) {
    static const std::vector<AppEntry> none;
    const std::vector<AppEntry>& apps = pkg ? pkg->apps : none;
    std::string dir = appIndexDir(dev), entry = databaseEntry(dev, pkgId), text;
    if (!makeDirs(dir) || !makeDirs(databaseDir(dev))) return false;
    std::unordered_set<std::string> kept;
    for (const AppEntry& a : apps) kept.insert(a.appId);
    bool ok = true;
    if (readSmallFile(entry, kMaxEntry, &text))
        for (const AppEntry& a : parseDatabaseEntry(text).apps)
            if (!kept.count(a.appId) && appOwner(dev, a.appId) == pkgId)
                ok = (unlink((dir + a.appId).c_str()) == 0 || errno == ENOENT) && ok;
    std::unordered_map<std::string, Package> owners;  // other packages the index names
    for (const AppEntry& a : apps) {
        std::string owner = appOwner(dev, a.appId);
        if (owner == pkgId) continue;
        if (!owner.empty() && !owners.count(owner)) loadPackage(dev, owner, &owners[owner]);
        if (!owner.empty() && owners[owner].findApp(a.appId)) continue;
        ok = writeFileAtomic(dir + a.appId, pkgId + "\n", false) && ok;
    }
    if (!ok || !syncFileSystem(dir)) return false;
    if (pkg) return writeFileAtomic(entry, formatDatabaseEntry(*pkg));
    return unlink(entry.c_str()) == 0 || errno == ENOENT;
}

Status loadPackage(const std::string& dev, const std::string& pkgId, Package* out) {
    if (!isSafeId(pkgId)) return NOT_FOUND;
    std::string dir = packageDir(dev, pkgId);
    Package pkg;
    if (!readDatabaseEntry(dev, pkgId, &pkg)) {
        Status st = parseManifest(dir + kManifest, &pkg, nullptr);
        if (st != OK) return st == BAD_MANIFEST ? BAD_MANIFEST : NOT_FOUND;
        if (pkg.pkgId != pkgId) return BAD_MANIFEST;
    }
    pkg.root = dir;
    *out = pkg;
    return OK;
}

Status findPackage(const std::string& pkgId, Package* out) {
    std::string dev = root();
    if (!isDevice(dev)) return NO_DEVICE;
    return loadPackage(dev, pkgId, out);
}

Status listPackages(const std::string& dev, std::vector<Package>* out) {
    if (!isDevice(dev)) return NO_DEVICE;
    out->clear();
    DIR* d = opendir(packagesDir(dev).c_str());
    if (!d) return OK;
    std::vector<std::string> names;
    while (struct dirent* e = readdir(d))
        if (isSafeId(e->d_name)) names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        Package p;
        if (loadPackage(dev, n, &p) == OK) out->push_back(p);
    }
    return OK;
}

// An app id is answered only by the package the database says owns it.
Status findApp(const std::string& appId, Package* pkg, AppEntry* app) {
    std::string dev = root();
    if (!isDevice(dev)) return NO_DEVICE;
    std::string owner = appOwner(dev, appId);
    Package p;
    if (owner.empty() || loadPackage(dev, owner, &p) != OK) return NOT_FOUND;
    const AppEntry* a = p.findApp(appId);
    if (!a) return NOT_FOUND;
    if (app) *app = *a;
    if (pkg) *pkg = p;
    return OK;
}

Status currentApp(Package* pkg, AppEntry* app) {
    std::string id = currentAppId();
    if (id.empty()) return NO_CONTEXT;
    Status st = findApp(id, pkg, app);
    return st == OK || st == NO_DEVICE ? st : NO_CONTEXT;
}

}  // namespace device
