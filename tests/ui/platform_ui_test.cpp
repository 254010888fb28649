// SPDX-License-Identifier: Apache-2.0
// The form under the desktop UI application framework, on the real toolkit.
#include <app.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TimerTestPeer.h"
#include "UiHarness.h"

namespace {

// One ui_app_main run: each callback notes what happened and whether the back timer runs,
// then the next step runs as a job.
vt::TestDevice* gDev;
MainForm* gForm;
std::vector<std::function<void()>> gSteps;
size_t gDone;
std::string gSeen;
bool gAnnounced;

void note(const std::string& what) {
    Ecore_Timer* t = TimerTestPeer::pending(MainFormTestPeer::backTimer(*gForm));
    gSeen += what + (t ? " " + std::to_string(int(ecore_timer_interval_get(t))) + " s\n" : "\n");
    // The pause before terminate comes after the last step: no job may outlive the run.
    auto step = [](void*) { gDone < gSteps.size() ? gSteps[gDone++]() : void(); };
    if (gDone < gSteps.size()) ecore_job_add(step, nullptr);
}
void send(const std::string& message) { device::sendControl(gDev->path(), ui::kHostId, message); }

TEST(UiApp, ControlMessagesWindowsAndKeysDriveTheFormsLifecycle) {
    vt::TestDevice dev;
    ui::installHost(dev);
    MainForm form;
    gDev = &dev, gForm = &form, gDone = 0;
    setenv("VORNIX_SCREEN", "480x800", 1);
    vt::LogCapture log;
    int w = 0, h = 0;
    Evas_Object*& win = form.getWindowObject()->win;
    gSteps = {[&] { evas_object_geometry_get(win, nullptr, nullptr, &w, &h); },
              [] { send("pause"); },
              [] { send("pause"), send("resume"); },  // paused: only the resume is a change
              [&] { evas_object_hide(win); },
              [&] { evas_object_show(win); },
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
                  // FIFO would block the open forever); unknown lines are ignored.
                  std::string run = device::runDir(gDev->path());
                  mkfifo((run + "request-fifo").c_str(), 0600);
                  send("appcontrol @" + run + "request-fifo");
                  send("appcontrol @/etc/hostname"), send("bogus"), send("pause");
              },
              [] { send("resume"); },
              [] { ui_inspect_key("XF86Back"); }};
    ui_app_lifecycle_callback_s cb = {
        [](void* d) {
            gAnnounced = device::runningPid(gDev->path(), ui::kHostId) == getpid() &&
                         vt::exists(device::controlFifo(gDev->path(), ui::kHostId));
            bool created = MainForm::app_create(d);
            return note("create"), created;
        },
        [](void* d) { MainForm::app_terminate(d), note("terminate"); },
        [](void* d) { MainForm::app_pause(d), note("pause"); },
        [](void* d) { MainForm::app_resume(d), note("resume"); },
        [](app_control_h request, void* d) {
            char *op = nullptr, *uri = nullptr;
            app_control_get_operation(request, &op);
            app_control_get_uri(request, &uri);
            MainForm::app_control(request, d);
            note(std::string("app_control ") + op + (uri ? std::string(" ") + uri : ""));
            free(op);
            free(uri);
        }};
    char arg0[] = "vornix";
    char* argv[] = {arg0, nullptr};
    EXPECT_EQ(APP_ERROR_NONE, ui_app_main(1, argv, &cb, &form));
    unsetenv("VORNIX_SCREEN");
    ui::screenScale();
    // Each pause arms the 10 s back timer, each resume cancels it; ended in the foreground,
    // the app is paused before it is terminated, as on a device, and no timer is left.
    EXPECT_EQ("create\napp_control " APP_CONTROL_OPERATION_MAIN
              "\npause 10 s\nresume\npause 10 s\nresume\napp_control " APP_CONTROL_OPERATION_VIEW
              " file:///x\npause 10 s\nresume\npause 10 s\nterminate\n",
              gSeen);
    std::string text;
    for (const std::string& l : log.lines()) text += l + "\n";
    EXPECT_NE(text.find("request-fifo refused: not a regular file\n"), std::string::npos) << text;
    EXPECT_NE(text.find("/etc/hostname refused: not in the run folder\n"), std::string::npos);
    EXPECT_TRUE(gAnnounced);
    EXPECT_TRUE(w == 480 && h == 800) << w << "x" << h;  // the screen's size
    MainFormTestPeer::dispose(form);
    EXPECT_FALSE(vt::exists(device::pidFile(dev.path(), ui::kHostId)));
    EXPECT_FALSE(vt::exists(device::controlFifo(dev.path(), ui::kHostId)));
}

}  // namespace
