// SPDX-License-Identifier: Apache-2.0
// The AppControl wrapper over the application-control service, up to launch requests.
#include <gtest/gtest.h>

#include <Ecore.h>
#include <bundle.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "AppControl.h"
#include "MainLoop.h"
#include "TestDevice.h"

using namespace std::string_literals;

namespace {

const char kEcho[] = "org.example.echo";

// The host, and the echo app as a package.
vt::TestDevice* withEcho(vt::TestDevice* device) {
    vt::PackageSpec spec;
    spec.pkgId = kEcho;
    spec.apps.push_back({kEcho, "ui-application", "echo-app", "Echo", false, ""});
    spec.copies["bin/echo-app"] = VORNIX_ECHO_APP;
    for (const vt::PackageSpec& p : {vt::hostPackage(), spec}) device->install(p);
    return device;
}

// Asks the echo app to take a request and stay.
int stay(AppControl* request) {
    request->setAppId(kEcho);
    request->addExtraData("reply", "stay");
    return request->sendLaunchRequest(nullptr, nullptr);
}

// The environment of the echo app started with a request (`padding` bytes of extra data).
std::vector<std::string> startedWith(vt::TestDevice* dev, const char* operation,
                                     const std::string& reply, size_t padding = 0) {
    bundle* b = bundle_create();
    bundle_add_str(b, "__APP_SVC_OP_TYPE__", operation);
    bundle_add_str(b, "reply", reply.c_str());
    bundle_add_str(b, "padding", std::string(padding, 'p').c_str());
    bundle_raw* raw = nullptr;
    int len = 0;
    bundle_encode(b, &raw, &len);
    std::vector<std::string> env = dev->env(kEcho);
    env.push_back("VORNIX_APP_CONTROL=" + std::string(reinterpret_cast<char*>(raw), len));
    free(raw), bundle_free(b);
    return env;
}

// A clone is deep and owns its copy. The keys that hold the request's fields are no extra
// data.
TEST(AppControlWrapper, FieldsExtraDataAndClones) {
    std::unique_ptr<AppControl> r(new AppControl());
    const char* two[] = {"one", "two"};
    for (auto set : {&AppControl::setOperation, &AppControl::setUri, &AppControl::setMime,
                     &AppControl::setCategory, &AppControl::setAppId})
        EXPECT_EQ(((*r).*set)("f"), 0);
    EXPECT_EQ(r->addExtraData("s", "text"), 0);
    EXPECT_EQ(r->addExtraDataArray("a", two, 2), 0);
    for (const char* key : {"__AUL_X", "__APP_SVC_URI__"}) {
        EXPECT_EQ(r->addExtraData(key, "v"), APP_CONTROL_ERROR_KEY_REJECTED) << key;
        EXPECT_EQ(r->addExtraDataArray(key, two, 2), APP_CONTROL_ERROR_KEY_REJECTED) << key;
        EXPECT_EQ(r->removeExtraData(key), APP_CONTROL_ERROR_KEY_REJECTED) << key;
    }
    std::unique_ptr<AppControl> copy(r->clone());
    ASSERT_NE(copy, nullptr);
    r->setUri("changed");
    r->addExtraData("s", "changed");
    r.reset();
    EXPECT_EQ(copy->getOperation() + copy->getUri() + copy->getMime() + copy->getCategory() +
                  copy->getAppId() + " " + copy->getExtraData("s"),
              "fffff text");
    EXPECT_TRUE(copy->isExtraDataArray("a"));
}

// Every request is journaled with its result, refused ones too. A callback asks for a reply
// and, by default, a group launch. The caller must be an installed app allowed to launch.
TEST(AppControlLaunch, JournalLinesAndRefusedLaunches) {
    vt::TestDevice device;
    vt::PackageSpec plain;  // no launch privilege, and no program
    plain.pkgId = "org.example.plain";
    plain.apps.push_back({plain.pkgId, "ui-application", "plain", "Plain", false, ""});
    for (const vt::PackageSpec& p : {vt::hostPackage(), plain}) device.install(p);
    const char *host = "org.example.host", *missing = "org.example.missing";
    const struct {
        const char *caller, *target, *operation;
        bool callback, group;
        int ret;
        const char* mode;
    } cases[] = {
        {host, missing, nullptr, false, true, APP_CONTROL_ERROR_APP_NOT_FOUND, "single"},
        {host, missing, "op", true, true, APP_CONTROL_ERROR_APP_NOT_FOUND, "group"},
        {host, missing, nullptr, true, false, APP_CONTROL_ERROR_APP_NOT_FOUND, "single"},
        {host, plain.pkgId.c_str(), nullptr, false, true, APP_CONTROL_ERROR_LAUNCH_FAILED,
         "single"},
        {plain.pkgId.c_str(), host, nullptr, false, true, APP_CONTROL_ERROR_PERMISSION_DENIED,
         "single"},
        {"org.example.nobody", host, nullptr, false, true, APP_CONTROL_ERROR_PERMISSION_DENIED,
         "single"},
        {"", host, nullptr, false, true, APP_CONTROL_ERROR_PERMISSION_DENIED, "single"},
    };
    for (const auto& c : cases) {
        device.activate(c.caller);
        AppControl r;
        r.setAppId(c.target);
        if (c.operation) r.setOperation(c.operation);
        r.setGroupLaunch(c.group);
        app_control_reply_cb onReply = [](app_control_h, app_control_h, app_control_result_e,
                                          void*) {};
        EXPECT_EQ(r.sendLaunchRequest(c.callback ? onReply : nullptr, nullptr), c.ret);
        EXPECT_EQ(device.journal(), "launch caller="s + c.caller + " target=" + c.target +
                                        " operation=" + (c.operation ? c.operation : "") +
                                        " uri= mime= category= launch_mode=" + c.mode +
                                        " reply=" + (c.callback ? "yes" : "no") +
                                        " extra={} result=" + std::to_string(c.ret) + "\n");
        unlink(device::journalFile(device.path()).c_str());
    }
}

// A target that is not running is started with the request, holding no descriptor of its
// starter's but the reply channel, and each way it answers reaches the callback.
TEST(AppControlLaunch, StartedTargetAnswersTheCallback) {
    static int loop = (setenv("ECORE_NO_SYSTEM_MODULES", "1", 1), ecore_init());
    ASSERT_GT(loop, 0);
    vt::TestDevice device;
    const std::string echo = kEcho;
    withEcho(&device)->activate("org.example.host");
    int stray = open("/dev/null", O_RDONLY);  // no close-on-exec, like the toolkit's own
    struct Seen {
        bool called = false;
        app_control_result_e result = APP_CONTROL_RESULT_APP_STARTED;
        std::string echo = "(no reply)";
    };
    const struct {
        const char* how;
        app_control_result_e result;
        const char* echo;
    } cases[] = {{"ok", APP_CONTROL_RESULT_SUCCEEDED, APP_CONTROL_OPERATION_VIEW},
                 {"cancel", APP_CONTROL_RESULT_CANCELED, APP_CONTROL_OPERATION_VIEW},
                 {"none", APP_CONTROL_RESULT_FAILED, "(no reply)"},         // ended without a word
                 {"4294967296", APP_CONTROL_RESULT_FAILED, "(no reply)"}};  // no int: no reply
    for (const auto& c : cases) {
        Seen seen;
        AppControl r;
        r.setAppId(echo.c_str());
        r.setOperation(APP_CONTROL_OPERATION_VIEW);
        r.setUri("file:///a b");
        r.addExtraData("reply", c.how);
        ASSERT_EQ(r.sendLaunchRequest(
                      [](app_control_h, app_control_h reply, app_control_result_e result, void* d) {
                          auto* s = static_cast<Seen*>(d);
                          char* text = nullptr;
                          if (reply) app_control_get_extra_data(reply, "echo", &text);
                          if (text) s->echo = text;
                          free(text);
                          s->result = result;
                          s->called = true;
                      },
                      &seen),
                  0);
        ASSERT_TRUE(vt::runUntil([&] { return seen.called; }, 30)) << c.how;
        EXPECT_EQ(seen.result, c.result) << c.how;
        EXPECT_EQ(seen.echo, c.echo) << c.how;
        std::string data = device.packageRoot(echo) + "data/";
        EXPECT_EQ(vt::readFile(data + "received.txt"),
                  "caller=org.example.host operation="s + APP_CONTROL_OPERATION_VIEW +
                      " uri=file:///a b reply=" + c.how + "\n");
        EXPECT_EQ(vt::readFile(data + "fds.txt"), "") << c.how;
        EXPECT_EQ(
            device.journal(),
            "launch caller=org.example.host target=org.example.echo operation="s +
                APP_CONTROL_OPERATION_VIEW +
                " uri=\"file:///a b\" mime= category= launch_mode=group reply=yes extra={reply=" +
                c.how + "} result=0\n");
        unlink(device::journalFile(device.path()).c_str());
        EXPECT_TRUE(vt::runUntil([&] { return device::runningPid(device.path(), echo) == 0; }, 30));
    }
    close(stray);
}

// An app started twice: the second start hands its request to the first instance over its
// FIFO. While that takes none (stopped, its FIFO full) the request, decoded once, is sent
// whole again; a start that finds no taker at all gives up and says so. A terminate request
// ends only an app this process started, through a handle on it (its pid may be another
// process's once it ended), not one it reached running.
TEST(AppControlLaunch, RunningInstancesTakeRequestsAndOnlyTheirStarterEndsThem) {
    vt::TestDevice device;
    withEcho(&device)->activate("org.example.host");
    struct Run {
        vt::TestDevice* dev;
        std::string app;
        int first = 0, fifo = -1, watch = inotify_init1(IN_CLOEXEC);
        size_t filled = 0;
        vt::ProcessResult gaveUp = {}, handedOver = {};
    } run = {&device, device.packageRoot(kEcho) + "bin/echo-app"};
    auto onFirst = [](int pid, void* data) {
        auto* r = static_cast<Run*>(data);
        const std::string dev = r->dev->path();
        devkit::waitFor([&] { return device::runningPid(dev, kEcho) == pid; }, 20000);
        AppControl reached;
        EXPECT_EQ(stay(&reached), 0);
        EXPECT_EQ(reached.sendTerminateRequest(), APP_CONTROL_ERROR_PERMISSION_DENIED);
        kill(r->first = pid, SIGSTOP);
        r->fifo = open(device::controlFifo(dev, kEcho).c_str(), O_RDWR | O_NONBLOCK);
        while (write(r->fifo, "\n", 1) == 1) ++r->filled;
        const auto env = startedWith(r->dev, APP_CONTROL_OPERATION_VIEW, "none", 5000);
        r->gaveUp = vt::runProcess({r->app}, env);
        inotify_add_watch(r->watch, device::runDir(dev).c_str(), IN_DELETE);
        r->handedOver = vt::runProcess(
            {r->app}, env, "", 30000,
            [](int, void* data) {
                auto* r = static_cast<Run*>(data);
                // A request file taken back (too long for a line, it goes by file): a hand-over
                // that did not go, to be tried again. Then the FIFO is emptied and the app goes on.
                alignas(inotify_event) char events[4096];
                bool tried = false;
                pollfd ready = {r->watch, POLLIN, 0};
                for (ssize_t n; !tried && poll(&ready, 1, 20000) == 1 &&
                                (n = read(r->watch, events, sizeof events)) > 0;)
                    for (char* e = events; e < events + n;
                         e += sizeof(inotify_event) + ((inotify_event*)e)->len)
                        tried = tried || strncmp(((inotify_event*)e)->name, "request-", 8) == 0;
                for (ssize_t n;
                     r->filled > 0 &&
                     (n = read(r->fifo, events, std::min(r->filled, sizeof events))) > 0;)
                    r->filled -= n;
                kill(r->first, SIGCONT);
            },
            r);
        kill(pid, SIGCONT);  // whatever happened
    };
    vt::ProcessResult first =
        vt::runProcess({run.app}, startedWith(&device, APP_CONTROL_OPERATION_MAIN, "stay"), "",
                       60000, onFirst, &run);
    close(run.fifo), close(run.watch);
    EXPECT_NE(run.gaveUp.status, 0);
    const std::string gaveUp = "org.example.echo runs as pid " + std::to_string(run.first) +
                               " and took no launch request: given up";
    EXPECT_NE(vt::readFile(device::logFile(device.path())).find(gaveUp), std::string::npos);
    EXPECT_EQ(run.handedOver.status, 0);
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(
        vt::readFile(device.packageRoot(kEcho) + "data/received.txt"),
        "caller=(none) operation="s + APP_CONTROL_OPERATION_VIEW + " uri=(none) reply=none\n");

    AppControl mine;
    ASSERT_EQ(stay(&mine), 0);
    int pid = 0;
    devkit::waitFor([&] { return (pid = device::runningPid(device.path(), kEcho)) != 0; }, 20000);
    EXPECT_EQ(mine.sendTerminateRequest(), APP_CONTROL_ERROR_NONE);
    EXPECT_TRUE(devkit::waitFor([&] { return kill(pid, 0) != 0; }, 20000));  // gone
    EXPECT_EQ(mine.sendTerminateRequest(), APP_CONTROL_ERROR_INVALID_PARAMETER);
}

}  // namespace
