// Shared pieces of the form tests: peers into MainForm and Timer, a host device, real
// input events and a main loop run that ends only when the code under test ends it.
#ifndef VORNIX_UI_HARNESS_H
#define VORNIX_UI_HARNESS_H

#include <Ecore_Evas.h>
#include <Elementary.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "MainForm.h"
#include "TestDevice.h"
#include "Timer.h"

class TimerTestPeer {
public:
    static Ecore_Timer* pending(Timer& t) { return t.mTimer; }
};

class MainFormTestPeer {
public:
    static Timer& backTimer(MainForm& f) { return f.backTimer; }
    static void expire(MainForm& f, Timer& t) { f.onTimerExpired(t); }
    static bool closeApplication(MainForm& f) { return f.closeApplication; }
    static const string& iconPath(MainForm& f) { return f.applicationIconPath; }
    static Evas_Smart_Cb okHandler() { return &MainForm::popup_ok_button_cb; }
    // What a test's form leaves: its window, and the information handle the launcher
    // keeps for the whole process.
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
    bool icon = true;     // host.png shipped in shared/res
    bool picture = true;  // the form picture shipped in res/
    bool store = false;   // "org.tizen.tizenstore" installed
};

// Installs the host (and the store) on `dev` and makes this process run as the host.
void installHost(vt::TestDevice& dev, const Host& host);

// Runs the main loop; `act` runs once the window is drawn. True when the code under
// test ended the loop, false when the watchdog had to (the test then fails anyway).
bool runLoop(const std::function<void()>& act);

// A real click: pointer moved to the middle of `obj`, pressed and released.
void click(Evas_Object* obj);
// The popup's OK. Upstream EFL's theme has no "popup" style for popups, so the button
// gets no size and cannot be hit with the pointer: its "clicked" is raised directly.
void pressOk(Evas_Object* ok);
// A real key press on the canvas of `win`.
void pressKey(Evas_Object* win, const char* key);

// The red, green and blue of one pixel of the window as last drawn.
void pixelAt(Evas_Object* win, int x, int y, int rgb[3]);

bool inGrid(Evas_Object* grid, Evas_Object* obj);

// A log line from "<file>: " on: the part that does not depend on the tag or the pid.
std::string body(const std::string& line);

// Marker-file tests run against a private /opt/usr/media. In the test process this runs
// the current test again in a private mount namespace with a temporary folder mounted
// there (read-only when asked) and returns false after checking it passed; inside that
// run it returns true and the test does its work. Skips when namespaces are not allowed.
bool inPrivateMedia(bool readOnly = false);
// The temporary folder behind /opt/usr/media inside the private run.
std::string mediaBacking();

}  // namespace ui

#endif
