// The ways the form ends, and what must not end it, driven by real events and timers.
#include <app_control.h>

#include "UiHarness.h"

namespace {

// Ends the loop some time after it was armed; reached only when nothing ended it earlier.
struct Sentinel {
    bool reached = false;
    Ecore_Timer* timer = nullptr;

    void arm(double seconds) {
        timer = ecore_timer_add(
            seconds,
            [](void* data) -> Eina_Bool {
                auto* s = static_cast<Sentinel*>(data);
                s->reached = true;
                s->timer = nullptr;
                elm_exit();
                return ECORE_CALLBACK_CANCEL;
            },
            this);
    }
    ~Sentinel() {
        if (timer) ecore_timer_del(timer);
    }
};

class FormEvents : public ui::FormTest {
protected:
    void SetUp() override { start(); }
};

TEST_F(FormEvents, WhatEndsTheLoopAndWhatDoesNot) {
    auto keys = [this](std::vector<const char*> ks) {
        return [this, ks] {
            for (const char* k : ks) ui::pressKey(ad->win, k);
        };
    };
    Timer other(form.get());
    Evas_Object* ok = nullptr;
    struct Row {
        const char* what;
        std::function<void()> act;
        bool ends;
    } rows[] = {
        {"XF86Back", keys({"XF86Back"}), true},
        {"XF86Stop", keys({"XF86Stop"}), true},
        {"Escape", keys({"Escape"}), true},
        {"other keys and the menu key", keys({"Menu", "XF86Menu", "Return", "a"}), false},
        {"Decline", [&] { ui::click(ad->downloadForm.cancel_button); }, true},
        {"back timer", [&] { EXPECT_EQ(0, MainFormTestPeer::backTimer(*form).start(20)); }, true},
        {"another timer", [&] { EXPECT_EQ(0, other.start(20)); }, false},
        {"OK of a popup that does not close the app",
         [&] {
             form->showErrorPopup("T", "M", MainFormTestPeer::okHandler(), false);
             ok = elm_object_part_content_get(ad->popupMessage, "button1");
             ui::pressOk(ok);
         },
         false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        Sentinel s;
        EXPECT_TRUE(ui::runLoop([&] {
            r.act();
            s.arm(0.5);
        }));
        EXPECT_EQ(r.ends, !s.reached);
    }
    EXPECT_EQ(nullptr, TimerTestPeer::pending(other));  // it did expire
    EXPECT_NE(nullptr, ok);
    EXPECT_FALSE(evas_object_visible_get(ad->popupMessage));
    EXPECT_TRUE(evas_object_visible_get(ad->win));
}

TEST_F(FormEvents, PauseArmsTheBackTimerAndResumeCancelsIt) {
    Timer& back = MainFormTestPeer::backTimer(*form);
    MainForm::app_resume(form.get());  // resume without pause: nothing
    EXPECT_EQ(nullptr, TimerTestPeer::pending(back));

    MainForm::app_pause(form.get());
    Ecore_Timer* t = TimerTestPeer::pending(back);
    ASSERT_NE(nullptr, t);
    EXPECT_DOUBLE_EQ(10.0, ecore_timer_interval_get(t));
    EXPECT_GT(ecore_timer_pending_get(t), 9.0);
    EXPECT_LE(ecore_timer_pending_get(t), 10.0);

    vt::LogCapture log;
    MainForm::app_pause(form.get());  // the first countdown keeps running
    EXPECT_EQ(t, TimerTestPeer::pending(back));
    ASSERT_EQ(1u, log.lines().size());
    EXPECT_NE(std::string::npos, log.lines()[0].find("mTimer is not NULL!"));

    MainForm::app_resume(form.get());
    EXPECT_EQ(nullptr, TimerTestPeer::pending(back));
}

TEST_F(FormEvents, AppControlWhileShownChangesNothing) {
    auto snapshot = [&] {
        std::string s = ad->popupMessage ? "popup\n" : "";
        for (Evas_Object* o : ui::gridKids(ad->downloadForm.grid)) {
            int c[4];
            elm_grid_pack_get(o, &c[0], &c[1], &c[2], &c[3]);
            const char* t = elm_object_part_text_get(o, nullptr);
            s += std::string(evas_object_type_get(o)) + " " + (t ? t : "") + " " +
                 std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]) +
                 "," + std::to_string(c[3]) + (evas_object_visible_get(o) ? " shown\n" : "\n");
        }
        return s;
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
    EXPECT_EQ(nullptr, TimerTestPeer::pending(MainFormTestPeer::backTimer(*form)));
}

}  // namespace
