#include "device.h"

#include "file_tree.h"

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
#include <libxml/parserInternals.h>
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

std::string text(xmlNode* node);

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
        // Some messages go on to a second line: the reason stays one line.
        for (char& c : m)
            if (c == '\n') c = ' ';
        sink->first = "line " + std::to_string(e->line) + ": " + m;
    }
}

Status fail(std::string* err, const std::string& why, Status s) {
    if (err) *err = why;
    return s;
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

namespace {

// Real manifests are a few kilobytes; these bound what a hostile one can make us hold.
const size_t kMaxManifest = 1024 * 1024;
const size_t kMaxField = 4096;

// Any entity declaration stops the parse: the manifest is data, nothing in it expands.
void refuseEntity(void* ctx, const xmlChar*, int, const xmlChar*, const xmlChar*, xmlChar*) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
    *static_cast<bool*>(ctxt->_private) = true;
    xmlStopParser(ctxt);
}

// The text of an element made of text only (no entity reference can be in it).
std::string text(xmlNode* node) {
    std::string s;
    for (xmlNode* c = node->children; c; c = c->next)
        if ((c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) && c->content)
            s += reinterpret_cast<const char*>(c->content);
    size_t b = s.find_first_not_of(" \t\r\n");
    size_t e = s.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

// The first field of `pkg` over kMaxField bytes, empty when none is.
std::string oversizedField(const Package& pkg) {
    std::vector<std::pair<const char*, const std::string*>> fields = {
        {"version", &pkg.version}, {"api-version", &pkg.apiVersion}, {"label", &pkg.label}};
    for (const std::string& p : pkg.privileges) fields.push_back({"privilege", &p});
    for (const AppEntry& a : pkg.apps) {
        fields.push_back({"exec", &a.exec});
        fields.push_back({"type", &a.type});
        fields.push_back({"label", &a.label});
        fields.push_back({"icon", &a.icon});
    }
    for (const auto& f : fields)
        if (f.second->size() > kMaxField) return f.first;
    return "";
}

}  // namespace

Status parseManifestText(const char* data, size_t len, Package* out, std::string* err) {
    if (!data || !out) return fail(err, "no manifest text", BAD_MANIFEST);
    if (len > kMaxManifest)
        return fail(err, "the manifest is larger than " + std::to_string(kMaxManifest) + " bytes",
                    BAD_MANIFEST);
    ErrorSink sink;
    bool declaresEntity = false;
    xmlParserCtxtPtr ctxt = xmlCreateMemoryParserCtxt(data, static_cast<int>(len));
    if (!ctxt) return fail(err, len ? "out of memory" : "not well-formed XML", BAD_MANIFEST);
    ctxt->sax->entityDecl = refuseEntity;
    ctxt->_private = &declaresEntity;
    // No network, no external DTD, and (above) no entities: the manifest is data.
    xmlCtxtUseOptions(ctxt, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    xmlSetStructuredErrorFunc(&sink, xmlErrorToSink);
    xmlParseDocument(ctxt);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    xmlDocPtr doc = ctxt->myDoc;
    bool wellFormed = ctxt->wellFormed && !declaresEntity;
    ctxt->myDoc = nullptr;
    xmlFreeParserCtxt(ctxt);
    if (!wellFormed) {
        xmlFreeDoc(doc);
        if (declaresEntity) return fail(err, "the manifest declares entities", BAD_MANIFEST);
        return fail(err, sink.first.empty() ? "not well-formed XML" : sink.first, BAD_MANIFEST);
    }

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
        std::string field = st == OK ? oversizedField(pkg) : "";
        if (!field.empty())
            st = fail(err, "a " + field + " is longer than " + std::to_string(kMaxField) + " bytes",
                      BAD_MANIFEST);
    }
    xmlFreeDoc(doc);
    if (st == OK) *out = pkg;
    return st;
}

Status parseManifest(const std::string& path, Package* out, std::string* err) {
    // Never blocks on a FIFO, never follows a link to somewhere else.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return fail(err, "cannot open " + path + ": " + strerror(errno), NOT_FOUND);
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return fail(err, "cannot open " + path + ": not a regular file", NOT_FOUND);
    }
    std::string data;
    std::vector<char> buf(65536);
    ssize_t n;
    while ((n = read(fd, buf.data(), buf.size())) > 0) {
        data.append(buf.data(), n);
        if (data.size() > kMaxManifest) break;
    }
    close(fd);
    if (n < 0) return fail(err, "cannot read " + path + ": " + strerror(errno), IO_FAILED);
    std::string why;
    Status s = parseManifestText(data.data(), data.size(), out, &why);
    if (s != OK && err) *err = path + ": " + why;
    return s;
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

std::string databaseDir(const std::string& dev) { return dev + "/var/lib/packages/"; }
std::string databaseEntry(const std::string& dev, const std::string& pkgId) {
    return databaseDir(dev) + pkgId;
}
// Which package owns an app id: one small file per app id holding the package id.
std::string appIndexDir(const std::string& dev) { return dev + "/var/lib/appids/"; }

// An entry holds no more than its manifest gave; anything larger was not written by us.
const size_t kMaxEntry = 2 * kMaxManifest;

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

// A whole small regular file, refused when it holds more than `limit` bytes.
bool readSmallFile(const std::string& path, size_t limit, std::string* out) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok =
        fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<size_t>(st.st_size) <= limit;
    std::string data;
    std::vector<char> buf(ok ? 65536 : 0);
    ssize_t n = 0;
    while (ok && (n = read(fd, buf.data(), buf.size())) > 0) {
        data.append(buf.data(), n);
        ok = data.size() <= limit;
    }
    close(fd);
    if (!ok || n < 0) return false;
    *out = data;
    return true;
}

