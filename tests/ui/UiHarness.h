// SPDX-License-Identifier: Apache-2.0
// Shared pieces of the UI tests: a peer into MainForm, a host, a form fixture, main loop
// runs. Real taps and key presses come from the platform's ui_inspect_tap() and _key().
#ifndef VORNIX_UI_HARNESS_H
#define VORNIX_UI_HARNESS_H

#include <Elementary.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>

#include <vornix/inspect.h>

#include "MainForm.h"
#include "MainLoop.h"
#include "TestDevice.h"

class MainFormTestPeer {
public:
    static Timer& backTimer(MainForm& f) { return f.backTimer; }
    static Evas_Smart_Cb okHandler() { return &MainForm::popup_ok_button_cb; }
    // Deletes what the launcher keeps for the whole process.
    static void dispose(MainForm& f) {
        if (f.winObject.win) evas_object_del(f.winObject.win);
        f.winObject.win = nullptr;
        if (f.applicationInfo) app_info_destroy(f.applicationInfo);
        f.applicationInfo = nullptr;
    }
};

namespace ui {

// One Elementary for the whole test program, on the buffer engine main() chose.
struct Elementary : testing::Environment {
    void SetUp() override { elm_init(0, nullptr); }
    void TearDown() override { elm_shutdown(); }
};
inline testing::Environment* const gElementary = testing::AddGlobalTestEnvironment(new Elementary);

const char kHostId[] = "org.example.host";  // 16 characters

struct Host {
    std::string label = "Host App";
    bool icon = true;     // a 128x128 host.png in shared/res
    bool picture = true;  // the form picture in res/
};

// Installs the host on `dev` and makes this process run as the host.
inline void installHost(vt::TestDevice& dev, const Host& host = Host()) {
    vt::PackageSpec p = vt::hostPackage(host.label);
    std::string src = vt::sourceDir();
    if (host.icon)
        p.copies["shared/res/host.png"] =
            src + "/demo/packages/org.example.hello/shared/res/hello.png";
    if (host.picture)
        p.copies["res/screen-density-high/download-QOR.png"] =
            src + "/resources/screen-density-high/download-QOR.png";
    dev.install(p);
    dev.activate(kHostId);
}

// A form built by app_create on the given screen, at its scale; start() again replaces it.
class FormTest : public testing::Test {
protected:
    void start(const Host& host = Host(), bool tooLow = false, const char* screen = "720x1280") {
        TearDown();
        setenv(env::kScreen, screen, 1);
        double scale;
        ui_screen(&w, &h, &scale);
        ui_scale_set(scale);  // as ui_app_main sets it
        installHost(dev, host);
        form = std::make_unique<MainForm>();
        form->setVersionTooLow(tooLow);
        ad = form->getWindowObject();
        ASSERT_TRUE(MainForm::app_create(form.get()));
        evas_object_resize(ad->win, w, h);
        evas_smart_objects_calculate(evas_object_evas_get(ad->win));
    }
    void TearDown() override {
        if (form) MainFormTestPeer::dispose(*form);
        unsetenv(env::kScreen);
    }

    vt::TestDevice dev;
    std::unique_ptr<MainForm> form;
    app_data_t* ad = nullptr;
    int w = 0, h = 0;  // the screen's
};

// Runs the main loop, `act` once the window is drawn. True when the code under test ended
// the loop; false when 30 seconds or `until` ended it. `until` must hold on two polls in a
// row: an exit asked for before the first of them has ended the loop by the second.
inline bool runLoop(const std::function<void()>& act, const std::function<bool()>& until = {}) {
    bool acted = false, stopped = false;
    int held = 0;
    double deadline = ecore_time_get() + 30;
    vt::runUntil(
        [&] {
            if (!acted) return acted = true, act(), false;
            held = until && until() ? held + 1 : 0;
            return stopped = stopped || held == 2;
        },
        30, 0.05);
    return !stopped && ecore_time_get() < deadline;
}

// Taps the button reading `label` every 0.1 s while the timer lives (a popup's button takes
// taps only once the popup has come in).
inline Ecore_Timer* tapEvery(const char* label) {
    auto tap = [](void* l) { return ui_inspect_tap(static_cast<const char*>(l)), EINA_TRUE; };
    return ecore_timer_add(0.1, tap, const_cast<char*>(label));
}

inline std::string text(Evas_Object* obj, const char* part = nullptr) {
    const char* t = elm_object_part_text_get(obj, part);
    return t ? t : "";
}
// Log lines without tag and pid (the tag is the name of the first host that logged).
inline std::string formLine(char prio, const char* func, const std::string& msg) {
    return vt::logBody(vt::logLine(prio, "", "MainForm.cpp", func, msg));
}
inline std::vector<std::string> logged(const vt::LogCapture& log) {
    std::vector<std::string> out;
    for (const std::string& l : log.lines()) out.push_back(vt::logBody(l));
    return out;
}

}  // namespace ui

#endif
