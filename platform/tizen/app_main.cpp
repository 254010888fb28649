// SPDX-License-Identifier: Apache-2.0
// The UI application lifecycle on the desktop: Elementary's main loop with the
// create / app_control / pause / resume / terminate callbacks of a Tizen UI app.
//
// A process that runs as a known app on a device (see vornix/device/device.h) announces itself
// while its loop runs, or does not run at all:
//   run/<appid>.pid   its process id and a line end, written and locked before the file
//                     appears at this name
//   run/<appid>.ctl   its control FIFO, read here and nowhere else.
//
// The control protocol (the one description of it; README.md points here). Whoever
// wants to act on the running app writes one line per message into the FIFO, with a line
// feed before it, which ends a line a writer killed mid-way left (device::sendControl
// does that, and `vornix-device` with it):
//     "pause"             the app goes to the background: pause, if it is running
//     "resume"            the app comes back: resume, if it is paused
//     "terminate"         the app is asked to end, as by ui_app_exit()
//     "appcontrol <text>" a launch request that reaches the running app; <text> is
//                         what appcontrol_from_message() decodes, the encoded request
//                         or, when the line would not fit one atomic write, "@<file>"
//                         naming a request file, read only when it is a regular file
//                         in the device's run/ folder; app_control is called
//     "snapshot <base>"   writes <base>.png, the window's pixels, and <base>.txt, one
//                         line per visible widget with its grid cell, style and text;
//                         the listing appears last and whole, so its presence says the
//                         snapshot is done (vornix/inspect.h)
//     "tap <text>"        clicks the button with that text
//     "key <name>"        sends that key to the window
//   Unknown or undecodable lines are ignored, and so are empty lines and a line longer than
//   4096 bytes, whole (vornix/device/control_lines.h); a line written in pieces is put together
//   before it is read. The app holds a lock on its pid file while it runs; only that holder removes
//   both files, when the loop ends. A second process started as the same app hands its
//   launch request to the running one over the FIFO and ends without becoming the app; it
//   tries for two seconds, then logs that it gave up. What stands in the way of the two
//   files (a pid file nobody holds, a folder, link or FIFO) is removed: run/ is the
//   platform's own, and an app the device cannot see is never run.
// As on a device, the app is also paused when all its windows are hidden or iconified
// and resumed when one comes back; SIGTERM and SIGINT end it like "terminate". Its
// windows fill the device's screen: VORNIX_SCREEN ("<width>x<height>", 720x1280 unless set),
// drawn at the screen's scale (VORNIX_SCREEN_SCALE, derived from the size unless set).
// When its loop ends while it is in the foreground, it is paused before it is terminated.
#include <app.h>
#include <dlog.h>

#include <Ecore.h>
#include <Ecore_Evas.h>
#include <Elementary.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include <vornix/device/control_lines.h>
#include <vornix/device/device.h>
#include <vornix/device/environment.h>
#include <vornix/device/files.h>
#include <vornix/device/scoped_fd.h>
#include <vornix/inspect.h>

#include "inspect_internal.h"

#include "app_control_internal.h"

struct app_event_handler {
    app_event_type_e type;
    app_event_cb callback;
    void* user_data;
};

