// SPDX-License-Identifier: Apache-2.0
// Hardware keys of the EFL extension on the desktop: the back and more keys reach the
// topmost visible object registered for them on the canvas that got the key.
//
// Each canvas with registered objects holds one hidden rectangle that grabs the key
// names below, so a key press is seen whichever widget has the focus.
#include <efl_extension.h>
#include <tizen.h>

#include <string.h>

#include <algorithm>
#include <map>
#include <vector>

namespace {

struct Entry {
    Eext_Callback_Type type;
    Eext_Event_Cb func;
    void* data;
};

struct Registered {
    std::vector<Entry> entries;
    unsigned long order;  // later registrations win among objects on one layer
};

const char* const kBackKeys[] = {"XF86Back", "XF86Stop", "Escape"};
const char* const kMoreKeys[] = {"XF86Menu", "XF86Send", "Menu"};

std::map<Evas_Object*, Registered> gObjects;
std::map<Evas*, Evas_Object*> gGrabbers;
unsigned long gOrder = 0;

bool keyIn(const char* key, const char* const (&names)[3]) {
    for (const char* n : names)
        if (strcmp(key, n) == 0) return true;
    return false;
}

// Visible on screen: the object and every smart parent shown.
bool shown(Evas_Object* obj) {
    for (Evas_Object* o = obj; o; o = evas_object_smart_parent_get(o))
        if (!evas_object_visible_get(o)) return false;
    return true;
}

bool handles(const Registered& r, Eext_Callback_Type type) {
    return std::any_of(r.entries.begin(), r.entries.end(),
                       [type](const Entry& e) { return e.type == type; });
}

void deliver(Evas* canvas, Eext_Callback_Type type) {
    Evas_Object* top = nullptr;
    int topLayer = 0;
    unsigned long topOrder = 0;
    for (auto& kv : gObjects) {
        Evas_Object* obj = kv.first;
        if (evas_object_evas_get(obj) != canvas || !handles(kv.second, type) || !shown(obj))
            continue;
        int layer = evas_object_layer_get(obj);
        if (!top || layer > topLayer || (layer == topLayer && kv.second.order > topOrder)) {
            top = obj;
            topLayer = layer;
            topOrder = kv.second.order;
        }
    }
    if (!top) return;
    // A callback may add or remove registrations: call from a copy, skipping removed ones.
    std::vector<Entry> entries = gObjects[top].entries;
    for (const Entry& e : entries) {
        if (e.type != type) continue;
        auto it = gObjects.find(top);
        if (it == gObjects.end()) return;
        const std::vector<Entry>& now = it->second.entries;
        bool still = std::any_of(now.begin(), now.end(), [&e](const Entry& x) {
            return x.type == e.type && x.func == e.func && x.data == e.data;
        });
        if (still) e.func(e.data, top, nullptr);
    }
}

void onKeyDown(void*, Evas* canvas, Evas_Object*, void* event_info) {
    auto* ev = static_cast<Evas_Event_Key_Down*>(event_info);
    const char* key = ev ? (ev->keyname ? ev->keyname : ev->key) : nullptr;
    if (!key) return;
    if (keyIn(key, kBackKeys))
        deliver(canvas, EEXT_CALLBACK_BACK);
    else if (keyIn(key, kMoreKeys))
        deliver(canvas, EEXT_CALLBACK_MORE);
}

void onGrabberDel(void*, Evas* canvas, Evas_Object*, void*) { gGrabbers.erase(canvas); }

void ensureGrabber(Evas* canvas) {
    if (gGrabbers.count(canvas)) return;
    Evas_Object* rect = evas_object_rectangle_add(canvas);
    if (!rect) return;
    int grabbed = 0;
    for (const char* k : kBackKeys) grabbed += evas_object_key_grab(rect, k, 0, 0, EINA_FALSE);
    for (const char* k : kMoreKeys) grabbed += evas_object_key_grab(rect, k, 0, 0, EINA_FALSE);
    if (grabbed == 0) {
        evas_object_del(rect);
        return;
    }
    evas_object_event_callback_add(rect, EVAS_CALLBACK_KEY_DOWN, onKeyDown, nullptr);
    evas_object_event_callback_add(rect, EVAS_CALLBACK_DEL, onGrabberDel, nullptr);
    gGrabbers[canvas] = rect;
}

void onObjectDel(void*, Evas*, Evas_Object* obj, void*) { gObjects.erase(obj); }

bool validType(Eext_Callback_Type type) {
    return type == EEXT_CALLBACK_BACK || type == EEXT_CALLBACK_MORE;
}

}  // namespace

extern "C" {

EXPORT_API void eext_object_event_callback_add(Evas_Object* obj, Eext_Callback_Type type,
                                               Eext_Event_Cb func, void* data) {
    if (!obj || !func || !validType(type)) return;
    Evas* canvas = evas_object_evas_get(obj);
    if (!canvas) return;
    ensureGrabber(canvas);
    auto it = gObjects.find(obj);
    if (it == gObjects.end()) {
        evas_object_event_callback_add(obj, EVAS_CALLBACK_DEL, onObjectDel, nullptr);
        it = gObjects.emplace(obj, Registered()).first;
    }
    it->second.entries.push_back({type, func, data});
    it->second.order = ++gOrder;
}

EXPORT_API void* eext_object_event_callback_del(Evas_Object* obj, Eext_Callback_Type type,
                                                Eext_Event_Cb func) {
    auto it = obj ? gObjects.find(obj) : gObjects.end();
    if (it == gObjects.end() || !func || !validType(type)) return nullptr;
    std::vector<Entry>& entries = it->second.entries;
    auto e = std::find_if(entries.begin(), entries.end(), [type, func](const Entry& x) {
        return x.type == type && x.func == func;
    });
    if (e == entries.end()) return nullptr;
    void* data = e->data;
    entries.erase(e);
    if (entries.empty()) {
        evas_object_event_callback_del(obj, EVAS_CALLBACK_DEL, onObjectDel);
        gObjects.erase(it);
    }
    return data;
}
}
