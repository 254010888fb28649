// The desktop UI application framework and the hardware keys, on the real toolkit.
#include <app.h>
#include <efl_extension.h>
#include <signal.h>
#include <unistd.h>

#include "UiHarness.h"
#include "device.h"

namespace {

// One ui_app_main run: the callbacks write what happened and take the next step.
struct AppRun {
    vt::TestDevice* dev = nullptr;
    Evas_Object* win = nullptr;
    std::vector<std::string> seen;
    std::function<void(AppRun&)> next;  // runs as a job after every callback
    bool announced = false;
    int w = 0, h = 0;  // the window's size once the loop runs

    void step() {
        ecore_job_add([](void* d) { static_cast<AppRun*>(d)->next(*static_cast<AppRun*>(d)); },
                      this);
    }
    void send(const char* message) { device::sendControl(dev->path(), ui::kHostId, message); }
};

bool onCreate(void* data) {
    auto* r = static_cast<AppRun*>(data);
    r->seen.push_back("create");
    r->announced = device::runningPid(r->dev->path(), ui::kHostId) == getpid() &&
                   vt::exists(device::controlFifo(r->dev->path(), ui::kHostId));
    r->win = elm_win_util_standard_add("t", "t");
    evas_object_resize(r->win, 100, 100);
    evas_object_show(r->win);
    r->step();
    return true;
}

void onTerminate(void* data) { static_cast<AppRun*>(data)->seen.push_back("terminate"); }

void onPause(void* data) {
    static_cast<AppRun*>(data)->seen.push_back("pause");
    static_cast<AppRun*>(data)->step();
}

void onResume(void* data) {
    static_cast<AppRun*>(data)->seen.push_back("resume");
    static_cast<AppRun*>(data)->step();
}

void onAppControl(app_control_h request, void* data) {
    char* op = nullptr;
    char* uri = nullptr;
    app_control_get_operation(request, &op);
    app_control_get_uri(request, &uri);
    static_cast<AppRun*>(data)->seen.push_back(std::string("app_control ") + (op ? op : "") +
                                               (uri ? std::string(" ") + uri : ""));
    free(op);
    free(uri);
    static_cast<AppRun*>(data)->step();
}

int runApp(AppRun& r) {
    char arg0[] = "vornix";
    char* argv[] = {arg0, nullptr};
    ui_app_lifecycle_callback_s cb = {onCreate, onTerminate, onPause, onResume, onAppControl};
    return ui_app_main(1, argv, &cb, &r);
}

class UiApp : public testing::Test {
protected:
    void SetUp() override { ui::installHost(dev, ui::Host()); }
    vt::TestDevice dev;
};

TEST_F(UiApp, ControlMessagesAndWindowsDrivePauseAndResume) {
    AppRun r;
    r.dev = &dev;
    int n = 0;
    r.next = [&n](AppRun& r) {
        switch (n++) {
            case 0:  // after create: the launch request comes next
                evas_object_geometry_get(r.win, nullptr, nullptr, &r.w, &r.h);
                break;
            case 1:
                r.send("pause");
                break;
            case 2:  // paused: a second pause is no change, resume is
                r.send("pause");
                r.send("resume");
                break;
            case 3:
                evas_object_hide(r.win);
                break;
            case 4:
                evas_object_show(r.win);
                break;
            case 5: {
                // A request to the running app itself arrives over its FIFO.
                app_control_h h = nullptr;
                app_control_create(&h);
                app_control_set_app_id(h, ui::kHostId);
                app_control_set_operation(h, APP_CONTROL_OPERATION_VIEW);
                app_control_set_uri(h, "file:///x");
                EXPECT_EQ(0, app_control_send_launch_request(h, nullptr, nullptr));
                app_control_destroy(h);
                break;
            }
            default:
                r.send("resume");
                r.send("bogus");
                r.send("terminate");
        }
    };
    EXPECT_EQ(APP_ERROR_NONE, runApp(r));
    std::vector<std::string> expected = {"create",
                                         "app_control " APP_CONTROL_OPERATION_MAIN,
                                         "pause",
                                         "resume",
                                         "pause",
                                         "resume",
                                         "app_control " APP_CONTROL_OPERATION_VIEW " file:///x",
                                         "terminate"};
    EXPECT_EQ(expected, r.seen);
    EXPECT_TRUE(r.announced);
    EXPECT_EQ(720, r.w);  // a device's screen unless VORNIX_SCREEN says otherwise
    EXPECT_EQ(1280, r.h);
    evas_object_del(r.win);
    EXPECT_FALSE(vt::exists(device::pidFile(dev.path(), ui::kHostId)));
    EXPECT_FALSE(vt::exists(device::controlFifo(dev.path(), ui::kHostId)));
}

TEST_F(UiApp, SignalsEndTheLoop) {
    setenv("VORNIX_SCREEN", "480x800", 1);
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        AppRun r;
        r.dev = &dev;
        bool raised = false;
        r.next = [&](AppRun& r) {
            if (!raised) evas_object_geometry_get(r.win, nullptr, nullptr, &r.w, &r.h);
            if (!raised) raise(sig);
            raised = true;
        };
        EXPECT_EQ(APP_ERROR_NONE, runApp(r));
        EXPECT_EQ("terminate", r.seen.back());
        EXPECT_EQ(480, r.w);
        EXPECT_EQ(800, r.h);
        evas_object_del(r.win);
    }
    unsetenv("VORNIX_SCREEN");
}

