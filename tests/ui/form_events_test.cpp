// SPDX-License-Identifier: Apache-2.0
// What the form's keys, buttons, timers and lifecycle do, driven by real events and timers:
// the Download button with and without the store, and the start marker it writes.
#include <app.h>
#include <app_control.h>
#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include "TimerTestPeer.h"
#include "UiHarness.h"

namespace {

using FormEvents = ui::FormTest;

const std::string kInvoking = ui::formLine(
    'I', "launchTizenStore",
    "Invoking AppControl org.tizen.tizenstore, http://tizen.org/appcontrol/operation/view, "
    "uri=tizenstore://ProductDetail/QOR111TBNX ");

// One request to the store as the journal has it, answered with `result`.
std::string request(int result) {
    return "launch caller=org.example.host target=org.tizen.tizenstore "
           "operation=http://tizen.org/appcontrol/operation/view "
           "uri=tizenstore://ProductDetail/QOR111TBNX mime= category= launch_mode=single "
           "reply=no extra={} result=" +
           std::to_string(result) + "\n";
}

// Rows in order, on one form; a popup's OK is tapped whenever one shows.
TEST_F(FormEvents, WhatEndsTheLoopAndWhatDoesNot) {
    start();
    Timer other(form.get());
    Ecore_Timer* tapping = ui::tapEvery("OK");
    Evas_Object* firstPopup = nullptr;
    vt::LogCapture log;
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
        {"pause, then resume: the back timer is cancelled",
         [&] { MainForm::app_pause(form.get()), MainForm::app_resume(form.get()); },
         [&] { return !TimerTestPeer::pending(MainFormTestPeer::backTimer(*form)); }},
        {"OK of a popup that does not close the app",
         [&] {
             form->showErrorPopup("T", "M", MainFormTestPeer::okHandler(), false);
             firstPopup = ad->popupMessage;
         },
         [&] { return !evas_object_visible_get(ad->popupMessage); }},
        {"Download without the store: the OK of the popup it shows",
         [] { ui_inspect_tap("Download"); },
         {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        std::istringstream keys(r.act ? "" : r.what);
        auto act = [&] {
            if (r.act) r.act();
            for (std::string k; keys >> k;) ui_inspect_key(k.c_str());
        };
        EXPECT_EQ(!r.until, ui::runLoop(act, r.until));
        EXPECT_TRUE(!r.until || r.until()) << "not handled in time";
    }
    ecore_timer_del(tapping);
    Evas_Object* popup = ad->popupMessage;
    EXPECT_EQ(
        "QOR Download|We apologize but we encountered an unexpected error while trying to "
        "show the QOR download page",
        ui::text(popup, "title,text") + "|" + ui::text(popup));
    EXPECT_EQ(request(APP_CONTROL_ERROR_APP_NOT_FOUND), dev.journal());
    std::vector<std::string> expected = {
        kInvoking,
        ui::formLine('E', "launchTizenStore",
                     "Cannot send AppControl http://tizen.org/appcontrol/operation/view to "
                     "org.tizen.tizenstore: The application is not found"),
        ui::formLine('I', "popup_ok_button_cb", "Popup message requested close application"),
    };
    EXPECT_EQ(expected, ui::logged(log));
}

// The marker goes to /opt/usr/media: this thread gets its own mount namespace with a
// temporary folder there (read-only when asked, or on a full file system), unmounted again
// at the end. Where the machine has no /opt/usr/media, a scratch mount seen only here gives
// the place.
struct PrivateMedia {
    PrivateMedia(bool readOnly, bool full) {
        const char* at = "/opt/usr/media";
        ok = unshare(CLONE_NEWNS) == 0 &&
             mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
             devkit::makeMountPoint(at, &why) &&
             mount(dir.path().c_str(), at, nullptr, MS_BIND, nullptr) == 0 &&
             (!readOnly ||
              mount(nullptr, at, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0) &&
             (!full || mount("vornix", at, "tmpfs", 0, "size=4k") == 0);
        if (ok && full) vt::writeFile(std::string(at) + "/filler", std::string(4096, 'f'));
        if (!ok && why.empty()) why = strerror(errno);
    }
    ~PrivateMedia() {
        for (int mounted = 0; mounted < 2; ++mounted) umount2("/opt/usr/media", MNT_DETACH);
    }
    vt::TestDevice dir;  // a folder removed whatever happens
    std::string why;
    bool ok;
};

// The marker's folder before the presses, and what they leave: a FIFO nobody reads must
// not block, a full device must not make the write spin.
struct MarkerCase {
    const char* name;
    enum { Nothing, OtherHost, ReadOnly, Link, HardLink, Fifo, Full } planted;
    const char* error;  // strerror text logged, null when the marker is written
    const char* left;   // what is at the marker's path after
    friend void PrintTo(const MarkerCase& c, std::ostream* os) { *os << c.name; }
};
class StartMarker : public ui::FormTest, public testing::WithParamInterface<MarkerCase> {};

TEST_P(StartMarker, EveryAcceptedPressWritesTheMarker) {
    const MarkerCase& c = GetParam();
    PrivateMedia media(c.planted == MarkerCase::ReadOnly, c.planted == MarkerCase::Full);
    if (!media.ok) GTEST_SKIP() << "no private mount namespace: " << media.why;
    std::string marker = "/opt/usr/media/.qor-start", victim = media.dir.path() + "/precious";
    vt::writeFile(victim, "precious");
    if (c.planted == MarkerCase::OtherHost) vt::writeFile(marker, "org.other.host.longer.id\n");
    ASSERT_EQ(0, c.planted == MarkerCase::Link ? symlink(victim.c_str(), marker.c_str())
                 : c.planted == MarkerCase::HardLink
                     ? link(victim.c_str(), (media.dir.path() + "/.qor-start").c_str())
                 : c.planted == MarkerCase::Fifo ? mkfifo(marker.c_str(), 0666)
                                                 : 0)
        << strerror(errno);
    vt::PackageSpec store;
    store.pkgId = "org.tizen.tizenstore";
    store.apps = {{store.pkgId, "ui-application", "store", "Store", false, ""}};
    store.copies = {{"bin/store", "/bin/true"}};
    dev.install(store);

    // Presses until three were handled (a press is handled once its request is sent).
    start();
    vt::LogCapture log;
    Ecore_Timer* tapping = nullptr;
    auto pressed = [&] { return dev.journal().size() >= 3 * request(0).size(); };
    EXPECT_FALSE(ui::runLoop([&] { tapping = ui::tapEvery("Download"); }, pressed));
    ecore_timer_del(tapping);
    std::string journal = dev.journal(), sent;
    std::vector<std::string> expected;
    std::string failed =
        std::string("Failed to open /opt/usr/media//.qor-start: ") + (c.error ?: "");
    while (sent.size() < journal.size()) {
        sent += request(0);
        expected.push_back(kInvoking);
        if (c.error) expected.push_back(ui::formLine('E', "createApplicationStartFile", failed));
    }
    EXPECT_EQ(sent, journal);
    EXPECT_EQ(expected, ui::logged(log));
    EXPECT_EQ("precious", vt::readFile(victim));
    EXPECT_EQ(nullptr, ad->popupMessage);  // nothing shown to the user
    struct stat st;
    std::string left = lstat(marker.c_str(), &st) != 0 ? "none"
                       : S_ISLNK(st.st_mode)           ? "link"
                       : S_ISFIFO(st.st_mode)          ? "fifo"
                                                       : "file " + vt::readFile(marker);
    EXPECT_EQ(c.left, left);
}

INSTANTIATE_TEST_SUITE_P(
    Media, StartMarker,
    testing::Values(
        // 16 bytes, no line end
        MarkerCase{"Fresh", MarkerCase::Nothing, nullptr, "file org.example.host"},
        MarkerCase{"ReplacesOtherHost", MarkerCase::OtherHost, nullptr, "file org.example.host"},
        MarkerCase{"ReadOnlyFolder", MarkerCase::ReadOnly, "Read-only file system", "none"},
        MarkerCase{"PlantedLink", MarkerCase::Link, "Too many levels of symbolic links", "link"},
        MarkerCase{"PlantedHardLink", MarkerCase::HardLink, "the file has other links",
                   "file precious"},
        MarkerCase{"PlantedFifo", MarkerCase::Fifo, "No such device or address", "fifo"},
        // The write's failure is not logged.
        MarkerCase{"FullDevice", MarkerCase::Full, nullptr, "file "}),
    [](const testing::TestParamInfo<MarkerCase>& i) { return std::string(i.param.name); });

// One ui_app_main run: each callback notes what happened and the back timer, then runs the
// next step as a job.
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
// Bytes put in the FIFO as they are, as a writer killed mid-line leaves them.
void raw(const std::string& bytes) {
    int fd = open(device::controlFifo(gDev->path(), ui::kHostId).c_str(), O_WRONLY | O_NONBLOCK);
    EXPECT_EQ(ssize_t(bytes.size()), write(fd, bytes.data(), bytes.size()));
    close(fd);
}

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
                  // Request files must be regular files in the run folder (a FIFO would block).
                  std::string run = device::runDir(gDev->path());
                  mkfifo((run + "request-fifo").c_str(), 0600);
                  send("appcontrol @" + run + "request-fifo");
                  // Its size is not cut to 32 bits: past 4 GiB, the file is too large.
                  vt::writeFile(run + "request-huge", "");
                  if (truncate((run + "request-huge").c_str(), (1LL << 32) + 1) == 0)
                      send("appcontrol @" + run + "request-huge");
                  send("appcontrol @/etc/hostname"), send("bogus");
                  // An overlong line is dropped whole, its tail too; a stray byte left in the
                  // FIFO does not swallow the next message.
                  raw(std::string(ControlLines::kMaxLine, 'x') + "terminate\n"), raw("x");
                  send("pause");
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
    // Each pause arms the 10 s back timer, each resume cancels it; ended in the foreground,
    // the app is paused before it is terminated, as on a device, and no timer is left.
    EXPECT_EQ("create\napp_control " APP_CONTROL_OPERATION_MAIN
              "\npause 10 s\nresume\npause 10 s\nresume\napp_control " APP_CONTROL_OPERATION_VIEW
              " file:///x\npause 10 s\nresume\npause 10 s\nterminate\n",
              gSeen);
    std::string text;
    for (const std::string& l : log.lines()) text += l + "\n";
    EXPECT_NE(text.find("request-fifo refused: not a regular file\n"), std::string::npos) << text;
    EXPECT_NE(text.find("request-huge refused: too large\n"), std::string::npos);
    EXPECT_NE(text.find("/etc/hostname refused: not in the run folder\n"), std::string::npos);
    EXPECT_TRUE(gAnnounced);
    EXPECT_TRUE(w == 480 && h == 800) << w << "x" << h;  // the screen's size
    MainFormTestPeer::dispose(form);
    EXPECT_FALSE(vt::exists(device::pidFile(dev.path(), ui::kHostId)));
    EXPECT_FALSE(vt::exists(device::controlFifo(dev.path(), ui::kHostId)));
}

}  // namespace
