// SPDX-License-Identifier: Apache-2.0
// Looking into a running app's UI without a display, for people and tests: a picture and
// a listing of what its window shows, real taps and key presses, and the device's screen.
// The platform library's one export besides the Tizen C API: plain C calls, so that its
// internals stay its own. Each int answer is 1 for done and 0 for not done.
#ifndef VORNIX_INSPECT_H
#define VORNIX_INSPECT_H

#include <Ecore_Evas.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VORNIX_INSPECT_API __attribute__((visibility("default")))

// Writes <base>.png (the top window's pixels; buffer engine only), then <base>.txt (one
// line per visible widget: type, geometry, grid cell, style, a label's text_size=WxH (its
// formatted text, which may be larger than its box), text), which appears whole. 0 when
// the listing was not written.
VORNIX_INSPECT_API int ui_inspect_snapshot(const char* base);
// Writes the pixels of a buffer-engine canvas as a PNG file, with its alpha when `alpha`.
VORNIX_INSPECT_API int ui_inspect_save_pixels(Ecore_Evas* ee, const char* path, int alpha);
// Clicks, with mouse events on the canvas, the visible button whose text is `text`.
VORNIX_INSPECT_API int ui_inspect_tap(const char* text);
// Presses and releases the key `keyname` (for example "XF86Back") on the top window.
VORNIX_INSPECT_API int ui_inspect_key(const char* keyname);

// The device's screen: its size (VORNIX_SCREEN, default 720x1280) and the platform's scale
// for it (VORNIX_SCREEN_SCALE, default derived from the size: 2.6 for 720x1280).
VORNIX_INSPECT_API void ui_screen(int* w, int* h, double* scale);
// Sets the toolkit's scale for a screen of scale `screen_scale`, as ui_app_main() does.
VORNIX_INSPECT_API void ui_scale_set(double screen_scale);

#ifdef __cplusplus
}
#endif

#endif
