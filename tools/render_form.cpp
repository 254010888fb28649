// SPDX-License-Identifier: Apache-2.0
// render-form: draws the download form of both variants and its error popup on the buffer
// engine, as a phone shows them, and saves form-install, form-upgrade and form-error, each
// as a picture (.png) and a listing of its widgets (.txt, with the label's text size).
//
//   render-form OUTPUT_DIR [HOST_NAME]
//
// The screen is 720x1280 at scale 2.6 unless VORNIX_SCREEN and VORNIX_SCREEN_SCALE say
// otherwise.
// The host runs from a scratch device folder with a generated icon and the form picture
// of this source tree; nothing outside OUTPUT_DIR and the temporary folder is written.
#include <Ecore_Evas.h>
#include <Elementary.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include <vornix/inspect.h>

#include "MainForm.h"
#include "devkit.h"

namespace {

// A rounded tile in two blues with the host's initial, as an app icon looks.
bool makeIcon(const std::string& path, const std::string& name) {
    const int n = 160;
    Ecore_Evas* ee = ecore_evas_buffer_new(n, n);
    Evas* e = ecore_evas_get(ee);
    ecore_evas_alpha_set(ee, EINA_TRUE);
    std::vector<unsigned int> px(n * n);
    const double r = 34;
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            double dx = x < r ? r - x : (x > n - 1 - r ? x - (n - 1 - r) : 0);
            double dy = y < r ? r - y : (y > n - 1 - r ? y - (n - 1 - r) : 0);
            if (dx * dx + dy * dy > r * r) continue;
            double t = static_cast<double>(x + y) / (2 * n);
            unsigned int red = static_cast<unsigned int>(0x2a + t * (0x7b - 0x2a));
            unsigned int green = static_cast<unsigned int>(0x9d + t * (0x4f - 0x9d));
            unsigned int blue = static_cast<unsigned int>(0xf4 + t * (0xe0 - 0xf4));
            px[y * n + x] = 0xff000000u | red << 16 | green << 8 | blue;
        }
    }
    Evas_Object* tile = evas_object_image_filled_add(e);
    evas_object_image_alpha_set(tile, EINA_TRUE);
    evas_object_image_size_set(tile, n, n);
    evas_object_image_data_copy_set(tile, px.data());
    evas_object_resize(tile, n, n);
    evas_object_show(tile);
    Evas_Object* letter = evas_object_text_add(e);
    evas_object_text_font_set(letter, "Sans:style=Bold", 92);
    std::string initial = name.empty() ? "?" : name.substr(0, 1);
    evas_object_text_text_set(letter, initial.c_str());
    evas_object_color_set(letter, 255, 255, 255, 255);
    int lw = 0, lh = 0;
    evas_object_geometry_get(letter, nullptr, nullptr, &lw, &lh);
    evas_object_move(letter, (n - lw) / 2, (n - lh) / 2);
    evas_object_show(letter);
    bool ok = ui_inspect_save_pixels(ee, path.c_str(), true);
    ecore_evas_free(ee);
    return ok;
}

// A scratch device with the host installed, and this process running as the host.
bool makeDevice(const std::string& dev, const std::string& name, std::string* err) {
    if (device::createDevice(dev, err) != device::OK) return false;
    std::string icon = dev + "/.host-icon.png";
    if (!makeIcon(icon, name)) {
        *err = "cannot draw the icon";
        return false;
    }
    devkit::PackageSpec host = devkit::hostPackage(name);
    host.privileges.clear();  // the form alone asks nothing of the package manager
    host.copies["res/screen-density-high/download-QOR.png"] =
        VORNIX_SOURCE_DIR "/resources/screen-density-high/download-QOR.png";
    host.copies["shared/res/host.png"] = icon;
    if (!devkit::installPackage(dev, host, err)) return false;
    setenv(env::kDevice, dev.c_str(), 1);
    setenv(env::kAppId, devkit::kHostId, 1);
    return true;
}

struct Shot {
    std::string base;
    bool ok = false;
};

Eina_Bool shoot(void* data) {
    auto* s = static_cast<Shot*>(data);
    s->ok = ui_inspect_snapshot(s->base.c_str());
    elm_exit();
    return ECORE_CALLBACK_CANCEL;
}

// The form of one variant, or the install variant with the popup of a refused store request.
bool render(bool upgrade, bool popup, const std::string& base) {
    int w, h;
    double scale;
    ui_screen(&w, &h, &scale);
    ui_scale_set(scale);
    MainForm form;
    form.setVersionTooLow(upgrade);
    if (!MainForm::app_create(&form)) return false;
    Evas_Object* win = form.getWindowObject()->win;
    evas_object_resize(win, w, h);
    if (popup) form.tizenStoreLaunchFailed();
    // Drawn after the theme, the text and the picture have settled.
    Shot shot{base};
    ecore_timer_add(0.5, shoot, &shot);
    elm_run();
    evas_object_del(win);
    return shot.ok;
}

void removeTree(const std::string& dir) {
    if (!devkit::removeTree(dir)) fprintf(stderr, "render-form: left %s behind\n", dir.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: %s OUTPUT_DIR [HOST_NAME]\n", argv[0]);
        return 2;
    }
    std::string out = argv[1];
    std::string name = argc > 2 ? argv[2] : "Host App";
    setenv("ELM_ENGINE", "buffer", 1);
    if (!getenv(env::kDlogStderr)) setenv(env::kDlogStderr, "0", 1);
    setenv(env::kDlogFile, "/dev/null", 0);
    // Without a system bus the toolkit complains at start; no backtraces for that.
    setenv("EINA_LOG_BACKTRACE", "-1", 0);
    if (mkdir(out.c_str(), 0755) != 0 && errno != EEXIST) {
        fprintf(stderr, "render-form: cannot make %s: %s\n", out.c_str(), strerror(errno));
        return 1;
    }

    char tmpl[] = "/tmp/render-form-XXXXXX";
    if (!mkdtemp(tmpl)) {
        perror("render-form: mkdtemp");
        return 1;
    }
    std::string dev = tmpl;
    elm_init(argc, argv);
    std::string err;
    int status = 0;
    if (!makeDevice(dev, name, &err)) {
        fprintf(stderr, "render-form: %s\n", err.c_str());
        status = 1;
    } else {
        for (const char* name : {"install", "upgrade", "error"}) {
            std::string base = out + "/form-" + name;
            if (!render(strcmp(name, "upgrade") == 0, strcmp(name, "error") == 0, base)) {
                fprintf(stderr, "render-form: cannot write %s.png\n", base.c_str());
                status = 1;
            } else {
                printf("%s.png\n", base.c_str());
            }
        }
    }
    elm_shutdown();
    removeTree(dev);
    return status;
}
