// SPDX-License-Identifier: Apache-2.0
// App: queries about the running app and other apps' shared folders, on test devices.
#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <qor/log.h>

#include <string>
#include <vector>

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

std::string expectedLine(char prio, const char* func, const std::string& needle,
                         const std::string& msg) {
    return vt::withoutPid(vt::logLine(prio, "Host_App", "src/App.cpp", func, msg));
}

// A device with the host app installed and this process running as it. The first
// logged call fixes App.cpp's log tag to the host's, so later lines are predictable
// even when they are written without an app context.
class AppTest : public testing::Test {
protected:
    void SetUp() override { installHost("4"); }
    void TearDown() override {
        unsetenv("VORNIX_DEVICE");
        unsetenv("VORNIX_APP_ID");
    }
    void installHost(const std::string& apiVersion) {
        vt::PackageSpec host = vt::hostPackage("Host App");
        host.apiVersion = apiVersion;
        host.version = "1.2.3";
        device.install(host);
        device.activate(kHostId);
        App::getAppSharedResourcePath("org.example.nothing");
    }
    vt::TestDevice device;
};

// Answers with api-version 4 (no shared data) and no external storage, then with
// api-version 2.4 and external storage. Without an app context, or as an absent app,
// every answer is empty and only the data folder query logs.
TEST_F(AppTest, OwnIdentityAndFolders) {
    const std::string h = device.packageRoot(kHostId),
                      sd = device.path() + "/opt/storage/sdcard/apps/" + kHostId + "/";
    using Query = std::string (*)();
    const struct {
        Query query;
        std::string newApi, oldApi;
    } cases[] = {
        {&App::getAppId, kHostId, kHostId},
        {&App::getAppName, "Host App", "Host App"},
        {&App::getAppVersion, "1.2.3", "1.2.3"},
        {&App::getAppPackageId, "org", "org"},
        {&App::getAppCachePath, h + "cache/", h + "cache/"},
        {&App::getAppExternalCachePath, "", sd + "cache/"},
        {&App::getAppDataPath, h + "data/", h + "data/"},
        {&App::getAppExternalDataPath, "", sd + "data/"},
        {&App::getAppExternalSharedDataPath, "", sd + "shared/data/"},
        {&App::getAppResourcePath, h + "res/", h + "res/"},
        {static_cast<Query>(&App::getAppSharedDataPath), "", h + "shared/data/"},
        {static_cast<Query>(&App::getAppSharedResourcePath), h + "shared/res/", h + "shared/res/"},
        {&App::getAppSharedTrustedPath, h + "shared/trusted/", h + "shared/trusted/"},
    };
    const std::string dataLine =
        expectedLine('E', "getAppDataPath", "Failed to get App data path",
                     "Failed to get App data path. err(Invalid application context)");
    for (bool old : {false, true}) {
        if (old) {
            installHost("2.4");
            vt::writeFile(device.path() + "/opt/storage/sdcard/.present", "");
        }
        int row = 0;
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "row " << row++ << (old ? " api 2.4" : " api 4"));
            device.activate(kHostId);
            vt::LogCapture withContext;
            EXPECT_EQ(old ? c.oldApi : c.newApi, c.query());
            EXPECT_TRUE(withContext.lines().empty());
            for (const char* other : {"", "org.example.absent"}) {
                device.activate(other);
                vt::LogCapture log;
                EXPECT_EQ("", c.query()) << other;
                EXPECT_EQ(c.query == &App::getAppDataPath ? Lines{dataLine} : Lines{}, logged(log))
                    << other;
            }
        }
    }
}

TEST_F(AppTest, OtherAppsSharedFoldersLogTheirAnswer) {
    const struct {
        bool res;                                 // shared/res, else shared/data
        const char *appId, *targetApi, *hostApi;  // targetApi null: the target is not installed
        const char* error;                        // null: success
    } cases[] = {
        // clang-format off
        {true, kLayerApp, "4", "4", nullptr},       {true, kLayerApp, "2.4", "2.4", nullptr},
        {true, kLayerApp, nullptr, "4", "No such application"},
        {true, "nodot", nullptr, "4", "No such application"},
        {true, nullptr, nullptr, "4", "Invalid parameter"},
        {false, kLayerApp, "2.4", "2.4", nullptr},  {false, kLayerApp, "4", "2.4", "Not supported"},
        {false, kLayerApp, "2.4", "4", "Not supported"},
        {false, kLayerApp, nullptr, "2.4", "No such application"},
        {false, nullptr, nullptr, "2.4", "Invalid parameter"},
        // clang-format on
    };
    for (const auto& c : cases) {
        const std::string kind = c.res ? "res" : "data", id = c.appId ? c.appId : "(null)";
        SCOPED_TRACE(kind + " " + id + " target api " + (c.targetApi ? c.targetApi : "-") +
                     " host api " + c.hostApi);
        installHost(c.hostApi);
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
        std::string msg = (c.error ? "Failed to get shared " : "Shared ") + kind + " path for ";
        EXPECT_EQ(c.error ? "" : device.packageRoot("QOR111TBNX") + "shared/" + kind + "/", path);
        EXPECT_EQ(Lines{c.error ? expectedLine('E', func, msg, msg + id + ". err(" + c.error + ")")
                                : expectedLine('I', func, msg, msg + id + " is " + path)},
                  logged(log));
    }
}

// The first log line of a file looks its tag up: the app's name with every byte outside
// 33..126 made "_"; without a name "UNKNOWN", kept by no one, so the next line asks again.
// A strerror(errno) among the line's arguments may be read after the lookup, so the
// lookup leaves errno alone. This file's own tag stands for every file's.
TEST_F(AppTest, TagLookupCleansTheNameRetriesAndKeepsErrno) {
    const struct {
        const char *label, *appId, *tag;
        bool fresh;  // as in a file that has not logged yet
    } rows[] = {
        {"Host App", "", "UNKNOWN", true},
        {"Host App", kHostId, "Host_App", false},
        {"Other", kHostId, "Host_App", false},
        {"Caf\xc3\xa9\t~!\x7f", kHostId, "Caf___~!_", true},
        {"", kHostId, "", true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.label);
        if (r.fresh) free(qor_tag), qor_tag = nullptr;
        device.install(vt::hostPackage(r.label));
        device.activate(r.appId);
        errno = EACCES;
        EXPECT_STREQ(r.tag, get_qor_tag());
        EXPECT_EQ(EACCES, errno);
    }
    EXPECT_EQ(nullptr, qor_clean_tag(nullptr));
    for (auto [path, base] : {std::pair<const char*, const char*>{"/a/b/App.cpp", "App.cpp"},
                              {"App.cpp", "App.cpp"},
                              {"a/", ""},
                              {nullptr, nullptr}})
        EXPECT_STREQ(base, get_base_name(path)) << (path ? path : "null");
}

TEST(AppPackageIdTest, IsTheTextBeforeTheFirstDot) {
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"QOR111TBNX.QorService", "QOR111TBNX"}, {"org.tizen.tizenstore", "org"}, {"nodot", ""},
        {"", ""}, {".x", ""}, {"a.", "a"}, {"a..b", "a"}};
    // clang-format on
    for (const auto& [appId, pkgId] : cases)
        EXPECT_EQ(pkgId, App::getPackageIdFromAppId(appId)) << appId;
    EXPECT_EQ("/opt/usr/media/", App::getSystemMediaPath());  // the same on every device
    // An object answers as the class does.
    App instance;
    EXPECT_EQ("QOR111TBNX", instance.getPackageIdFromAppId("QOR111TBNX.QorService"));
}

}  // namespace
