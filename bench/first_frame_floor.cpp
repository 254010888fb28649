// SPDX-License-Identifier: Apache-2.0
// The floor of the first-frame bench: the least an Elementary app does to show a
// full-screen picture, one window with one background picture.
//   first_frame_floor PICTURE [--plain]
// The window is Elementary's standard one (the launcher's kind of window); --plain
// opens a bare window instead, for comparison.
#include <Elementary.h>
#include <string.h>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    bool plain = argc > 2 && strcmp(argv[2], "--plain") == 0;
    elm_init(argc, argv);
    Evas_Object* win = plain ? elm_win_add(nullptr, "floor", ELM_WIN_BASIC)
                             : elm_win_util_standard_add("floor", "floor");
    Evas_Object* bg = elm_bg_add(win);
    elm_bg_file_set(bg, argv[1], nullptr);
    elm_bg_option_set(bg, ELM_BG_OPTION_SCALE);
    evas_object_size_hint_weight_set(bg, EVAS_HINT_EXPAND, EVAS_HINT_EXPAND);
    elm_win_resize_object_add(win, bg);
    evas_object_show(bg);
    evas_object_resize(win, 720, 1280);
    evas_object_show(win);
    elm_run();
    elm_shutdown();
    return 0;
}
