// SPDX-License-Identifier: Apache-2.0
#include <vornix/inspect.h>

#include "inspect_internal.h"

#include <Ecore.h>
#include <Ecore_Evas.h>
#include <Elementary.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <functional>
#include <vector>

#include <vornix/device/environment.h>

namespace {

const double kSnapshotDelay = 0.5;  // seconds: lets the theme and text settle

// The visible Elementary window on top.
Evas_Object* topWindow() {
    Evas_Object* found = nullptr;
    for (Evas_Object* win : ui_app_windows())
        if (evas_object_visible_get(win)) found = win;
    return found;
}

// Visits every visible object on the window's canvas, depth first, in stacking order.
void walk(Evas_Object* o, const std::function<void(Evas_Object*)>& visit) {
    if (!evas_object_visible_get(o)) return;
    visit(o);
    // Every object with members (widgets, layouts, boxes) is of the group class, whose
    // legacy name this is; asking any other object for members logs an error.
    if (!evas_object_smart_type_check(o, "Evas_Object_Smart")) return;
    Eina_List* members = evas_object_smart_members_get(o);
    Eina_List* it;
    void* child;
    EINA_LIST_FOREACH(members, it, child) walk(static_cast<Evas_Object*>(child), visit);
    eina_list_free(members);
}

void walkWindow(Evas_Object* win, const std::function<void(Evas_Object*)>& visit) {
    Evas* e = evas_object_evas_get(win);
    for (Evas_Object* o = evas_object_bottom_get(e); o; o = evas_object_above_get(o))
        walk(o, visit);
}

bool isWidget(Evas_Object* o, const char* type) {
    const char* t = evas_object_type_get(o);
    return t && (type ? strcmp(t, type) == 0 : strncmp(t, "elm_", 4) == 0);
}

// A widget packed in a grid sits in the grid's own box; its parent widget is the grid.
bool gridCell(Evas_Object* o, int cell[4]) {
    Evas_Object* parent = elm_object_parent_widget_get(o);
    if (!parent || !isWidget(parent, "elm_grid")) return false;
    Eina_List* kids = elm_grid_children_get(parent);
    bool packed = eina_list_data_find(kids, o) != nullptr;
    eina_list_free(kids);
    if (packed) elm_grid_pack_get(o, &cell[0], &cell[1], &cell[2], &cell[3]);
    return packed;
}

// The size of a label's formatted text (what its lines take up), which may exceed its box.
bool labelTextSize(Evas_Object* o, int* w, int* h) {
    if (!isWidget(o, "elm_label")) return false;
    auto* tb =
        const_cast<Evas_Object*>(edje_object_part_object_get(elm_layout_edje_get(o), "elm.text"));
    if (!tb) return false;
    evas_object_textblock_size_formatted_get(tb, w, h);
    return true;
}

std::string gSnapshotBase;

Eina_Bool snapshotLater(void*) {
    ui_inspect_snapshot(gSnapshotBase.c_str());
    return ECORE_CALLBACK_CANCEL;
}

}  // namespace

std::vector<Evas_Object*> ui_app_windows() {
    std::vector<Evas_Object*> windows;
    Eina_List* all = ecore_evas_ecore_evas_list_get();
    Eina_List* it;
    void* ee;
    EINA_LIST_FOREACH(all, it, ee) {
        Evas* e = ecore_evas_get(static_cast<Ecore_Evas*>(ee));
        for (Evas_Object* o = evas_object_bottom_get(e); o; o = evas_object_above_get(o)) {
            const char* type = elm_object_widget_check(o) ? elm_object_widget_type_get(o) : nullptr;
            if (type && strcmp(type, "Elm_Win") == 0) windows.push_back(o);
        }
    }
    eina_list_free(all);
    return windows;
}

int ui_inspect_save_pixels(Ecore_Evas* ee, const char* path, int alpha) {
    if (!ee || !path) return 0;
    int w = 0, h = 0;
    ecore_evas_geometry_get(ee, nullptr, nullptr, &w, &h);
    ecore_evas_manual_render(ee);
    const void* pixels = ecore_evas_buffer_pixels_get(ee);
    if (!pixels || w <= 0 || h <= 0) return false;
    Ecore_Evas* out = ecore_evas_buffer_new(1, 1);
    if (!out) return false;
    Evas_Object* img = evas_object_image_filled_add(ecore_evas_get(out));
    evas_object_image_alpha_set(img, alpha);
    evas_object_image_size_set(img, w, h);
    evas_object_image_data_copy_set(img, const_cast<void*>(pixels));
    bool ok = evas_object_image_save(img, path, nullptr, "compress=6");
    ecore_evas_free(out);
    return ok;
}

