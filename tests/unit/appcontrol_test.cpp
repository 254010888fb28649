// SPDX-License-Identifier: Apache-2.0
// The AppControl wrapper over the application-control service, up to launch requests.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AppControl.h"
#include "TestDevice.h"

namespace {
int gCreateFailure = 0;        // when set, app_control_create fails with it
int gSetOperationFailure = 0;  // when set, app_control_set_operation fails with it
}  // namespace

// Interposed on the platform library, for the wrapper's roads when the platform fails.
extern "C" int app_control_create(app_control_h* h) {
    static auto real = reinterpret_cast<int (*)(app_control_h*)>(dlsym(RTLD_NEXT, __func__));
    return gCreateFailure ? gCreateFailure : real(h);
}

extern "C" int app_control_set_operation(app_control_h h, const char* operation) {
    static auto real =
        reinterpret_cast<int (*)(app_control_h, const char*)>(dlsym(RTLD_NEXT, __func__));
    return gSetOperationFailure ? gSetOperationFailure : real(h, operation);
}

using namespace std::string_literals;

namespace {

using Lines = std::vector<std::string>;
const char kEcho[] = "org.example.echo";

Lines captured(const vt::LogCapture& log) {
    Lines out;
    for (const std::string& l : log.lines())
        if (l.find("AppControl.cpp: ") != std::string::npos) out.push_back(vt::logBody(l));
    return out;
}
std::string logged(const char* func, const std::string& msg) {
    return vt::logBody(vt::logLine('E', "", "src/AppControl.cpp", func, msg));
}

// A clone is deep and owns its copy. The keys that hold the request's fields are no extra
// data. Extra data goes into a bundle and back, without bytes.
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
    auto fields = [](AppControl& a) {
        return a.getOperation() + a.getUri() + a.getMime() + a.getCategory() + a.getAppId() + " " +
               a.getExtraData("s") + (a.isExtraDataArray("a") ? " array" : "");
    };
    EXPECT_EQ(fields(*copy), "fffff text array");

    Bundle b(copy->getExtraDataAsBundle(), true);
    b.addBytes("bytes", "\x01\x02", 2);
    AppControl back;
    back.copyExtaDataFromBundle(b.getBundle());
    EXPECT_EQ(b.getCount(), 3);  // the bundle stays the caller's
    EXPECT_EQ(fields(back) + back.getExtraData("bytes"), " text array");
    char** values = nullptr;
    int n = 0;
    EXPECT_EQ(back.getExtraDataArray("a", &values, &n), 0);
    EXPECT_EQ(Lines(values, values + n), (Lines{"one", "two"}));
    for (int i = 0; i < n; ++i) free(values[i]);
    free(values);
}

// A wrapper without a handle says why, and answers queries without harm.
TEST(AppControlWrapper, WithoutAHandle) {
    gCreateFailure = APP_CONTROL_ERROR_OUT_OF_MEMORY;
    AppControl failed;
    gCreateFailure = 0;
    EXPECT_FALSE(failed.isValid());
    EXPECT_STREQ(failed.getErrorMessage(), "Method app_control_create() failed. Ret code = -12");
    EXPECT_EQ(failed.getUri(), "");
    EXPECT_EQ(failed.clone(), nullptr);
    vt::LogCapture log;
    EXPECT_EQ(failed.getLaunchMode(), APP_CONTROL_LAUNCH_MODE_SINGLE);
    EXPECT_EQ(captured(log),
              Lines{logged("getLaunchMode", "Failed to get launch mode. err(Invalid parameter)")});
}

