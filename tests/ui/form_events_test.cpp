// SPDX-License-Identifier: Apache-2.0
// The ways the form ends, and what must not end it, driven by real events and timers.
#include <app.h>
#include <app_control.h>

#include <sstream>

#include "TimerTestPeer.h"
#include "UiHarness.h"

namespace {

using FormEvents = ui::FormTest;

TEST_F(FormEvents, WhatEndsTheLoopAndWhatDoesNot) {
    start();
    Timer other(form.get());
    Ecore_Timer* tapping = nullptr;
    auto handled = [] { return true; };  // all done within `act`
    struct Row {
        const char* what;  // keys pressed on the window when there is no `act`
        std::function<void()> act;
        std::function<bool()> until;  // once the row's events are handled; none when it ends
    } rows[] = {
        {"XF86Back", {}, {}},
        {"XF86Stop", {}, {}},
        {"Escape", {}, {}},
        {"Menu XF86Menu Return a", nullptr, handled},
        {"Decline", [] { ui_inspect_tap("Decline"); }, {}},
        {"back timer", [&] { MainFormTestPeer::backTimer(*form).start(20); }, {}},
        {"another timer", [&] { other.start(20); }, [&] { return !TimerTestPeer::pending(other); }},
        {"callbacks given no form, OK before any popup",
         [&] {
             MainForm::app_pause(nullptr);
             MainForm::app_resume(nullptr);
             MainForm::app_terminate(nullptr);
             MainFormTestPeer::okHandler()(nullptr, nullptr, nullptr);
             MainFormTestPeer::okHandler()(form.get(), nullptr, nullptr);
         },
         handled},
        {"OK of a popup that does not close the app",
         [&] {
             form->showErrorPopup("T", "M", MainFormTestPeer::okHandler(), false);
             tapping = ui::tapEvery("OK");
         },
         [&] { return !evas_object_visible_get(ad->popupMessage); }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        std::istringstream keys(r.act ? "" : r.what);
        auto act = [&] {
            if (r.act) r.act();
            for (std::string k; keys >> k;) ui_inspect_key(k);
        };
        EXPECT_EQ(!r.until, ui::runLoop(act, r.until));
        EXPECT_TRUE(!r.until || r.until()) << "not handled in time";
    }
    if (tapping) ecore_timer_del(tapping);
    EXPECT_EQ("", dev.journal());  // nothing was sent
}

// Ended in the foreground, the app is paused (arming the back timer) and then terminated,
// which leaves no timer behind.
MainForm* gForm;
std::string gSeen;
void note(const char* what) {
    bool armed = TimerTestPeer::pending(MainFormTestPeer::backTimer(*gForm)) != nullptr;
    gSeen += what + std::string(armed ? " armed " : " idle ");
}

TEST_F(FormEvents, BackKeyInTheForegroundPausesThenTerminates) {
    ui::installHost(dev);
    MainForm f;
    gForm = &f;
    ui_app_lifecycle_callback_s cb = {
        [](void* d) {
            ecore_job_add([](void*) { ui_inspect_key("XF86Back"); }, nullptr);
            return MainForm::app_create(d);
        },
        [](void* d) { MainForm::app_terminate(d), note("terminate"); },
        [](void* d) { MainForm::app_pause(d), note("pause"); },
        [](void* d) { MainForm::app_resume(d), note("resume"); }, MainForm::app_control};
    char arg0[] = "vornix";
    char* argv[] = {arg0, nullptr};
    EXPECT_EQ(APP_ERROR_NONE, ui_app_main(1, argv, &cb, &f));
    EXPECT_EQ("pause armed terminate idle ", gSeen);
    MainFormTestPeer::dispose(f);
}

TEST_F(FormEvents, AppControlChangesNothingPauseArmsTheBackTimerResumeCancelsIt) {
    start();
    auto snapshot = [&] {  // what the window shows
        std::string base = dev.path() + "/shown";
        EXPECT_TRUE(ui_inspect_snapshot(base));
        return vt::readFile(base + ".txt");
    };
    std::string before = snapshot();
    app_control_h request = nullptr;
    ASSERT_EQ(0, app_control_create(&request));
    app_control_set_operation(request, APP_CONTROL_OPERATION_VIEW);
    app_control_set_uri(request, "tizenstore://ProductDetail/OTHER");
    vt::LogCapture log;
    MainForm::app_control(request, form.get());
    app_control_destroy(request);
    EXPECT_EQ(before, snapshot());
    EXPECT_TRUE(log.lines().empty());

    Timer& back = MainFormTestPeer::backTimer(*form);
    MainForm::app_resume(form.get());  // resume without pause: nothing
    EXPECT_EQ(nullptr, TimerTestPeer::pending(back));
    MainForm::app_pause(form.get());
    Ecore_Timer* t = TimerTestPeer::pending(back);
    ASSERT_NE(nullptr, t);
    EXPECT_DOUBLE_EQ(10.0, ecore_timer_interval_get(t));
    MainForm::app_pause(form.get());  // the first countdown keeps running
    EXPECT_EQ(t, TimerTestPeer::pending(back));
    EXPECT_EQ(1u, log.lines().size());  // the timer's refusal
    MainForm::app_resume(form.get());
    EXPECT_EQ(nullptr, TimerTestPeer::pending(back));
}

}  // namespace
