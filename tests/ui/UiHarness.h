// SPDX-License-Identifier: Apache-2.0
// Shared pieces of the form tests: peers into MainForm and Timer, a host device, a form
// fixture, real input events and main loop runs that only the code under test ends.
#ifndef VORNIX_UI_HARNESS_H
#define VORNIX_UI_HARNESS_H

#include <Ecore_Evas.h>
#include <Elementary.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "MainForm.h"
#include "TestDevice.h"
#include "Timer.h"
#include "TimerTestPeer.h"

class MainFormTestPeer {
public:
    static Timer& backTimer(MainForm& f) { return f.backTimer; }
    static bool closeApplication(MainForm& f) { return f.closeApplication; }
    static Evas_Smart_Cb okHandler() { return &MainForm::popup_ok_button_cb; }
    static Evas_Smart_Cb downloadHandler() { return &MainForm::download_button_cb; }
    // Deletes what the launcher keeps for the whole process.
    static void dispose(MainForm& f) {
        if (f.winObject.win) evas_object_del(f.winObject.win);
        f.winObject.win = nullptr;
        if (f.applicationInfo) app_info_destroy(f.applicationInfo);
        f.applicationInfo = nullptr;
    }
};

namespace ui {

const char kHostId[] = "org.example.host";  // 16 characters

struct Host {
    std::string label = "Host App";
    bool icon = true;     // a 128x128 host.png in shared/res
    bool picture = true;  // the form picture in res/
    bool store = false;   // "org.tizen.tizenstore" installed
};

// Installs the host (and the store) on `dev` and makes this process run as the host.
void installHost(vt::TestDevice& dev, const Host& host);

// A form built by app_create on a window of the screen's size (720x1280 unless given),
// at the scale the platform runs it; start() again replaces it.
class FormTest : public testing::Test {
protected:
    void start(const Host& host = Host(), bool tooLow = false, int w = 720, int h = 1280) {
        TearDown();
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
    }

    vt::TestDevice dev;
    std::unique_ptr<MainForm> form;
    app_data_t* ad = nullptr;
};

// Runs the main loop; `act` runs once the window is drawn. True when the code under
// test ended the loop, false when it still ran after `seconds`.
bool runLoop(const std::function<void()>& act, double seconds = 30);

// Real input: a click in the middle of `obj`; a key press on the canvas of `win`.
void click(Evas_Object* obj);
void pressKey(Evas_Object* win, const char* key);
// Clicks `obj` every 0.1 s until the caller deletes the timer: a popup's button takes
// clicks only once the popup has come in.
Ecore_Timer* clickEvery(Evas_Object* obj);
// Runs `*fn` as a job each time `obj` is clicked, so after handlers added before.
void afterClick(Evas_Object* obj, std::function<void()>* fn);

std::vector<Evas_Object*> gridKids(Evas_Object* grid);
inline std::string text(Evas_Object* obj, const char* part = nullptr) {
    const char* t = elm_object_part_text_get(obj, part);
    return t ? t : "";
}

// Log lines as "<priority> <from the file name on>", without tag and pid: one
// src/MainForm.cpp writes, and those `log` caught.
std::string formLine(char prio, const char* func, const char* needle, const std::string& msg);
std::vector<std::string> logged(const vt::LogCapture& log);

// Marker-file tests run against a private /opt/usr/media. In the test process this runs
// the current test again in a private mount namespace with a temporary folder mounted
// there (read-only when asked), checks that it passed and returns false; inside that
// run it returns true. Skips when namespaces are not allowed.
bool inPrivateMedia(bool readOnly = false);
// The temporary folder behind /opt/usr/media inside the private run.
std::string mediaBacking();

}  // namespace ui

#endif
