#include "device.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cstdio>
#include <climits>

namespace device {

namespace {

const char kMarker[] = ".vornix-device";
const char kManifest[] = "tizen-manifest.xml";

bool isDir(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool makeDirs(const std::string& path) {
    std::string cur;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        cur = path.substr(0, pos);
        if (cur.empty()) continue;
        if (mkdir(cur.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return isDir(path);
}

std::string text(xmlNode* node) {
    xmlChar* c = xmlNodeGetContent(node);
    std::string s = c ? reinterpret_cast<const char*>(c) : "";
    xmlFree(c);
    size_t b = s.find_first_not_of(" \t\r\n");
    size_t e = s.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

bool attr(xmlNode* node, const char* name, std::string* out) {
    xmlChar* v = xmlGetNoNsProp(node, reinterpret_cast<const xmlChar*>(name));
    if (!v) return false;
    *out = reinterpret_cast<const char*>(v);
    xmlFree(v);
    return true;
}

bool named(xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE &&
           xmlStrcmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

bool hasLang(xmlNode* node) {
    xmlChar* lang = xmlNodeGetLang(node);
    // xmlNodeGetLang walks up the tree; only a lang on the label itself counts.
    bool own = lang && xmlHasNsProp(node, reinterpret_cast<const xmlChar*>("lang"),
                                    XML_XML_NAMESPACE) != nullptr;
    xmlFree(lang);
    return own;
}

// The label without xml:lang wins; otherwise the first one.
void readLabel(xmlNode* parent, std::string* label, bool* has) {
    for (xmlNode* c = parent->children; c; c = c->next) {
        if (!named(c, "label")) continue;
        if (!hasLang(c)) {
            *label = text(c);
            *has = true;
            return;
        }
        if (!*has) {
            *label = text(c);
            *has = true;
        }
    }
}

const char* const kAppKinds[] = {"ui-application", "service-application", "widget-application",
                                 "watch-application", "component-based-application"};

struct ErrorSink {
    std::string first;
};

void xmlErrorToSink(void* ctx, xmlErrorPtr e) {
    auto* sink = static_cast<ErrorSink*>(ctx);
    if (sink->first.empty() && e && e->message) {
        std::string m = e->message;
        while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.pop_back();
        sink->first = "line " + std::to_string(e->line) + ": " + m;
    }
}

Status fail(std::string* err, const std::string& why, Status s) {
    if (err) *err = why;
    return s;
}

Status copyTree(const std::string& from, const std::string& to, std::string* err) {
    DIR* d = opendir(from.c_str());
    if (!d) return fail(err, "cannot read " + from + ": " + strerror(errno), IO_FAILED);
    if (mkdir(to.c_str(), 0755) != 0 && errno != EEXIST) {
        closedir(d);
        return fail(err, "cannot create " + to + ": " + strerror(errno), IO_FAILED);
    }
    Status st = OK;
    while (struct dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        std::string src = from + "/" + name, dst = to + "/" + name;
        struct stat s;
        if (lstat(src.c_str(), &s) != 0) {
            st = fail(err, "cannot read " + src + ": " + strerror(errno), IO_FAILED);
            break;
        }
        if (S_ISDIR(s.st_mode)) {
            st = copyTree(src, dst, err);
        } else if (S_ISLNK(s.st_mode)) {
            char buf[4096];
            ssize_t n = readlink(src.c_str(), buf, sizeof buf - 1);
            if (n < 0 || symlink(std::string(buf, n).c_str(), dst.c_str()) != 0)
                st = fail(err, "cannot copy link " + src + ": " + strerror(errno), IO_FAILED);
        } else if (S_ISREG(s.st_mode)) {
            int in = open(src.c_str(), O_RDONLY | O_CLOEXEC);
            int out = in < 0 ? -1
                             : open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                                    s.st_mode & 07777);
            char buf[65536];
            ssize_t n = 0;
            while (out >= 0 && (n = read(in, buf, sizeof buf)) > 0) {
                if (write(out, buf, n) != n) {
                    n = -1;
                    break;
                }
            }
            if (in < 0 || out < 0 || n < 0)
                st = fail(err, "cannot copy " + src + ": " + strerror(errno), IO_FAILED);
            if (in >= 0) close(in);
            if (out >= 0 && close(out) != 0 && st == OK)
                st = fail(err, "cannot write " + dst + ": " + strerror(errno), IO_FAILED);
        }
        if (st != OK) break;
    }
    closedir(d);
    return st;
}

void removeTree(const std::string& path) {
    struct stat s;
    if (lstat(path.c_str(), &s) != 0) return;
    if (S_ISDIR(s.st_mode)) {
        if (DIR* d = opendir(path.c_str())) {
            while (struct dirent* e = readdir(d)) {
                std::string name = e->d_name;
                if (name != "." && name != "..") removeTree(path + "/" + name);
            }
            closedir(d);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

}  // namespace

const AppEntry* Package::findApp(const std::string& appId) const {
    for (const AppEntry& a : apps)
        if (a.appId == appId) return &a;
    return nullptr;
}

bool Package::hasPrivilege(const std::string& privilege) const {
    for (const std::string& p : privileges)
        if (p == privilege) return true;
    return false;
}

double Package::apiLevel() const {
    return apiVersion.empty() ? 0.0 : strtod(apiVersion.c_str(), nullptr);
}

bool isSafeId(const std::string& id) {
    if (id.empty() || id.size() > 255 || id[0] == '.' || id[0] == '-') return false;
    for (unsigned char c : id)
        if (!(isalnum(c) || c == '.' || c == '_' || c == '-')) return false;
    return true;
}

Status parseManifestText(const char* data, size_t len, Package* out, std::string* err) {
    if (!data || !out) return fail(err, "no manifest text", BAD_MANIFEST);
    if (len > 16 * 1024 * 1024) return fail(err, "manifest too large", BAD_MANIFEST);
    ErrorSink sink;
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (!ctxt) return fail(err, "out of memory", IO_FAILED);
    xmlSetStructuredErrorFunc(&sink, xmlErrorToSink);
    // No network, no entity expansion, no external DTD: the manifest is data.
    xmlDocPtr doc = xmlCtxtReadMemory(ctxt, data, static_cast<int>(len), kManifest, nullptr,
                                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    xmlFreeParserCtxt(ctxt);
    if (!doc)
        return fail(err, sink.first.empty() ? "not well-formed XML" : sink.first, BAD_MANIFEST);

    Package pkg;
    Status st = OK;
    xmlNode* rootNode = xmlDocGetRootElement(doc);
    if (!rootNode || !named(rootNode, "manifest")) {
        st = fail(err, "the root element is not <manifest>", BAD_MANIFEST);
    } else if (!attr(rootNode, "package", &pkg.pkgId) || !isSafeId(pkg.pkgId)) {
        st = fail(err, "<manifest> has no valid package attribute", BAD_MANIFEST);
    } else {
        pkg.hasVersion = attr(rootNode, "version", &pkg.version);
        attr(rootNode, "api-version", &pkg.apiVersion);
        bool hasLabel = false;
        readLabel(rootNode, &pkg.label, &hasLabel);
        for (xmlNode* c = rootNode->children; c && st == OK; c = c->next) {
            if (named(c, "privileges")) {
                for (xmlNode* p = c->children; p; p = p->next)
                    if (named(p, "privilege")) pkg.privileges.push_back(text(p));
                continue;
            }
            for (const char* kind : kAppKinds) {
                if (!named(c, kind)) continue;
                AppEntry app;
                app.kind = kind;
                if (!attr(c, "appid", &app.appId) || !isSafeId(app.appId)) {
                    st = fail(err, std::string("<") + kind + "> has no valid appid attribute",
                              BAD_MANIFEST);
                    break;
                }
                if (pkg.findApp(app.appId)) {
                    st = fail(err, "appid " + app.appId + " is declared twice", BAD_MANIFEST);
                    break;
                }
                attr(c, "exec", &app.exec);
                attr(c, "type", &app.type);
                std::string nd;
                app.nodisplay = attr(c, "nodisplay", &nd) && nd == "true";
                readLabel(c, &app.label, &app.hasLabel);
                for (xmlNode* i = c->children; i; i = i->next)
                    if (named(i, "icon")) {
                        app.icon = text(i);
                        break;
                    }
                pkg.apps.push_back(app);
            }
        }
    }
    xmlFreeDoc(doc);
    if (st == OK) *out = pkg;
    return st;
}

Status parseManifest(const std::string& path, Package* out, std::string* err) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(err, "cannot open " + path + ": " + strerror(errno), NOT_FOUND);
    std::string data;
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) {
        data.append(buf, n);
        if (data.size() > 16 * 1024 * 1024) break;
    }
    close(fd);
    if (n < 0) return fail(err, "cannot read " + path + ": " + strerror(errno), IO_FAILED);
    std::string why;
    Status st = parseManifestText(data.data(), data.size(), out, &why);
    if (st != OK && err) *err = path + ": " + why;
    return st;
}

std::string root() {
    const char* d = getenv("VORNIX_DEVICE");
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

// The package database: what installation learnt from a manifest, one entry per
// package, so that queries need not parse XML (and load the XML library) each time.
// Lines of "name=value", values escaped; an app is one line of tab-separated fields.
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

std::string databaseEntry(const std::string& dev, const std::string& pkgId) {
    return dev + "/var/lib/packages/" + pkgId;
}

bool writeDatabaseEntry(const std::string& dev, const Package& pkg) {
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
    std::string dir = dev + "/var/lib/packages";
    if (!makeDirs(dir)) return false;
    std::string tmp = databaseEntry(dev, pkg.pkgId) + ".new";
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = close(fd) == 0 && ok;
    return ok && rename(tmp.c_str(), databaseEntry(dev, pkg.pkgId).c_str()) == 0;
}

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
    FILE* f = fopen(path.c_str(), "re");
    if (!f) return false;
    Package pkg;
    char* line = nullptr;
    size_t cap = 0;
    ssize_t n;
    while ((n = getline(&line, &cap, f)) > 0) {
        std::string l(line, line[n - 1] == '\n' ? n - 1 : n);
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
    free(line);
    fclose(f);
    if (pkg.pkgId != pkgId) return false;
    *out = pkg;
    return true;
}

}  // namespace

static Status loadPackage(const std::string& dev, const std::string& pkgId, Package* out) {
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

Status findApp(const std::string& appId, Package* pkg, AppEntry* app) {
    std::string dev = root();
    if (!isDevice(dev)) return NO_DEVICE;
    if (!isSafeId(appId)) return NOT_FOUND;
    // Most app ids start with their package id: try that package first.
    Package p;
    size_t dot = appId.find('.');
    for (std::string guess : {appId.substr(0, dot), appId}) {
        if (loadPackage(dev, guess, &p) == OK)
            if (const AppEntry* a = p.findApp(appId)) {
                if (pkg) *pkg = p;
                if (app) *app = *a;
                return OK;
            }
    }
    std::vector<Package> all;
    listPackages(dev, &all);
    for (const Package& q : all)
        if (const AppEntry* a = q.findApp(appId)) {
            if (pkg) *pkg = q;
            if (app) *app = *a;
            return OK;
        }
    return NOT_FOUND;
}

std::string currentAppId() {
    const char* id = getenv("VORNIX_APP_ID");
    return id ? id : "";
}

Status currentApp(Package* pkg, AppEntry* app) {
    std::string id = currentAppId();
    if (id.empty()) return NO_CONTEXT;
    Status st = findApp(id, pkg, app);
    return st == OK || st == NO_DEVICE ? st : NO_CONTEXT;
}

Status createDevice(const std::string& dev, std::string* err) {
    if (dev.empty()) return fail(err, "no device folder given", IO_FAILED);
    for (const std::string& d : {packagesDir(dev), mediaDir(dev), dev + "/var/log", runDir(dev)})
        if (!makeDirs(d))
            return fail(err, "cannot create " + d + ": " + strerror(errno), IO_FAILED);
    std::string marker = dev + "/" + kMarker;
    int fd = open(marker.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return fail(err, "cannot create " + marker + ": " + strerror(errno), IO_FAILED);
    close(fd);
    return OK;
}

Status installPackage(const std::string& dev, const std::string& srcDir, Package* installed,
                      std::string* err) {
    if (!isDevice(dev)) return fail(err, dev + " is not a device folder", NO_DEVICE);
    Package pkg;
    Status st = parseManifest(srcDir + "/" + kManifest, &pkg, err);
    if (st != OK) return st;
    // Build the new package beside the old one, then swap it in: all or nothing.
    std::string target = packageDir(dev, pkg.pkgId);
    target.pop_back();
    std::string staging = packagesDir(dev) + ".staging-" + pkg.pkgId;
    std::string old = packagesDir(dev) + ".old-" + pkg.pkgId;
    removeTree(staging);
    removeTree(old);
    st = copyTree(srcDir, staging, err);
    for (const char* sub : {"bin", "lib", "res", "shared", "shared/res", "shared/data",
                            "shared/trusted", "data", "cache"}) {
        if (st != OK) break;
        if (!makeDirs(staging + "/" + sub))
            st = fail(err, std::string("cannot create ") + sub + ": " + strerror(errno), IO_FAILED);
    }
    if (st != OK) {
        removeTree(staging);
        return st;
    }
    bool hadOld = isDir(target);
    if (hadOld && rename(target.c_str(), old.c_str()) != 0) {
        removeTree(staging);
        return fail(err, "cannot replace " + target + ": " + strerror(errno), IO_FAILED);
    }
    if (rename(staging.c_str(), target.c_str()) != 0) {
        std::string why = strerror(errno);
        if (hadOld) rename(old.c_str(), target.c_str());
        removeTree(staging);
        return fail(err, "cannot install " + target + ": " + why, IO_FAILED);
    }
    removeTree(old);
    // Without its database entry the package is still found, by its manifest.
    unlink(databaseEntry(dev, pkg.pkgId).c_str());
    writeDatabaseEntry(dev, pkg);
    pkg.root = target + "/";
    if (installed) *installed = pkg;
    return OK;
}

Status uninstallPackage(const std::string& dev, const std::string& pkgId, std::string* err) {
    if (!isDevice(dev)) return fail(err, dev + " is not a device folder", NO_DEVICE);
    if (!isSafeId(pkgId) || !isDir(packageDir(dev, pkgId)))
        return fail(err, "package " + pkgId + " is not installed", NOT_FOUND);
    std::string dir = packageDir(dev, pkgId);
    dir.pop_back();
    std::string old = packagesDir(dev) + ".old-" + pkgId;
    removeTree(old);
    if (rename(dir.c_str(), old.c_str()) != 0)
        return fail(err, "cannot remove " + dir + ": " + strerror(errno), IO_FAILED);
    unlink(databaseEntry(dev, pkgId).c_str());
    removeTree(old);
    return OK;
}

Status appendJournal(const std::string& dev, const std::string& line) {
    if (!isDevice(dev)) return NO_DEVICE;
    std::string path = journalFile(dev);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return IO_FAILED;
    std::string l = line + "\n";
    bool ok = write(fd, l.data(), l.size()) == static_cast<ssize_t>(l.size());
    close(fd);
    return ok ? OK : IO_FAILED;
}

// A running app holds a lock on its pid file for as long as it runs: a file nobody
// holds is left by an app that died (kill -9), and the pid it names may belong to any
// process by now. Such a file is removed, never believed.
int runningPid(const std::string& dev, const std::string& appId) {
    if (!isSafeId(appId)) return 0;
    std::string path = pidFile(dev, appId);
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 0;
    struct stat st, now;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return 0;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        // Still the file at that path (not one replaced meanwhile): the FIFO goes first,
        // so a new instance that takes the name next never loses its own.
        if (stat(path.c_str(), &now) == 0 && now.st_ino == st.st_ino && now.st_dev == st.st_dev) {
            unlink(controlFifo(dev, appId).c_str());
            unlink(path.c_str());
        }
        close(fd);
        return 0;
    }
    char buf[32];
    ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    buf[n > 0 ? n : 0] = '\0';
    char* end = nullptr;
    long pid = strtol(buf, &end, 10);
    if (end == buf || (*end != '\n' && *end != '\0') || pid <= 0 || pid > INT_MAX) return 0;
    return static_cast<int>(pid);
}

Status sendControl(const std::string& dev, const std::string& appId, const std::string& message) {
    if (!isSafeId(appId)) return NOT_FOUND;
    std::string line = message + "\n";
    // One write of at most PIPE_BUF bytes is atomic, so messages never interleave.
    if (line.size() > PIPE_BUF) return IO_FAILED;
    int fd = open(controlFifo(dev, appId).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return NOT_FOUND;
    bool ok = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    close(fd);
    return ok ? OK : IO_FAILED;
}

}  // namespace device
