// SPDX-License-Identifier: Apache-2.0
// The ways the form ends, and what must not end it, driven by real events and timers.
#include <app.h>
#include <app_control.h>

#include <sstream>

#include "UiHarness.h"

namespace {

using FormEvents = ui::FormTest;

TEST_F(FormEvents, WhatEndsTheLoopAndWhatDoesNot) {
    start();
    Timer other(form.get());
    Evas_Object* ok = nullptr;
    Ecore_Timer* clicking = nullptr;
    struct Row {
        const char* what;  // keys pressed on the window when there is no `act`
        std::function<void()> act;
        bool ends;
    } rows[] = {
        {"XF86Back", nullptr, true},
        {"XF86Stop", nullptr, true},
        {"Escape", nullptr, true},
        {"Menu XF86Menu Return a", nullptr, false},
        {"Decline", [&] { ui::click(ad->downloadForm.cancel_button); }, true},
        {"back timer", [&] { EXPECT_EQ(0, MainFormTestPeer::backTimer(*form).start(20)); }, true},
        {"another timer", [&] { EXPECT_EQ(0, other.start(20)); }, false},
        {"callbacks given no form, OK before any popup",
         [&] {
             MainForm::app_pause(nullptr);
             MainForm::app_resume(nullptr);
             MainForm::app_terminate(nullptr);
             MainFormTestPeer::downloadHandler()(nullptr, nullptr, nullptr);
             MainFormTestPeer::okHandler()(nullptr, nullptr, nullptr);
             MainFormTestPeer::okHandler()(form.get(), nullptr, nullptr);
             EXPECT_EQ("", dev.journal());  // nothing was sent
         },
         false},
        {"OK of a popup that does not close the app",
         [&] {
             form->showErrorPopup("T", "M", MainFormTestPeer::okHandler(), false);
             ok = elm_object_part_content_get(ad->popupMessage, "button1");
             clicking = ui::clickEvery(ok);
         },
         false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        std::istringstream keys(r.act ? "" : r.what);
        EXPECT_EQ(r.ends, ui::runLoop(
                              [&] {
                                  if (r.act) r.act();
                                  for (std::string k; keys >> k;) ui::pressKey(ad->win, k.c_str());
                              },
                              0.55));  // 0.5 s after `act`
    }
    if (clicking) ecore_timer_del(clicking);
    EXPECT_EQ(nullptr, TimerTestPeer::pending(other));  // it did expire
    EXPECT_NE(nullptr, ok);
    EXPECT_FALSE(evas_object_visible_get(ad->popupMessage));
    EXPECT_TRUE(evas_object_visible_get(ad->win));
}

// Ended in the foreground, the app is paused (arming the back timer) and then terminated,
// which leaves no timer behind.
TEST_F(FormEvents, BackKeyInTheForegroundPausesThenTerminates) {
    ui::installHost(dev, ui::Host());
    MainForm f;
    static MainForm* form;
    static std::string seen;
    static bool armed, pending;
    form = &f;
    seen.clear();
    ui_app_lifecycle_callback_s cb = {
        [](void* d) {
            ecore_job_add([](void*) { ui::pressKey(form->getWindowObject()->win, "XF86Back"); },
                          nullptr);
            return MainForm::app_create(d);
        },
        [](void* d) {
            seen += "terminate ";
            MainForm::app_terminate(d);
            pending = TimerTestPeer::pending(MainFormTestPeer::backTimer(*form)) != nullptr;
        },
        [](void* d) {
            seen += "pause ";
            MainForm::app_pause(d);
            armed = TimerTestPeer::pending(MainFormTestPeer::backTimer(*form)) != nullptr;
        },
        [](void* d) {
            seen += "resume ";
            MainForm::app_resume(d);
        },
        MainForm::app_control};
    char arg0[] = "vornix";
    char* argv[] = {arg0, nullptr};
    EXPECT_EQ(APP_ERROR_NONE, ui_app_main(1, argv, &cb, &f));
    EXPECT_EQ("pause terminate ", seen);
    EXPECT_TRUE(armed);
    EXPECT_FALSE(pending);
    MainFormTestPeer::dispose(f);
}

TEST_F(FormEvents, AppControlChangesNothingPauseArmsTheBackTimerResumeCancelsIt) {
    start();
    auto snapshot = [&] {
        std::ostringstream s;
        s << (ad->popupMessage != nullptr) << "\n";
        for (Evas_Object* o : ui::gridKids(ad->downloadForm.grid)) {
            int c[4];
            elm_grid_pack_get(o, &c[0], &c[1], &c[2], &c[3]);
            s << evas_object_type_get(o) << " " << ui::text(o) << " " << c[0] << "," << c[1] << ","
              << c[2] << "," << c[3] << " " << evas_object_visible_get(o) << "\n";
        }
        return s.str();
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
    EXPECT_EQ(nullptr, TimerTestPeer::pending(back));

    MainForm::app_resume(form.get());  // resume without pause: nothing
    EXPECT_EQ(nullptr, TimerTestPeer::pending(back));

    MainForm::app_pause(form.get());
    Ecore_Timer* t = TimerTestPeer::pending(back);
    ASSERT_NE(nullptr, t);
    EXPECT_DOUBLE_EQ(10.0, ecore_timer_interval_get(t));
    EXPECT_GT(ecore_timer_pending_get(t), 9.0);
    EXPECT_LE(ecore_timer_pending_get(t), 10.0);

    vt::LogCapture again;
    MainForm::app_pause(form.get());  // the first countdown keeps running
    EXPECT_EQ(t, TimerTestPeer::pending(back));
    ASSERT_EQ(1u, again.lines().size());
    EXPECT_NE(std::string::npos, again.lines()[0].find("mTimer is not NULL!"));

    MainForm::app_resume(form.get());
    EXPECT_EQ(nullptr, TimerTestPeer::pending(back));
}

}  // namespace
