// SPDX-License-Identifier: Apache-2.0
// Looking into a running app's UI without a display, for people and tests: a
// picture and a listing of what its window shows, and real taps and key presses.
#ifndef VORNIX_INSPECT_H
#define VORNIX_INSPECT_H

#include <Ecore_Evas.h>

#include <string>

// Writes <base>.png (the top window's pixels; buffer engine only), then <base>.txt (one
// line per visible widget: type, geometry, grid cell, style, a label's text_size=WxH (its
// formatted text, which may be larger than its box), text), which appears whole. False
// when the listing was not written.
bool ui_inspect_snapshot(const std::string& base);
// Writes the pixels of a buffer-engine canvas as a PNG file.
bool ui_inspect_save_pixels(Ecore_Evas* ee, const std::string& path, bool alpha = false);
// Clicks, with mouse events on the canvas, the visible button whose text is `text`.
bool ui_inspect_tap(const std::string& text);
// Presses and releases the key `keyname` (for example "XF86Back") on the top window.
bool ui_inspect_key(const std::string& keyname);
// Control messages "snapshot <base>", "tap <text>", "key <name>"; false for any other.
bool ui_inspect_control(const std::string& line);
// With VORNIX_SNAPSHOT=<base> set, takes one snapshot shortly after the loop starts.
void ui_inspect_arm_from_environment();

// The device's screen: its size (VORNIX_SCREEN, default 720x1280) and the platform's scale
// for it (VORNIX_SCREEN_SCALE, default derived from the size: 2.6 for 720x1280).
void ui_screen(int* w, int* h, double* scale);
// The device's mobile theme, like the apps made for it, is made for scale 1.8; the desktop
// theme for 1.0. Drawn at the screen's scale over 1.8, the desktop theme and the apps' text
// come out at the sizes the device shows: ui_scale_set() sets the toolkit so, leaving the
// window's frame, which a device does not have, unscaled.
const double kThemeBaseScale = 1.8;
void ui_scale_set(double screenScale);

#endif