namespace {

const char kLogTag[] = "CAPI_APPFW_APPLICATION";

enum class State { Idle, Creating, Running, Paused, Ending };

struct Lifecycle {
    State state = State::Idle;
    bool inLoop = false;
    bool exitBeforeLoop = false;  // ui_app_exit() during create or the first app_control
    ui_app_lifecycle_callback_s cb = {};
    void* data = nullptr;
    std::string pidPath;
    int pidFd = -1;  // holds the pid file's lock
    std::string fifoPath;
    int fifoFd = -1;
    Ecore_Fd_Handler* fifoHandler = nullptr;
    ControlLines lines;
    Ecore_Event_Handler* signalExit = nullptr;
    std::vector<Evas_Object*> windows;
    app_control_h request = nullptr;  // the launch request, once taken from the environment
};

Lifecycle g;
std::vector<app_event_handler*> gHandlers;

void pauseApp() {
    if (g.state != State::Running) return;
    g.state = State::Paused;
    if (g.cb.pause) g.cb.pause(g.data);
}

void resumeApp() {
    if (g.state != State::Paused) return;
    g.state = State::Running;
    if (g.cb.resume) g.cb.resume(g.data);
}

void deliverAppControl(app_control_h request) {
    if (!request) return;
    if (g.cb.app_control) g.cb.app_control(request, g.data);
    app_control_destroy(request);
}

bool windowShown(Evas_Object* win) {
    return evas_object_visible_get(win) && !elm_win_iconified_get(win);
}

// Paused while no window of the app can be seen, as the platform's window manager decides.
void windowsChanged() {
    if (g.windows.empty()) return;
    bool any = std::any_of(g.windows.begin(), g.windows.end(), windowShown);
    if (any)
        resumeApp();
    else
        pauseApp();
}

void onWindowSmart(void*, Evas_Object*, void*) { windowsChanged(); }

void onWindowEvent(void*, Evas*, Evas_Object*, void*) { windowsChanged(); }

void forgetWindow(Evas_Object* win) {
    g.windows.erase(std::remove(g.windows.begin(), g.windows.end(), win), g.windows.end());
    evas_object_smart_callback_del(win, "iconified", onWindowSmart);
    evas_object_smart_callback_del(win, "normal", onWindowSmart);
    evas_object_event_callback_del(win, EVAS_CALLBACK_SHOW, onWindowEvent);
    evas_object_event_callback_del(win, EVAS_CALLBACK_HIDE, onWindowEvent);
}

void onWindowDel(void*, Evas*, Evas_Object* win, void*) {
    forgetWindow(win);
    evas_object_event_callback_del(win, EVAS_CALLBACK_DEL, onWindowDel);
}

// New windows are picked up whenever the app could have made one.
void trackWindows() {
    int sw, sh;
    double scale;
    ui_screen(&sw, &sh, &scale);
    for (Evas_Object* win : ui_app_windows()) {
        if (std::find(g.windows.begin(), g.windows.end(), win) != g.windows.end()) continue;
        g.windows.push_back(win);
        evas_object_resize(win, sw, sh);
        evas_object_smart_callback_add(win, "iconified", onWindowSmart, nullptr);
        evas_object_smart_callback_add(win, "normal", onWindowSmart, nullptr);
        evas_object_event_callback_add(win, EVAS_CALLBACK_SHOW, onWindowEvent, nullptr);
        evas_object_event_callback_add(win, EVAS_CALLBACK_HIDE, onWindowEvent, nullptr);
        evas_object_event_callback_add(win, EVAS_CALLBACK_DEL, onWindowDel, nullptr);
    }
}

void untrackWindows() {
    while (!g.windows.empty()) {
        Evas_Object* win = g.windows.back();
        forgetWindow(win);
        evas_object_event_callback_del(win, EVAS_CALLBACK_DEL, onWindowDel);
    }
}

void handleMessage(const std::string& line) {
    trackWindows();
    if (line == "pause") {
        pauseApp();
    } else if (line == "resume") {
        resumeApp();
    } else if (line == "terminate") {
        ui_app_exit();
    } else if (line.compare(0, 11, "appcontrol ") == 0) {
        deliverAppControl(appcontrol_from_message(line.c_str() + 11));
    } else {
        ui_inspect_control(line);
    }
}

Eina_Bool onControl(void*, Ecore_Fd_Handler* handler) {
    int fd = ecore_main_fd_handler_fd_get(handler);
    char buf[1024];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        g.lines.feed(buf, static_cast<size_t>(n), handleMessage);
    return ECORE_CALLBACK_RENEW;
}

Eina_Bool onSignalExit(void*, int, void*) {
    ui_app_exit();
    return ECORE_CALLBACK_PASS_ON;
}

// This process's pid file, written and locked under a name of its own in `run` (which
// `tmp` gets); then linked to the pid file's name, which never replaces anything, it
// appears whole: whoever finds it locked reads the holder's pid. -1 and `why` on failure.
int preparePidFile(const std::string& run, std::string* tmp, std::string* why) {
    mkdir(run.c_str(), 0755);
    std::string name = run + ".pid-XXXXXX";
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back('\0');
    ScopedFd fd(mkostemp(buf.data(), O_CLOEXEC));
    if (!fd.valid()) {
        *why = "cannot create a pid file in " + run + ": " + strerror(errno);
        return -1;
    }
    *tmp = buf.data();
    std::string text = std::to_string(getpid()) + "\n";
    if (write(fd.get(), text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
        fchmod(fd.get(), 0644) != 0 || flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        *why = "cannot write a pid file in " + run + ": " + strerror(errno);
        unlink(tmp->c_str());
        return -1;
    }
    return fd.release();
}

// The control FIFO, made anew (whatever a crashed app or anyone else left at its name goes)
// and opened for writing too, so that it never reports end of file between writers.
bool openFifo(const std::string& path, std::string* why) {
    device::removeTree(path);
    g.fifoFd = mkfifo(path.c_str(), 0600) == 0
                   ? open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC)
                   : -1;
    if (g.fifoFd < 0) {
        *why = "cannot make " + path + ": " + strerror(errno);
        return false;
    }
    g.fifoPath = path;
    g.fifoHandler =
        ecore_main_fd_handler_add(g.fifoFd, ECORE_FD_READ, onControl, nullptr, nullptr, nullptr);
    return true;
}

// Reachable when its FIFO has a reader.
bool reachable(const std::string& fifo) {
    return ScopedFd(open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC)).valid();
}

