// SPDX-License-Identifier: Apache-2.0
// The AppControl wrapper over the application-control service, up to launch requests.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <memory>

#include "AppControl.h"
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
    unsetenv("VORNIX_DEVICE");
    unsetenv("VORNIX_APP_ID");
}

}  // namespace