// Every request made is journaled with its result, refused ones too; one that cannot be
// made says why and is not. The caller must be an installed app with the launch privilege.
TEST(AppControlLaunch, JournalLinesAndRefusedLaunches) {
    vt::TestDevice device;
    vt::PackageSpec plain;  // no launch privilege, and no program
    plain.pkgId = "org.example.plain";
    plain.apps.push_back({plain.pkgId, "ui-application", "plain", "Plain", false, ""});
    for (const vt::PackageSpec& p : {vt::hostPackage(), plain}) device.install(p);
    auto journal = [&] {
        std::string j = device.journal();
        unlink(device::journalFile(device.path()).c_str());
        return j;
    };
    auto line = [](const char* target, const char* op, const char* mode, const char* reply,
                   const char* caller) {
        return "launch caller="s + caller + " target=" + target + " operation=" + op +
               " uri= mime= category= launch_mode=" + mode + " reply=" + reply + " extra={}";
    };
    const char *host = "org.example.host", *missing = "org.example.missing", *none = "";
    auto onReply = [](app_control_h, app_control_h, app_control_result_e, void*) {};
    AppControl single;
    single.setAppId(missing);
    single.setGroupLaunch(false);
    const struct {
        const char* caller;
        std::function<int()> send;
        int ret;
        std::string journal;
    } cases[] = {
        {host, [&] { return AppControl::launchApplication(missing, nullptr, nullptr, nullptr); },
         APP_CONTROL_ERROR_APP_NOT_FOUND, line(missing, "", "single", "no", host)},
        {host, [&] { return AppControl::launchApplication(missing, "op", onReply, nullptr); },
         APP_CONTROL_ERROR_APP_NOT_FOUND, line(missing, "op", "group", "yes", host)},
        {host, [&] { return single.sendLaunchRequest(onReply, nullptr); },
         APP_CONTROL_ERROR_APP_NOT_FOUND, line(missing, "", "single", "yes", host)},
        {host,
         [&] {
             return AppControl::launchApplication(plain.pkgId.c_str(), nullptr, nullptr, nullptr);
         },
         APP_CONTROL_ERROR_LAUNCH_FAILED, line(plain.pkgId.c_str(), "", "single", "no", host)},
        {plain.pkgId.c_str(),
         [&] { return AppControl::launchApplication(host, nullptr, nullptr, nullptr); },
         APP_CONTROL_ERROR_PERMISSION_DENIED, line(host, "", "single", "no", plain.pkgId.c_str())},
        {"org.example.nobody",
         [&] { return AppControl::launchApplication(host, nullptr, nullptr, nullptr); },
         APP_CONTROL_ERROR_PERMISSION_DENIED, line(host, "", "single", "no", "org.example.nobody")},
        {none, [&] { return AppControl::launchApplication(host, nullptr, nullptr, nullptr); },
         APP_CONTROL_ERROR_PERMISSION_DENIED, line(host, "", "single", "no", none)},
    };
    for (const auto& c : cases) {
        device.activate(c.caller);
        EXPECT_EQ(c.send(), c.ret) << c.journal;
        EXPECT_EQ(journal(), c.journal + " result=" + std::to_string(c.ret) + "\n");
    }
    device.activate(host);
    const struct {
        int* failure;  // set to out of memory while the request is made
        const char* operation;
        int ret;
        const char* message;
    } refused[] = {
        {&gCreateFailure, nullptr, APP_CONTROL_ERROR_INVALID_PARAMETER,
         "Failed to set app id(Invalid parameter)"},
        {&gSetOperationFailure, "op", APP_CONTROL_ERROR_OUT_OF_MEMORY,
         "Failed to set operation id(Out of memory)"},
    };
    for (const auto& c : refused) {
        vt::LogCapture log;
        *c.failure = APP_CONTROL_ERROR_OUT_OF_MEMORY;
        int ret = AppControl::launchApplication(missing, c.operation, nullptr, nullptr);
        *c.failure = 0;
        EXPECT_EQ(ret, c.ret) << c.message;
        EXPECT_EQ(captured(log), Lines{logged("launchApplication", c.message)});
        EXPECT_EQ(journal(), "") << c.message;
    }
    unsetenv("VORNIX_DEVICE");
    unsetenv("VORNIX_APP_ID");
}

}  // namespace
