// Looking into a running app's UI without a display, for people and tests: a
// picture and a listing of what its window shows, and real taps and key presses.
#ifndef VORNIX_PLATFORM_UI_INSPECT_H
#define VORNIX_PLATFORM_UI_INSPECT_H

#include <Ecore_Evas.h>

#include <string>

// Writes <base>.png (the top window's pixels; buffer engine only), then <base>.txt (one
// line per visible widget: type, geometry, grid cell, text), which appears whole. False
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

#endif