// Replaces `path` whole: a reader sees the old text or the new, never a part.
bool writeFileAtomic(const std::string& path, const std::string& text) {
    size_t slash = path.find_last_of('/');
    std::string tmp = path.substr(0, slash + 1) + ".tmp-" + path.substr(slash + 1);
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    if (ok && rename(tmp.c_str(), path.c_str()) == 0) return true;
    unlink(tmp.c_str());
    return false;
}

bool writeDatabaseEntry(const std::string& dev, const Package& pkg) {
    return makeDirs(databaseDir(dev)) &&
           writeFileAtomic(databaseEntry(dev, pkg.pkgId), formatDatabaseEntry(pkg));
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

// Points the index at `pkgId` for the apps of `pkg` (none when null) and drops the
// package's other app ids.
bool indexApps(const std::string& dev, const std::string& pkgId, const Package* pkg) {
    std::string dir = appIndexDir(dev);
    if (!makeDirs(dir)) return false;
    bool ok = true;
    if (DIR* d = opendir(dir.c_str())) {
        std::vector<std::string> drop;
        while (struct dirent* e = readdir(d))
            if (isSafeId(e->d_name) && appOwner(dev, e->d_name) == pkgId &&
                !(pkg && pkg->findApp(e->d_name)))
                drop.push_back(e->d_name);
        closedir(d);
        for (const std::string& id : drop) ok = unlink((dir + id).c_str()) == 0 && ok;
    }
    if (pkg)
        for (const AppEntry& a : pkg->apps)
            if (appOwner(dev, a.appId) != pkgId)
                ok = writeFileAtomic(dir + a.appId, pkgId + "\n") && ok;
    return ok;
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
    const char* at = getenv("VORNIX_TEST_KILL_AT");
    if (at && strcmp(at, step) == 0) raise(SIGKILL);
}

struct Paths {
    std::string target, staging, old;
    Paths(const std::string& dev, const std::string& pkgId)
        : target(packagesDir(dev) + pkgId),
          staging(packagesDir(dev) + ".staging-" + pkgId),
          old(packagesDir(dev) + ".old-" + pkgId) {}
};

bool exists(const std::string& p) {
    struct stat st;
    return lstat(p.c_str(), &st) == 0;
}

class DeviceLock {
public:
    // The packages folder itself is locked: a refused change leaves no trace.
    explicit DeviceLock(const std::string& dev) {
        if (!makeDirs(packagesDir(dev))) return;
        mFd = open(packagesDir(dev).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        while (mFd >= 0 && flock(mFd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~DeviceLock() {
        if (mFd >= 0) close(mFd);
    }
    bool held() const { return mFd >= 0; }

private:
    int mFd = -1;
};

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
    if (!removeTree(p.old, err)) return IO_FAILED;
    stopPoint("cleaned");
    unlink(intentFile(dev).c_str());
    return OK;
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
    if (!removeTree(p.old, err)) return IO_FAILED;
    stopPoint("cleaned");
    unlink(intentFile(dev).c_str());
    return OK;
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
