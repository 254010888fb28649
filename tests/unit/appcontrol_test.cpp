// SPDX-License-Identifier: Apache-2.0
// The AppControl wrapper over the application-control service, up to launch requests.
#include <gtest/gtest.h>

#include <Ecore.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>

#include "AppControl.h"
#include "MainLoop.h"
#include "TestDevice.h"

using namespace std::string_literals;

namespace {

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
    const std::string echo = "org.example.echo";
    vt::PackageSpec spec;
    spec.pkgId = echo;
    spec.apps.push_back({echo, "ui-application", "echo-app", "Echo", false, ""});
    spec.copies["bin/echo-app"] = VORNIX_ECHO_APP;
    for (const vt::PackageSpec& p : {vt::hostPackage(), spec}) device.install(p);
    device.activate("org.example.host");
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

}  // namespace