int ui_inspect_snapshot(const char* basePath) {
    Evas_Object* win = basePath ? topWindow() : nullptr;
    if (!win) return false;
    std::string base = basePath;
    // The listing appears last and whole (written aside, then renamed): whoever waits
    // for it finds the picture too.
    ui_inspect_save_pixels(ecore_evas_ecore_evas_get(evas_object_evas_get(win)),
                           (base + ".png").c_str(), false);
    std::string listing = base + ".txt", partial = listing + ".part";
    FILE* f = fopen(partial.c_str(), "we");
    if (!f) return false;
    walkWindow(win, [f](Evas_Object* o) {
        if (!isWidget(o, nullptr) || isWidget(o, "elm_win")) return;
        int x, y, w, h;
        evas_object_geometry_get(o, &x, &y, &w, &h);
        fprintf(f, "%s %d,%d %dx%d", evas_object_type_get(o), x, y, w, h);
        int cell[4];
        if (gridCell(o, cell)) fprintf(f, " cell=%d,%d,%d,%d", cell[0], cell[1], cell[2], cell[3]);
        const char* style = elm_object_style_get(o);
        if (style) fprintf(f, " style=%s", style);
        int tw, th;
        if (labelTextSize(o, &tw, &th)) fprintf(f, " text_size=%dx%d", tw, th);
        const char* text = elm_object_part_text_get(o, nullptr);
        if (text && *text) fprintf(f, " text=%s", text);
        fputc('\n', f);
    });
    bool written = fclose(f) == 0 && rename(partial.c_str(), listing.c_str()) == 0;
    if (!written) unlink(partial.c_str());
    return written;
}

int ui_inspect_tap(const char* text) {
    Evas_Object* win = text ? topWindow() : nullptr;
    if (!win) return false;
    Evas_Object* target = nullptr;
    walkWindow(win, [&](Evas_Object* o) {
        const char* t = isWidget(o, "elm_button") ? elm_object_part_text_get(o, nullptr) : nullptr;
        if (t && strcmp(text, t) == 0) target = o;  // the topmost match wins
    });
    if (!target) return false;
    int x, y, w, h;
    evas_object_geometry_get(target, &x, &y, &w, &h);
    Evas* e = evas_object_evas_get(win);
    unsigned int ts = static_cast<unsigned int>(ecore_loop_time_get() * 1000);
    evas_event_feed_mouse_move(e, x + w / 2, y + h / 2, ts, nullptr);
    evas_event_feed_mouse_down(e, 1, EVAS_BUTTON_NONE, ts + 1, nullptr);
    evas_event_feed_mouse_up(e, 1, EVAS_BUTTON_NONE, ts + 2, nullptr);
    return true;
}

int ui_inspect_key(const char* keyname) {
    Evas_Object* win = keyname ? topWindow() : nullptr;
    if (!win) return false;
    Evas* e = evas_object_evas_get(win);
    unsigned int ts = static_cast<unsigned int>(ecore_loop_time_get() * 1000);
    const char* k = keyname;
    evas_event_feed_key_down(e, k, k, nullptr, nullptr, ts, nullptr);
    evas_event_feed_key_up(e, k, k, nullptr, nullptr, ts + 1, nullptr);
    return true;
}

bool ui_inspect_control(const std::string& line) {
    size_t space = line.find(' ');
    std::string verb = line.substr(0, space);
    std::string arg = space == std::string::npos ? "" : line.substr(space + 1);
    if (arg.empty()) return false;
    if (verb == "snapshot")
        ui_inspect_snapshot(arg.c_str());
    else if (verb == "tap")
        ui_inspect_tap(arg.c_str());
    else if (verb == "key")
        ui_inspect_key(arg.c_str());
    else
        return false;
    return true;
}

void ui_inspect_arm_from_environment() {
    const char* base = env::snapshot();
    if (!base || !*base) return;
    gSnapshotBase = base;
    ecore_timer_add(kSnapshotDelay, snapshotLater, nullptr);
}