enum class Announced { Yes, No, ElsewhereRunning, GaveUp, Refused };

// Announces the running app on its device; a process that is no known app runs unannounced,
// and one the device could not see (no pid file or FIFO) does not run: Refused, with `why`.
// A UI app runs once: when another process runs as the app already, this one hands its
// launch request, decoded once and kept, over to it instead, for two seconds if it must.
Announced announce(std::string* why) {
    device::Package pkg;
    device::AppEntry app;
    if (device::currentApp(&pkg, &app) != device::OK) return Announced::No;
    std::string dev = device::root(), tmp;
    std::string pidPath = device::pidFile(dev, app.appId);
    ScopedFd pid(preparePidFile(device::runDir(dev), &tmp, why));
    if (!pid.valid()) return Announced::Refused;
    bool mine = false;
    int holder = 0, err = 0;
    for (int attempt = 0; attempt < 200; ++attempt) {
        if ((mine = link(tmp.c_str(), pidPath.c_str()) == 0) || (err = errno) != EEXIST) break;
        // Taken: by a live app, or by what runningPid clears (left by a dead app, or no file).
        if ((holder = device::runningPid(dev, app.appId)) == 0) continue;
        if (!g.request) g.request = appcontrol_from_environment();
        if (reachable(device::controlFifo(dev, app.appId)) &&
            appcontrol_forward(dev, app.appId, g.request)) {
            unlink(tmp.c_str());
            return Announced::ElsewhereRunning;
        }
        usleep(10000);  // the holder may be between its pid file and its FIFO
    }
    unlink(tmp.c_str());
    if (!mine && holder > 0) {
        dlog_print(DLOG_ERROR, kLogTag, "%s runs as pid %d and took no launch request: given up",
                   app.appId.c_str(), holder);
        return Announced::GaveUp;
    }
    if (!mine) {
        *why = "cannot make " + pidPath + ": " + strerror(err);
        return Announced::Refused;
    }
    g.pidFd = pid.release();
    g.pidPath = pidPath;
    return openFifo(device::controlFifo(dev, app.appId), why) ? Announced::Yes : Announced::Refused;
}

// Only the owner of the pid file removes it and the FIFO, while it still holds the lock.
void withdraw() {
    if (g.fifoHandler) ecore_main_fd_handler_del(g.fifoHandler);
    g.fifoHandler = nullptr;
    if (g.fifoFd >= 0) close(g.fifoFd);
    g.fifoFd = -1;
    if (!g.fifoPath.empty()) unlink(g.fifoPath.c_str());
    if (!g.pidPath.empty()) unlink(g.pidPath.c_str());
    if (g.pidFd >= 0) close(g.pidFd);
    g.pidFd = -1;
    if (g.request) app_control_destroy(g.request);
    g.request = nullptr;
    g.fifoPath.clear();
    g.pidPath.clear();
    g.lines.reset();
}

}  // namespace