TEST_F(UiApp, RefusedCallsAndACreateThatFails) {
    char arg0[] = "vornix";
    char* argv[] = {arg0, nullptr};
    ui_app_lifecycle_callback_s ok = {onCreate, onTerminate, nullptr, nullptr, nullptr};
    ui_app_lifecycle_callback_s noCreate = {nullptr, onTerminate, nullptr, nullptr, nullptr};
    AppRun r;
    struct Row {
        int argc;
        char** argv;
        ui_app_lifecycle_callback_s* cb;
    } rows[] = {{1, argv, nullptr}, {1, argv, &noCreate}, {0, argv, &ok}, {1, nullptr, &ok}};
    for (const Row& row : rows)
        EXPECT_EQ(APP_ERROR_INVALID_PARAMETER, ui_app_main(row.argc, row.argv, row.cb, &r));
    EXPECT_TRUE(r.seen.empty());

    // Nested while running, and a create that fails: no loop, no terminate.
    static int nested;
    static bool terminated;
    ui_app_lifecycle_callback_s failing = {
        [](void* d) {
            char a[] = "x";
            char* v[] = {a, nullptr};
            nested = ui_app_main(1, v, static_cast<ui_app_lifecycle_callback_s*>(d), nullptr);
            return false;
        },
        [](void*) { terminated = true; }, nullptr, nullptr, nullptr};
    EXPECT_EQ(APP_ERROR_NONE, ui_app_main(1, argv, &failing, &failing));
    EXPECT_EQ(APP_ERROR_ALREADY_RUNNING, nested);
    EXPECT_FALSE(terminated);
    EXPECT_FALSE(vt::exists(device::pidFile(dev.path(), ui::kHostId)));
}

TEST_F(UiApp, EventHandlersAreKeptAndOrientationIsUpright) {
    app_event_cb cb = [](app_event_info_h, void*) {};
    app_event_handler_h h = nullptr;
    EXPECT_EQ(APP_ERROR_INVALID_PARAMETER,
              ui_app_add_event_handler(nullptr, APP_EVENT_LOW_MEMORY, cb, nullptr));
    EXPECT_EQ(APP_ERROR_INVALID_PARAMETER,
              ui_app_add_event_handler(&h, APP_EVENT_LOW_MEMORY, nullptr, nullptr));
    EXPECT_EQ(APP_ERROR_INVALID_PARAMETER,
              ui_app_add_event_handler(&h, static_cast<app_event_type_e>(42), cb, nullptr));
    ASSERT_EQ(APP_ERROR_NONE,
              ui_app_add_event_handler(&h, APP_EVENT_LANGUAGE_CHANGED, cb, nullptr));
    EXPECT_EQ(APP_ERROR_NONE, ui_app_remove_event_handler(h));
    EXPECT_EQ(APP_ERROR_INVALID_PARAMETER, ui_app_remove_event_handler(h));
    EXPECT_EQ(APP_ERROR_INVALID_PARAMETER, ui_app_remove_event_handler(nullptr));
    EXPECT_EQ(APP_DEVICE_ORIENTATION_0, app_get_device_orientation());
}

// --- hardware keys ---

struct Hits {
    std::vector<std::string> got;
};

