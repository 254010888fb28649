// SPDX-License-Identifier: Apache-2.0
// The desktop UI application framework and the hardware keys, on the real toolkit.
#include <app.h>
#include <efl_extension.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "UiHarness.h"
#include "devkit.h"

namespace {

// One ui_app_main run: the callbacks write what happened, then the next step runs as a job.
struct AppRun {
    explicit AppRun(vt::TestDevice* d = nullptr) : dev(d) {}
    vt::TestDevice* dev;
    std::vector<std::function<void(AppRun&)>> steps;
    size_t done = 0;
    Evas_Object* win = nullptr;
    std::string seen;  // one line per callback
    bool announced = false;
    int w = 0, h = 0;  // the window's size once the loop runs

    static AppRun& of(void* d) { return *static_cast<AppRun*>(d); }
    static void note(void* d, const std::string& what) {
        of(d).seen += what + "\n";
        // The pause before terminate comes after the last step: no job may outlive the run.
        if (of(d).done == of(d).steps.size()) return;
        ecore_job_add(
            [](void* d) {
                if (of(d).done < of(d).steps.size()) of(d).steps[of(d).done++](of(d));
            },
            d);
    }
    void send(const char* message) { device::sendControl(dev->path(), ui::kHostId, message); }
    void write(const std::string& bytes) {  // straight into the FIFO, in no set pieces
        int fd = open(device::controlFifo(dev->path(), ui::kHostId).c_str(),
                      O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        close(fd);
    }
    void measure() { evas_object_geometry_get(win, nullptr, nullptr, &w, &h); }
};

const ui_app_lifecycle_callback_s kCallbacks = {
    [](void* d) {
        AppRun& r = AppRun::of(d);
        r.announced = device::runningPid(r.dev->path(), ui::kHostId) == getpid() &&
                      vt::exists(device::controlFifo(r.dev->path(), ui::kHostId));
        r.win = elm_win_util_standard_add("t", "t");
        evas_object_resize(r.win, 100, 100);
        evas_object_show(r.win);
        AppRun::note(d, "create");
        return true;
    },
    [](void* d) { AppRun::of(d).seen += "terminate\n"; }, [](void* d) { AppRun::note(d, "pause"); },
    [](void* d) { AppRun::note(d, "resume"); },
    [](app_control_h request, void* d) {
        char *op = nullptr, *uri = nullptr;
        app_control_get_operation(request, &op);
        app_control_get_uri(request, &uri);
        AppRun::note(
            d, std::string("app_control ") + (op ? op : "") + (uri ? std::string(" ") + uri : ""));
        free(op);
        free(uri);
    }};

char gArg0[] = "vornix";
char* argv[] = {gArg0, nullptr};

int runApp(AppRun& r) {
    ui_app_lifecycle_callback_s cb = kCallbacks;
    return ui_app_main(1, argv, &cb, &r);
}

class UiApp : public testing::Test {
protected:
    void SetUp() override { ui::installHost(dev, ui::Host()); }
    vt::TestDevice dev;
};

TEST_F(UiApp, ControlMessagesAndWindowsDrivePauseAndResume) {
    vt::LogCapture capture;
    AppRun r(&dev);
    r.steps = {[](AppRun& r) { r.measure(); },  // after create: the launch request comes next
               [](AppRun& r) { r.send("pause"); },
               [](AppRun& r) {
                   r.send("pause");  // paused: a second pause is no change, resume is
                   r.send("resume");
               },
               [](AppRun& r) { evas_object_hide(r.win); },
               [](AppRun& r) { evas_object_show(r.win); },
               [](AppRun&) {  // a request to the running app itself arrives over its FIFO
                   app_control_h h = nullptr;
                   app_control_create(&h);
                   app_control_set_app_id(h, ui::kHostId);
                   app_control_set_operation(h, APP_CONTROL_OPERATION_VIEW);
                   app_control_set_uri(h, "file:///x");
                   EXPECT_EQ(0, app_control_send_launch_request(h, nullptr, nullptr));
                   app_control_destroy(h);
               },
               [](AppRun& r) {
                   // Request files that are no regular file in the run folder are refused
                   // (a FIFO would block the open forever); an overlong line is dropped
                   // whole, its tail no message; a line in two writes is one message.
                   std::string run = device::runDir(r.dev->path());
                   mkfifo((run + "request-fifo").c_str(), 0600);
                   r.write("appcontrol @" + run + "request-fifo\nappcontrol @/etc/hostname\n" +
                           std::string(4096, 'x') + "terminate\npau");
                   ecore_timer_add(
                       0.05, [](void* d) { return AppRun::of(d).write("se\n"), EINA_FALSE; }, &r);
               },
               [](AppRun& r) {
                   for (const char* m : {"resume", "bogus", "terminate"}) r.send(m);
               }};
    EXPECT_EQ(APP_ERROR_NONE, runApp(r));
    EXPECT_EQ("create\napp_control " APP_CONTROL_OPERATION_MAIN
              "\npause\nresume\npause\nresume\n"
              // ended in the foreground: paused before it is terminated, as on a device
              "app_control " APP_CONTROL_OPERATION_VIEW
              " file:///x\npause\nresume\npause\nterminate\n",
              r.seen);
    std::string log;
    for (const std::string& l : capture.lines()) log += l + "\n";
    EXPECT_NE(log.find("request-fifo refused: not a regular file\n"), std::string::npos) << log;
    EXPECT_NE(log.find("/etc/hostname refused: not in the run folder\n"), std::string::npos);
    EXPECT_TRUE(r.announced);
    EXPECT_TRUE(r.w == 720 && r.h == 1280) << r.w << "x" << r.h;  // unless VORNIX_SCREEN is set
    evas_object_del(r.win);
    EXPECT_FALSE(vt::exists(device::pidFile(dev.path(), ui::kHostId)));
    EXPECT_FALSE(vt::exists(device::controlFifo(dev.path(), ui::kHostId)));
}

TEST_F(UiApp, SignalsEndTheLoop) {
    setenv("VORNIX_SCREEN", "480x800", 1);
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        AppRun r(&dev);
        r.steps = {[sig](AppRun& r) {
            r.measure();
            raise(sig);
        }};
        EXPECT_EQ(APP_ERROR_NONE, runApp(r));
        EXPECT_EQ(r.seen.size() - 11, r.seen.rfind("\nterminate\n")) << r.seen;  // the last
        EXPECT_TRUE(r.w == 480 && r.h == 800) << r.w << "x" << r.h;
        evas_object_del(r.win);
    }
    unsetenv("VORNIX_SCREEN");
}

TEST_F(UiApp, RefusedCallsFailingCreateEventHandlersAndOrientation) {
    const int kRefused = APP_ERROR_INVALID_PARAMETER;
    ui_app_lifecycle_callback_s ok = kCallbacks, noCreate = kCallbacks;
    noCreate.create = nullptr;
    AppRun r;
    EXPECT_EQ(kRefused, ui_app_main(1, argv, nullptr, &r));
    EXPECT_EQ(kRefused, ui_app_main(1, argv, &noCreate, &r));
    EXPECT_EQ(kRefused, ui_app_main(0, argv, &ok, &r));
    EXPECT_EQ(kRefused, ui_app_main(1, nullptr, &ok, &r));
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

    // Event handlers are kept until removed; the orientation is upright.
    app_event_cb cb = [](app_event_info_h, void*) {};
    app_event_handler_h h = nullptr;
    EXPECT_EQ(kRefused, ui_app_add_event_handler(nullptr, APP_EVENT_LOW_MEMORY, cb, nullptr));
    EXPECT_EQ(kRefused, ui_app_add_event_handler(&h, APP_EVENT_LOW_MEMORY, nullptr, nullptr));
    EXPECT_EQ(kRefused, ui_app_add_event_handler(&h, app_event_type_e(42), cb, nullptr));
    ASSERT_EQ(APP_ERROR_NONE,
              ui_app_add_event_handler(&h, APP_EVENT_LANGUAGE_CHANGED, cb, nullptr));
    EXPECT_EQ(APP_ERROR_NONE, ui_app_remove_event_handler(h));
    EXPECT_EQ(kRefused, ui_app_remove_event_handler(h));
    EXPECT_EQ(kRefused, ui_app_remove_event_handler(nullptr));
    EXPECT_EQ(APP_DEVICE_ORIENTATION_0, app_get_device_orientation());
}

// --- hardware keys ---

using Hits = std::vector<std::string>;

void backCb(void* hits, Evas_Object* obj, void*) {
    static_cast<Hits*>(hits)->push_back(std::string("back ") + evas_object_type_get(obj));
}

void moreCb(void* hits, Evas_Object* obj, void*) {
    static_cast<Hits*>(hits)->push_back(std::string("more ") + evas_object_type_get(obj));
}

TEST(HardwareKeys, BackAndMoreReachTheTopmostVisibleObject) {
    Evas_Object* win = elm_win_util_standard_add("k", "k");
    evas_object_resize(win, 200, 200);
    evas_object_show(win);
    Evas_Object* popup = elm_popup_add(win);
    Hits winHits, popupHits;
    auto press = [&](const char* key) {
        winHits.clear();
        popupHits.clear();
        ui::pressKey(win, key);
    };
    eext_object_event_callback_add(win, EEXT_CALLBACK_BACK, backCb, &winHits);
    eext_object_event_callback_add(win, EEXT_CALLBACK_MORE, moreCb, &winHits);
    eext_object_event_callback_add(popup, EEXT_CALLBACK_BACK, backCb, &popupHits);
    struct Row {
        const char* key;
        bool popupShown;
        Hits win, popup;
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
        r.popupShown ? evas_object_show(popup) : evas_object_hide(popup);
        press(r.key);
        EXPECT_EQ(r.win, winHits);
        EXPECT_EQ(r.popup, popupHits);
    }

    EXPECT_EQ(&popupHits, eext_object_event_callback_del(popup, EEXT_CALLBACK_BACK, backCb));
    EXPECT_EQ(nullptr, eext_object_event_callback_del(popup, EEXT_CALLBACK_BACK, backCb));
    EXPECT_EQ(nullptr, eext_object_event_callback_del(win, EEXT_CALLBACK_BACK, moreCb));
    press("XF86Back");  // the popup is still shown but no longer registered
    EXPECT_EQ(Hits{"back elm_win"}, winHits);
    EXPECT_EQ(&winHits, eext_object_event_callback_del(win, EEXT_CALLBACK_BACK, backCb));

    // Nothing here may crash.
    eext_object_event_callback_add(nullptr, EEXT_CALLBACK_BACK, backCb, nullptr);
    eext_object_event_callback_add(win, EEXT_CALLBACK_LAST, backCb, nullptr);
    eext_object_event_callback_add(win, EEXT_CALLBACK_BACK, nullptr, nullptr);
    EXPECT_EQ(nullptr, eext_object_event_callback_del(nullptr, EEXT_CALLBACK_BACK, backCb));
    EXPECT_EQ(nullptr, eext_object_event_callback_del(win, EEXT_CALLBACK_LAST, backCb));
    press("XF86Back");
    EXPECT_TRUE(winHits.empty());

    // A deleted object is forgotten with its registrations: the key goes back to the window.
    Hits gone;
    Evas_Object* later = elm_popup_add(win);
    evas_object_show(later);
    eext_object_event_callback_add(later, EEXT_CALLBACK_MORE, moreCb, &gone);
    press("Menu");
    EXPECT_EQ(Hits{"more elm_popup"}, gone);
    evas_object_del(later);
    press("Menu");
    EXPECT_EQ(Hits{"more elm_win"}, winHits);
    EXPECT_EQ(&winHits, eext_object_event_callback_del(win, EEXT_CALLBACK_MORE, moreCb));
    evas_object_del(win);
}

}  // namespace
