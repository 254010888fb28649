// SPDX-License-Identifier: Apache-2.0
// The desktop UI application framework and the hardware keys, on the real toolkit.
#include <app.h>
#include <efl_extension.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "UiHarness.h"

namespace {

// One ui_app_main run: each callback notes what happened, then the next step runs as a job.
vt::TestDevice* gDev;
std::vector<std::function<void()>> gSteps;
size_t gDone;
std::string gSeen;
Evas_Object* gWin;
bool gAnnounced;

void note(const std::string& what) {
    gSeen += what + "\n";
    // The pause before terminate comes after the last step: no job may outlive the run.
    auto step = [](void*) { gDone < gSteps.size() ? gSteps[gDone++]() : void(); };
    if (gDone < gSteps.size()) ecore_job_add(step, nullptr);
}
void send(const char* message) { device::sendControl(gDev->path(), ui::kHostId, message); }
void write(const std::string& bytes) {  // straight into the FIFO, in no set pieces
    int fd = open(device::controlFifo(gDev->path(), ui::kHostId).c_str(), O_WRONLY | O_NONBLOCK);
    EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
}

TEST(UiApp, ControlMessagesAndWindowsDrivePauseAndResume) {
    vt::TestDevice dev;
    ui::installHost(dev);
    gDev = &dev;
    setenv("VORNIX_SCREEN", "480x800", 1);
    vt::LogCapture log;
    int w = 0, h = 0;
    gSteps = {[&] { evas_object_geometry_get(gWin, nullptr, nullptr, &w, &h); },
              [] { send("pause"); },
              [] { send("pause"), send("resume"); },  // paused: only the resume is a change
              [] { evas_object_hide(gWin); },
              [] { evas_object_show(gWin); },
              [] {  // a request to the running app itself arrives over its FIFO
                  app_control_h a = nullptr;
                  app_control_create(&a);
                  app_control_set_app_id(a, ui::kHostId);
                  app_control_set_operation(a, APP_CONTROL_OPERATION_VIEW);
                  app_control_set_uri(a, "file:///x");
                  EXPECT_EQ(0, app_control_send_launch_request(a, nullptr, nullptr));
                  app_control_destroy(a);
              },
              [] {
                  // Request files that are no regular file in the run folder are refused (a
                  // FIFO would block the open forever); an overlong line is dropped whole,
                  // its tail no message; a line in two writes is one message.
                  std::string run = device::runDir(gDev->path());
                  mkfifo((run + "request-fifo").c_str(), 0600);
                  write("appcontrol @" + run + "request-fifo\nappcontrol @/etc/hostname\n" +
                        std::string(4096, 'x') + "terminate\npau");
                  ecore_timer_add(
                      0.05, [](void*) { return write("se\n"), EINA_FALSE; }, nullptr);
              },
              [] {
                  for (const char* m : {"resume", "bogus", "terminate"}) send(m);
              }};
    gDone = 0;
    gSeen.clear();
    ui_app_lifecycle_callback_s cb = {
        [](void*) {
            gAnnounced = device::runningPid(gDev->path(), ui::kHostId) == getpid() &&
                         vt::exists(device::controlFifo(gDev->path(), ui::kHostId));
            gWin = elm_win_util_standard_add("t", "t");
            evas_object_show(gWin);
            note("create");
            return true;
        },
        [](void*) { gSeen += "terminate\n"; }, [](void*) { note("pause"); },
        [](void*) { note("resume"); },
        [](app_control_h request, void*) {
            char *op = nullptr, *uri = nullptr;
            app_control_get_operation(request, &op);
            app_control_get_uri(request, &uri);
            note(std::string("app_control ") + op + (uri ? std::string(" ") + uri : ""));
            free(op);
            free(uri);
        }};
    char arg0[] = "vornix";
    char* argv[] = {arg0, nullptr};
    EXPECT_EQ(APP_ERROR_NONE, ui_app_main(1, argv, &cb, nullptr));
    unsetenv("VORNIX_SCREEN");
    ui::screenScale();
    EXPECT_EQ("create\napp_control " APP_CONTROL_OPERATION_MAIN
              "\npause\nresume\npause\nresume\n"
              // ended in the foreground: paused before it is terminated, as on a device
              "app_control " APP_CONTROL_OPERATION_VIEW
              " file:///x\npause\nresume\npause\nterminate\n",
              gSeen);
    std::string text;
    for (const std::string& l : log.lines()) text += l + "\n";
    EXPECT_NE(text.find("request-fifo refused: not a regular file\n"), std::string::npos) << text;
    EXPECT_NE(text.find("/etc/hostname refused: not in the run folder\n"), std::string::npos);
    EXPECT_TRUE(gAnnounced);
    EXPECT_TRUE(w == 480 && h == 800) << w << "x" << h;  // the screen's size
    evas_object_del(gWin);
    EXPECT_FALSE(vt::exists(device::pidFile(dev.path(), ui::kHostId)));
    EXPECT_FALSE(vt::exists(device::controlFifo(dev.path(), ui::kHostId)));
}

void backCb(void* who, Evas_Object*, void*) { gSeen += std::string("back ") + (char*)who + " "; }
void moreCb(void* who, Evas_Object*, void*) { gSeen += std::string("more ") + (char*)who + " "; }

TEST(HardwareKeys, BackAndMoreReachTheTopmostVisibleObject) {
    Evas_Object* win = elm_win_util_standard_add("k", "k");
    evas_object_resize(win, 200, 200);
    evas_object_show(win);
    Evas_Object *popup = elm_popup_add(win), *later = elm_popup_add(win);
    char winName[] = "win", popupName[] = "popup", laterName[] = "later";
    auto press = [](const char* key) { return gSeen.clear(), ui_inspect_key(key), gSeen; };
    eext_object_event_callback_add(win, EEXT_CALLBACK_BACK, backCb, winName);
    eext_object_event_callback_add(win, EEXT_CALLBACK_MORE, moreCb, winName);
    eext_object_event_callback_add(popup, EEXT_CALLBACK_BACK, backCb, popupName);
    const struct {
        const char* key;
        bool popupShown;
        std::string hits;
    } rows[] = {
        {"XF86Back", false, "back win "},
        {"XF86Stop", false, "back win "},
        {"Escape", false, "back win "},
        {"XF86Menu", false, "more win "},
        {"XF86Send", false, "more win "},
        {"Menu", false, "more win "},
        {"Return", false, ""},
        {"XF86Back", true, "back popup "},
        {"XF86Menu", true, "more win "},  // the popup takes only the back key
    };
    for (const auto& r : rows) {
        r.popupShown ? evas_object_show(popup) : evas_object_hide(popup);
        EXPECT_EQ(r.hits, press(r.key)) << r.key << (r.popupShown ? " over the popup" : "");
    }
    // Removed by its function: the key goes to the window again, though the popup shows.
    EXPECT_EQ(popupName, eext_object_event_callback_del(popup, EEXT_CALLBACK_BACK, backCb));
    EXPECT_EQ(nullptr, eext_object_event_callback_del(popup, EEXT_CALLBACK_BACK, backCb));
    EXPECT_EQ(nullptr, eext_object_event_callback_del(win, EEXT_CALLBACK_BACK, moreCb));
    EXPECT_EQ("back win ", press("XF86Back"));
    // A deleted object is forgotten with its registrations.
    evas_object_show(later);
    eext_object_event_callback_add(later, EEXT_CALLBACK_MORE, moreCb, laterName);
    EXPECT_EQ("more later ", press("Menu"));
    evas_object_del(later);
    EXPECT_EQ("more win ", press("Menu"));
    evas_object_del(win);
}

}  // namespace