void backCb(void* data, Evas_Object* obj, void*) {
    static_cast<Hits*>(data)->got.push_back(std::string("back ") + evas_object_type_get(obj));
}

void moreCb(void* data, Evas_Object* obj, void*) {
    static_cast<Hits*>(data)->got.push_back(std::string("more ") + evas_object_type_get(obj));
}

TEST(HardwareKeys, BackAndMoreReachTheTopmostVisibleObject) {
    Evas_Object* win = elm_win_util_standard_add("k", "k");
    evas_object_resize(win, 200, 200);
    evas_object_show(win);
    Evas_Object* popup = elm_popup_add(win);
    Hits winHits, popupHits;
    eext_object_event_callback_add(win, EEXT_CALLBACK_BACK, backCb, &winHits);
    eext_object_event_callback_add(win, EEXT_CALLBACK_MORE, moreCb, &winHits);
    eext_object_event_callback_add(popup, EEXT_CALLBACK_BACK, backCb, &popupHits);

    struct Row {
        const char* key;
        bool popupShown;
        std::vector<std::string> win, popup;
    } rows[] = {
        {"XF86Back", false, {"back elm_win"}, {}},
        {"XF86Stop", false, {"back elm_win"}, {}},
        {"Escape", false, {"back elm_win"}, {}},
        {"XF86Menu", false, {"more elm_win"}, {}},
        {"XF86Send", false, {"more elm_win"}, {}},
        {"Menu", false, {"more elm_win"}, {}},
        {"Return", false, {}, {}},
        {"XF86Back", true, {}, {"back elm_popup"}},
        {"XF86Menu", true, {"more elm_win"}, {}},  // the popup takes only the back key
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.key) + (r.popupShown ? " over a popup" : ""));
        winHits.got.clear();
        popupHits.got.clear();
        if (r.popupShown)
            evas_object_show(popup);
        else
            evas_object_hide(popup);
        ui::pressKey(win, r.key);
        EXPECT_EQ(r.win, winHits.got);
        EXPECT_EQ(r.popup, popupHits.got);
    }

    EXPECT_EQ(&popupHits, eext_object_event_callback_del(popup, EEXT_CALLBACK_BACK, backCb));
    EXPECT_EQ(nullptr, eext_object_event_callback_del(popup, EEXT_CALLBACK_BACK, backCb));
    EXPECT_EQ(nullptr, eext_object_event_callback_del(win, EEXT_CALLBACK_BACK, moreCb));
    winHits.got.clear();
    ui::pressKey(win, "XF86Back");  // the popup is still shown but no longer registered
    EXPECT_EQ(std::vector<std::string>{"back elm_win"}, winHits.got);
    EXPECT_EQ(&winHits, eext_object_event_callback_del(win, EEXT_CALLBACK_BACK, backCb));

    // Nothing here may crash.
    eext_object_event_callback_add(nullptr, EEXT_CALLBACK_BACK, backCb, nullptr);
    eext_object_event_callback_add(win, EEXT_CALLBACK_LAST, backCb, nullptr);
    eext_object_event_callback_add(win, EEXT_CALLBACK_BACK, nullptr, nullptr);
    EXPECT_EQ(nullptr, eext_object_event_callback_del(nullptr, EEXT_CALLBACK_BACK, backCb));
    EXPECT_EQ(nullptr, eext_object_event_callback_del(win, EEXT_CALLBACK_LAST, backCb));
    winHits.got.clear();
    ui::pressKey(win, "XF86Back");
    EXPECT_TRUE(winHits.got.empty());

    // A deleted object is forgotten with its registrations: the key goes back to the window.
    Hits gone;
    Evas_Object* later = elm_popup_add(win);
    evas_object_show(later);
    eext_object_event_callback_add(later, EEXT_CALLBACK_MORE, moreCb, &gone);
    ui::pressKey(win, "Menu");
    EXPECT_EQ(std::vector<std::string>{"more elm_popup"}, gone.got);
    evas_object_del(later);
    winHits.got.clear();
    ui::pressKey(win, "Menu");
    EXPECT_EQ(std::vector<std::string>{"more elm_win"}, winHits.got);
    EXPECT_EQ(&winHits, eext_object_event_callback_del(win, EEXT_CALLBACK_MORE, moreCb));
    evas_object_del(win);
}

}  // namespace