extern "C" {

EXPORT_API int ui_app_main(int argc, char** argv, ui_app_lifecycle_callback_s* callback,
                           void* user_data) {
    if (!callback || !callback->create || argc < 1 || !argv) return APP_ERROR_INVALID_PARAMETER;
    if (g.state != State::Idle) return APP_ERROR_ALREADY_RUNNING;
    // The toolkit's errors stay, without a backtrace each (a desktop without a system bus
    // gets several); an explicit EINA_LOG_BACKTRACE wins.
    setenv("EINA_LOG_BACKTRACE", "-1", 0);
    if (elm_init(argc, argv) <= 0) return APP_ERROR_INVALID_CONTEXT;

    g.state = State::Creating;
    g.cb = *callback;
    g.data = user_data;
    g.exitBeforeLoop = false;
    std::string why;
    Announced announced = announce(&why);
    if (announced == Announced::Refused)
        dlog_print(DLOG_ERROR, kLogTag, "not started: the device could not see it: %s",
                   why.c_str());
    if (announced != Announced::Yes && announced != Announced::No) {
        // Its request went to the instance that runs, or nowhere; this process never became
        // the app.
        withdraw();
        elm_shutdown();
        g = Lifecycle();
        return announced == Announced::ElsewhereRunning ? APP_ERROR_NONE
               : announced == Announced::GaveUp         ? APP_ERROR_ALREADY_RUNNING
                                                        : APP_ERROR_INVALID_CONTEXT;
    }
    g.signalExit = ecore_event_handler_add(ECORE_EVENT_SIGNAL_EXIT, onSignalExit, nullptr);

    int sw, sh;
    double scale;
    ui_screen(&sw, &sh, &scale);
    ui_scale_set(scale);

    bool created = g.cb.create(g.data);
    if (created) {
        g.state = State::Running;
        app_control_h request = g.request ? g.request : appcontrol_from_environment();
        g.request = nullptr;
        deliverAppControl(request);
        trackWindows();
        ui_inspect_arm_from_environment();
        if (!g.exitBeforeLoop) {
            g.inLoop = true;
            elm_run();
            g.inLoop = false;
        }
        // As on a device: an app that ends in the foreground is paused first.
        if (!g.exitBeforeLoop) pauseApp();
        g.state = State::Ending;
        untrackWindows();
        if (g.cb.terminate) g.cb.terminate(g.data);
    }

    if (g.signalExit) ecore_event_handler_del(g.signalExit);
    g.signalExit = nullptr;
    withdraw();
    untrackWindows();
    elm_shutdown();
    g.cb = ui_app_lifecycle_callback_s();
    g.data = nullptr;
    g.state = State::Idle;
    return APP_ERROR_NONE;
}

EXPORT_API void ui_app_exit(void) {
    // Asked before the loop started: the loop is skipped rather than run for nothing.
    if ((g.state == State::Creating || g.state == State::Running) && !g.inLoop)
        g.exitBeforeLoop = true;
    elm_exit();
}

EXPORT_API int ui_app_add_event_handler(app_event_handler_h* event_handler,
                                        app_event_type_e event_type, app_event_cb callback,
                                        void* user_data) {
    if (!event_handler || !callback || event_type < APP_EVENT_LOW_MEMORY ||
        event_type > APP_EVENT_SUSPENDED_STATE_CHANGED)
        return APP_ERROR_INVALID_PARAMETER;
    // A desktop raises none of these events; the handlers are only kept.
    auto* h = new app_event_handler{event_type, callback, user_data};
    gHandlers.push_back(h);
    *event_handler = h;
    return APP_ERROR_NONE;
}

EXPORT_API int ui_app_remove_event_handler(app_event_handler_h event_handler) {
    auto it = std::find(gHandlers.begin(), gHandlers.end(), event_handler);
    if (!event_handler || it == gHandlers.end()) return APP_ERROR_INVALID_PARAMETER;
    gHandlers.erase(it);
    delete event_handler;
    return APP_ERROR_NONE;
}

EXPORT_API app_device_orientation_e app_get_device_orientation(void) {
    // Desktop screens do not turn.
    return APP_DEVICE_ORIENTATION_0;
}
}
