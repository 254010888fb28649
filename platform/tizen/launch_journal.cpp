// SPDX-License-Identifier: Apache-2.0
// The launch journal: every launch request, refused ones too, adds one line to the
// device's launch journal, fields always in this order:
//   launch caller=<id> target=<id> operation=<op> uri=<uri> mime=<mime>
//     category=<category> launch_mode=single|group reply=yes|no
//     extra={<key>=<value>, <key>=[<value>, <value>]} result=<code>
// (one line). A field that is not set is left empty ("mime= "). A value made only
// of printable ASCII other than space and " \ { } [ ] , = is written as it is;
// any other value is written in double quotes with \\ \" \n \r \t and \xHH for
// the other control bytes, so no value can end the line or fake a field. Byte
// entries show as <N bytes>. The result is the code the send returned. Terminate
// requests add "terminate caller=<id> target=<id> result=<code>".
#include <string.h>

#include <string>
#include <vector>

#include <vornix/device/device.h>

#include "app_control_request.h"

namespace appctl {

namespace {

std::string journalValue(const std::string& v) {
    bool plain = !v.empty();
    for (unsigned char c : v)
        if (c <= 0x20 || c >= 0x7f || strchr("\"\\{}[],=", c)) plain = false;
    return plain ? v : device::quoted(v);
}

std::string journalField(app_control_h h, const char* key) {
    const char* s = text(h, key);
    return s ? journalValue(s) : "";
}

void addExtra(const char* key, int type, const bundle_keyval_t* kv, void* data) {
    if (reserved(key)) return;
    auto* out = static_cast<std::vector<std::string>*>(data);
    auto* entry = const_cast<bundle_keyval_t*>(kv);
    bool isStr = type == BUNDLE_TYPE_STR || type == BUNDLE_TYPE_STR_ARRAY;
    auto show = [isStr](void* v, size_t size) {
        return isStr ? journalValue(static_cast<const char*>(v))
                     : "<" + std::to_string(size) + " bytes>";
    };
    std::string item = journalValue(key) + "=";
    if (type & BUNDLE_TYPE_ARRAY) {
        void** values = nullptr;
        unsigned int n = 0;
        size_t* sizes = nullptr;
        bundle_keyval_get_array_val(entry, &values, &n, &sizes);
        item += "[";
        for (unsigned int i = 0; i < n; ++i) item += (i ? ", " : "") + show(values[i], sizes[i]);
        item += "]";
    } else {
        void* v = nullptr;
        size_t size = 0;
        bundle_keyval_get_basic_val(entry, &v, &size);
        item += show(v, size);
    }
    out->push_back(item);
}

std::string journalCaller() {
    std::string id = device::currentAppId();
    return id.empty() ? "" : journalValue(id);
}

}  // namespace

void journalLaunch(const std::string& dev, app_control_h h, bool reply, int result) {
    std::vector<std::string> extras;
    bundle_foreach(h->data, addExtra, &extras);
    std::string extra;
    for (const std::string& e : extras) extra += (extra.empty() ? "" : ", ") + e;
    const char* mode = text(h, kLaunchMode);
    std::string line = "launch caller=" + journalCaller() + " target=" + journalField(h, kAppId) +
                       " operation=" + journalField(h, kOperation) +
                       " uri=" + journalField(h, kUri) + " mime=" + journalField(h, kMime) +
                       " category=" + journalField(h, kCategory) +
                       " launch_mode=" + (mode && !strcmp(mode, "group") ? "group" : "single") +
                       " reply=" + (reply ? "yes" : "no") + " extra={" + extra +
                       "} result=" + std::to_string(result);
    device::appendJournal(dev, line);
}

void journalTerminate(app_control_h h, int result) {
    device::appendJournal(device::root(), "terminate caller=" + journalCaller() +
                                              " target=" + journalField(h, kAppId) +
                                              " result=" + std::to_string(result));
}

}  // namespace appctl
