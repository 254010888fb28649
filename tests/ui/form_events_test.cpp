// The ways the form ends, and what must not end it, driven by real events and timers.
#include <app_control.h>

#include <memory>

#include "UiHarness.h"

namespace {

// Ends the loop some time after everything the test started; reached only when
// nothing ended it earlier.
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

class FormEvents : public testing::Test {
protected:
    void SetUp() override {
        ui::installHost(dev, ui::Host());
        form.reset(new MainForm);
        ad = form->getWindowObject();
        ASSERT_TRUE(MainForm::app_create(form.get()));
        evas_object_resize(ad->win, 720, 1280);
    }
    void TearDown() override {
        if (form) MainFormTestPeer::dispose(*form);
    }

    vt::TestDevice dev;
    std::unique_ptr<MainForm> form;
    app_data_t* ad = nullptr;
};

TEST_F(FormEvents, BackKeysEndTheLoop) {
    for (const char* key : {"XF86Back", "XF86Stop", "Escape"}) {
        SCOPED_TRACE(key);
        EXPECT_TRUE(ui::runLoop([&] { ui::pressKey(ad->win, key); }));
    }
}

TEST_F(FormEvents, OtherKeysAndTheMenuKeyDoNot) {
    Sentinel s;
    ASSERT_TRUE(ui::runLoop([&] {
        for (const char* key : {"Menu", "XF86Menu", "Return", "a"}) ui::pressKey(ad->win, key);
        s.arm(0.2);
    }));
    EXPECT_TRUE(s.reached);
}

TEST_F(FormEvents, DeclineEndsTheLoop) {
    EXPECT_TRUE(ui::runLoop([&] { ui::click(ad->downloadForm.cancel_button); }));
}

TEST_F(FormEvents, PauseArmsTheBackTimerAndResumeCancelsIt) {
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

    vt::LogCapture log;
    MainForm::app_pause(form.get());  // the first countdown keeps running
    EXPECT_EQ(t, TimerTestPeer::pending(back));
    ASSERT_EQ(1u, log.lines().size());
    EXPECT_NE(std::string::npos, log.lines()[0].find("mTimer is not NULL!"));

    MainForm::app_resume(form.get());
    EXPECT_EQ(nullptr, TimerTestPeer::pending(back));
}

TEST_F(FormEvents, OnlyTheBackTimerEndsTheApp) {
    struct Row {
        bool own;
        bool ends;
    } rows[] = {{false, false}, {true, true}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.own ? "back timer" : "another timer");
        Timer other(form.get());
        Timer& timer = r.own ? MainFormTestPeer::backTimer(*form) : other;
        Sentinel s;
        EXPECT_TRUE(ui::runLoop([&] {
            ASSERT_EQ(0, timer.start(20));
            s.arm(0.5);
        }));
        EXPECT_EQ(r.ends, !s.reached);
    }
}

TEST_F(FormEvents, AppControlWhileShownChangesNothing) {
    auto snapshot = [&] {
        std::string s;
        Eina_List* kids = elm_grid_children_get(ad->downloadForm.grid);
        Eina_List* it;
        void* kid;
        EINA_LIST_FOREACH(kids, it, kid) {
            auto* o = static_cast<Evas_Object*>(kid);
            int c[4];
            elm_grid_pack_get(o, &c[0], &c[1], &c[2], &c[3]);
            const char* t = elm_object_part_text_get(o, nullptr);
            s += std::string(evas_object_type_get(o)) + " " + (t ? t : "") + " " +
                 std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]) +
                 "," + std::to_string(c[3]) + (evas_object_visible_get(o) ? " shown\n" : "\n");
        }
        eina_list_free(kids);
        return s + (ad->popupMessage ? "popup" : "");
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

TEST_F(FormEvents, PopupOkWithoutCloseOnlyHidesIt) {
    form->showErrorPopup("T", "M", MainFormTestPeer::okHandler(), false);
    Evas_Object* ok = elm_object_part_content_get(ad->popupMessage, "button1");
    ASSERT_NE(nullptr, ok);
    Sentinel s;
    // Called after the form's own handler: the sentinel is armed once OK was handled.
    evas_object_smart_callback_add(
        ok, "clicked",
        [](void* data, Evas_Object*, void*) { static_cast<Sentinel*>(data)->arm(0.2); }, &s);
    EXPECT_TRUE(ui::runLoop([&] { ui::pressOk(ok); }));
    EXPECT_TRUE(s.reached);
    EXPECT_FALSE(evas_object_visible_get(ad->popupMessage));
    EXPECT_TRUE(evas_object_visible_get(ad->win));
}

}  // namespace
