// SPDX-License-Identifier: Apache-2.0
// App: queries about the running app and other apps' shared folders; the log line format.
#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <qor/log.h>

#include "App.h"
#include "TestDevice.h"

namespace {

const char kHostId[] = "org.example.host";
const char kLayerApp[] = "QOR111TBNX.QorService";

using Lines = std::vector<std::string>;

Lines logged(const vt::LogCapture& log) {
    Lines out;
    for (const std::string& l : log.lines()) out.push_back(vt::withoutPid(l));
    return out;
}

std::string appLine(char prio, const char* func, const std::string& msg) {
    return vt::withoutPid(vt::logLine(prio, "Host_App", "src/App.cpp", func, msg));
}

// Runs this process as the host app on `apiVersion`; App.cpp's log tag becomes the host's.
void runAsHost(vt::TestDevice& device, const char* apiVersion, const char* label = "Host App") {
    vt::PackageSpec host = vt::hostPackage(label);
    host.apiVersion = apiVersion;
    device.install(host);
    device.activate(kHostId);
    App::getAppSharedResourcePath("org.example.nothing");
}

// Other apps' shared folders are answered and logged by the target's and the host's api
// version.
TEST(AppTest, OtherAppsSharedFoldersLogTheirAnswer) {
    vt::TestDevice device;
    const struct {
        bool res;                                 // shared/res, else shared/data
        const char *appId, *targetApi, *hostApi;  // targetApi null: the target is not installed
        const char* error;                        // null: success
    } cases[] = {
        // clang-format off
        {true, kLayerApp, "4", "4", nullptr},       {true, kLayerApp, nullptr, "4", "No such application"},
        {true, nullptr, nullptr, "4", "Invalid parameter"},
        {false, kLayerApp, "2.4", "2.4", nullptr},  {false, kLayerApp, "3.0", "2.4", "Not supported"},
        {false, kLayerApp, "2.4", "4", "Not supported"},
        // clang-format on
    };
    for (const auto& c : cases) {
        const std::string kind = c.res ? "res" : "data", id = c.appId ? c.appId : "(null)";
        SCOPED_TRACE(testing::Message() << "row " << &c - cases);
        runAsHost(device, c.hostApi);
        device.uninstall("QOR111TBNX");
        if (c.targetApi) {
            vt::PackageSpec layer = vt::layerPackage("3.0.0", "");
            layer.apiVersion = c.targetApi;
            device.install(layer);
        }
        const char* func = c.res ? "getAppSharedResourcePath" : "getAppSharedDataPath";
        vt::LogCapture log;
        std::string path =
            c.res ? App::getAppSharedResourcePath(c.appId) : App::getAppSharedDataPath(c.appId);
        std::string msg =
            (c.error ? "Failed to get shared " : "Shared ") + kind + " path for " + id;
        EXPECT_EQ(c.error ? "" : device.packageRoot("QOR111TBNX") + "shared/" + kind + "/", path);
        EXPECT_EQ(Lines{c.error ? appLine('E', func, msg + ". err(" + c.error + ")")
                                : appLine('I', func, msg + " is " + path)},
                  logged(log));
    }
}

// A file's first log line looks its tag up: the app's name, bytes outside 33..126 made "_";
// without a name "UNKNOWN", kept by no one. The lookup leaves errno alone (a line may log
// strerror(errno)). This file's tag stands for every file's; its line number is its own.
TEST(AppTest, LogTagAndLineNumber) {
    vt::TestDevice device;
    const struct {
        const char *label, *appId, *tag;
        bool fresh;  // as in a file that has not logged yet
    } rows[] = {
        {"Host App", "", "UNKNOWN", true},
        {"Host App", "org.example.absent", "UNKNOWN", false},
        {"Host App", kHostId, "Host_App", false},
        {"Other", kHostId, "Host_App", false},
        {"Caf\xc3\xa9 \t~!\x7f", kHostId, "Caf____~!_", true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.label);
        if (r.fresh) free(qor_tag), qor_tag = nullptr;
        runAsHost(device, "4", r.label);
        device.activate(r.appId);
        errno = EACCES;
        EXPECT_STREQ(r.tag, get_qor_tag());
        EXPECT_EQ(EACCES, errno);
    }
    vt::LogCapture log;
    const int line = __LINE__ + 1;
    LOGE("Logged at %s", "its own line");
    const std::string want =
        vt::logLine('E', "Caf____~!_", "app_test.cpp", "TestBody", "Logged at its own line");
    ASSERT_EQ(Lines{vt::withoutPid(want)}, logged(log));
    EXPECT_NE(std::string::npos, log.lines()[0].find("TestBody(" + std::to_string(line) + ") > "));
}

TEST(AppPackageIdTest, IsTheTextBeforeTheFirstDot) {
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"QOR111TBNX.QorService", "QOR111TBNX"}, {"org.tizen.tizenstore", "org"}, {"nodot", ""},
        {"", ""}, {".x", ""}, {"a.", "a"}, {"a..b", "a"}};
    // clang-format on
    for (const auto& [appId, pkgId] : cases)
        EXPECT_EQ(pkgId, App::getPackageIdFromAppId(appId)) << appId;
}

}  // namespace
