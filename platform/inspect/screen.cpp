// SPDX-License-Identifier: Apache-2.0
// The device's screen, which an app's windows fill, and the scale the toolkit draws at.
#include <Elementary.h>

#include <ctype.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>

#include <vornix/device/environment.h>
#include <vornix/inspect.h>

namespace {

// The device's mobile theme, like the apps made for it, is made for scale 1.8; the desktop
// theme for 1.0. Drawn at the screen's scale over 1.8, the desktop theme and the apps' text
// come out at the sizes the device shows.
const double kThemeBaseScale = 1.8;

// One side of the screen, 1 to 16384 pixels, read whole: a number past the range of an
// int or a long is no size, on 32 bits as on 64.
bool screenSide(const char** s, int* side) {
    char* end = nullptr;
    unsigned long n = isdigit(static_cast<unsigned char>(**s)) ? strtoul(*s, &end, 10) : 0;
    if (n == 0 || n > 16384) return false;
    *side = static_cast<int>(n);
    *s = end;
    return true;
}

// The device's screen, which an app's windows fill.
void screenSize(int* w, int* h) {
    *w = 720;
    *h = 1280;
    const char* s = env::screen();
    int sw = 0, sh = 0;
    if (s && screenSide(&s, &sw) && *s++ == 'x' && screenSide(&s, &sh) && *s == '\0') {
        *w = sw;
        *h = sh;
    }
}

// The platform's scale for a screen: its DPI / 90 x the profile factor (mobile: 0.7 up to
// 4.4 inches, 0.8 above). A desktop has no physical size, so a phone is assumed: 4 inches
// for a screen narrower than 720 pixels (480x800: 1.8), otherwise 5 inches (720x1280: 2.6,
// 1080x1920: 3.9). Rounded to a tenth, as devices configure it.
double derivedScale(int w, int h) {
    bool small = std::min(w, h) < 720;
    double dpi = std::hypot(static_cast<double>(w), static_cast<double>(h)) / (small ? 4.0 : 5.0);
    double scale = std::round(dpi / 90 * (small ? 0.7 : 0.8) * 10) / 10;
    return std::max(scale, 0.1);
}

}  // namespace

void ui_screen(int* w, int* h, double* scale) {
    screenSize(w, h);
    *scale = derivedScale(*w, *h);
    const char* s = env::screenScale();
    char* end = nullptr;
    double v = s ? strtod(s, &end) : 0;
    if (s && end != s && *end == '\0' && v >= 0.1 && v <= 10) *scale = v;
}

void ui_scale_set(double screenScale) {
    elm_config_scale_set(screenScale / kThemeBaseScale);
    // Only objects outside the widgets take edje's own scale: the window's frame, which the
    // desktop theme draws and a device does not have. Scaled, its title bar's hidden offsets
    // round to whole pixels and move the window's content up one (at 2.17) or more.
    edje_scale_set(1.0);
}
