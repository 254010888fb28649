// SPDX-License-Identifier: Apache-2.0
// Reading a package's tizen-manifest.xml (libxml2) into a device::Package. The
// manifest is hostile input: no entity expands, no network or DTD is read, and its
// size and each field's are bounded.
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <unordered_set>
#include <vector>

#include <vornix/device/files.h>
#include <vornix/device/scoped_fd.h>

#include "device_internal.h"

namespace device {

namespace {

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

// The parse's error as one line ("line <n>: <message>"), empty when it has none.
std::string reason(const xmlError* e) {
    if (!e || !e->message) return "";
    std::string m = e->message;
    while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.pop_back();
    // Some messages go on to a second line: the reason stays one line.
    for (char& c : m)
        if (c == '\n') c = ' ';
    return "line " + std::to_string(e->line) + ": " + m;
}

// What the parse that runs on this thread found: its first error (later ones often follow
// from it, and the parser keeps only the last) and whether the document declares an entity.
struct ParseNotes {
    std::string firstError;
    bool declaresEntity = false;
};
thread_local ParseNotes* tNotes = nullptr;

void keepFirstError(void*, xmlErrorPtr e) {
    if (tNotes && tNotes->firstError.empty() && e && e->message) tNotes->firstError = reason(e);
}

// Any entity declaration, general or parameter, stops the parse: the manifest is data,
// nothing in it expands.
void refuseEntity(void* ctxt, const xmlChar*, int, const xmlChar*, const xmlChar*, xmlChar*) {
    if (tNotes) tNotes->declaresEntity = true;
    xmlStopParser(static_cast<xmlParserCtxtPtr>(ctxt));
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

const size_t kMaxField = 4096;

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

bool hasControl(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7f) return true;
    return false;
}

Status parseManifestText(const char* data, size_t len, Package* out, std::string* err) {
    if (!data || !out) return fail(err, "no manifest text", BAD_MANIFEST);
    if (len > kMaxManifest)
        return fail(err, "the manifest is larger than " + std::to_string(kMaxManifest) + " bytes",
                    BAD_MANIFEST);
    if (len == 0) return fail(err, "not well-formed XML", BAD_MANIFEST);
    // The standard tree builder, but for entity declarations.
    xmlSAXHandler sax;
    xmlSAXVersion(&sax, 2);
    sax.entityDecl = refuseEntity;
    xmlParserCtxtPtr ctxt = xmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr);
    if (!ctxt) return fail(err, "out of memory", BAD_MANIFEST);
    ParseNotes notes;
    tNotes = &notes;
    // libxml2 2.9 raises encoding and input errors without the parse's context, so only the
    // thread's own handler sees them (unset, it prints them): it is ours for this call.
    xmlStructuredErrorFunc handler = xmlStructuredError;
    void* handlerData = xmlStructuredErrorContext;
    xmlSetStructuredErrorFunc(nullptr, keepFirstError);
    // No network, no DTD loaded, no entity substituted, no error printed: the manifest is
    // data.
    xmlDocPtr doc = xmlCtxtReadMemory(ctxt, data, static_cast<int>(len), nullptr, nullptr,
                                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    xmlSetStructuredErrorFunc(handlerData, handler);
    tNotes = nullptr;
    xmlFreeParserCtxt(ctxt);
    if (!doc || notes.declaresEntity) {  // a document only when well-formed
        xmlFreeDoc(doc);
        if (notes.declaresEntity) return fail(err, "the manifest declares entities", BAD_MANIFEST);
        const std::string& why = notes.firstError;
        return fail(err, why.empty() ? "not well-formed XML" : why, BAD_MANIFEST);
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
        if (hasControl(pkg.version) || hasControl(pkg.apiVersion))
            st = fail(err, "a version holds a control character", BAD_MANIFEST);
        std::unordered_set<std::string> appIds;
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
                if (!appIds.insert(app.appId).second) {
                    st = fail(err, "appid " + app.appId + " is declared twice", BAD_MANIFEST);
                    break;
                }
                attr(c, "exec", &app.exec);
                if (hasControl(app.exec)) {
                    st = fail(err, "the exec of " + app.appId + " holds a control character",
                              BAD_MANIFEST);
                    break;
                }
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

Status parseManifest(const std::string& path, Package* out, std::string* err,
                     const std::string& shownAs) {
    const std::string& shown = shownAs.empty() ? path : shownAs;
    const char* refused = nullptr;
    ScopedFd fd(openRegularFile(path, nullptr, &refused));
    if (!fd.valid()) return fail(err, "cannot open " + shown + ": " + refused, NOT_FOUND);
    std::string data;
    std::vector<char> buf(65536);
    ssize_t n;
    while ((n = read(fd.get(), buf.data(), buf.size())) > 0) {
        data.append(buf.data(), n);
        if (data.size() > kMaxManifest) break;
    }
    fd.reset();
    if (n < 0) return fail(err, "cannot read " + shown + ": " + strerror(errno), IO_FAILED);
    std::string why;
    Status s = parseManifestText(data.data(), data.size(), out, &why);
    if (s != OK && err) *err = shown + ": " + why;
    return s;
}
}  // namespace device
