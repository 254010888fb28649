// App: queries about the running app and other apps' shared folders, on test devices.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "App.h"
#include "TestDevice.h"

namespace {

const char kHostId[] = "org.example.host";
const char kHostTag[] = "Host_App";
const char kLayerApp[] = "QOR111TBNX.QorService";

// Log lines compared without the pid field, whatever its width.
std::string noPid(const std::string& line) {
    size_t open = line.find('(');
    size_t close = line.find("): ", open);
    if (open == std::string::npos || close == std::string::npos) return line;
    return line.substr(0, open + 1) + line.substr(close);
}

std::string expectedLine(char prio, const char* func, const char* needle, const std::string& msg) {
    return noPid(vt::logLine(prio, kHostTag, "src/App.cpp", func, needle, msg));
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
    std::string hostRoot() const { return device.packageRoot(kHostId); }
    std::string sdcardRoot() const {
        return device.path() + "/opt/storage/sdcard/apps/" + kHostId + "/";
    }

    vt::TestDevice device;
};

TEST_F(AppTest, OwnIdNameAndVersion) {
    const struct {
        const char* name;
        string (*query)();
        const char* value;
    } cases[] = {
        {"getAppId", &App::getAppId, kHostId},
        {"getAppName", &App::getAppName, "Host App"},
        {"getAppVersion", &App::getAppVersion, "1.2.3"},
        {"getAppPackageId", &App::getAppPackageId, "org"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        device.activate(kHostId);
        EXPECT_EQ(c.value, c.query());
        device.activate("org.example.absent");
        EXPECT_EQ("", c.query());
        device.activate("");
        vt::LogCapture log;
        EXPECT_EQ("", c.query());
        EXPECT_TRUE(log.lines().empty());
    }
}

struct FolderCase {
    const char* name;
    string (*query)();
    const char* sub;
    bool external;
    bool needsOldApi;  // shared data exists only below api-version 3.0
};

const FolderCase kFolders[] = {
    {"getAppCachePath", &App::getAppCachePath, "cache/", false, false},
    {"getAppExternalCachePath", &App::getAppExternalCachePath, "cache/", true, false},
    {"getAppDataPath", &App::getAppDataPath, "data/", false, false},
    {"getAppExternalDataPath", &App::getAppExternalDataPath, "data/", true, false},
    {"getAppExternalSharedDataPath", &App::getAppExternalSharedDataPath, "shared/data/", true,
     false},
    {"getAppResourcePath", &App::getAppResourcePath, "res/", false, false},
    {"getAppSharedDataPath", static_cast<string (*)()>(&App::getAppSharedDataPath), "shared/data/",
     false, true},
    {"getAppSharedResourcePath", static_cast<string (*)()>(&App::getAppSharedResourcePath),
     "shared/res/", false, false},
    {"getAppSharedTrustedPath", &App::getAppSharedTrustedPath, "shared/trusted/", false, false},
};

TEST_F(AppTest, OwnFoldersEndInSlash) {
    installHost("2.4");
    vt::writeFile(device.path() + "/opt/storage/sdcard/.present", "");  // external storage
    for (const FolderCase& c : kFolders) {
        SCOPED_TRACE(c.name);
        vt::LogCapture log;
        EXPECT_EQ((c.external ? sdcardRoot() : hostRoot()) + c.sub, c.query());
        EXPECT_TRUE(log.lines().empty());
    }
}

TEST_F(AppTest, OwnFoldersFailWithEmptyAnswers) {
    // The host has api-version 4 here (no shared data) and the device no external storage.
    const std::string dataLine =
        expectedLine('E', "getAppDataPath", "Failed to get App data path",
                     "Failed to get App data path. err(Invalid application context)");
    for (const FolderCase& c : kFolders) {
        SCOPED_TRACE(c.name);
        device.activate(kHostId);
        vt::LogCapture withContext;
        std::string expected = c.external || c.needsOldApi ? "" : hostRoot() + c.sub;
        EXPECT_EQ(expected, c.query());
        EXPECT_TRUE(withContext.lines().empty());

        device.activate("");
        vt::LogCapture withoutContext;
        EXPECT_EQ("", c.query());
        std::vector<std::string> lines = withoutContext.lines();
        if (c.query == &App::getAppDataPath) {
            ASSERT_EQ(1u, lines.size());
            EXPECT_EQ(dataLine, noPid(lines[0]));
        } else {
            EXPECT_TRUE(lines.empty());
        }
    }
}

struct SharedCase {
    const char* kind;  // "res" or "data"
    const char* appId;
    const char* targetApi;  // null: the target is not installed
    const char* hostApi;
    const char* error;  // null: success
};

const SharedCase kShared[] = {
    {"res", kLayerApp, "4", "4", nullptr},
    {"res", kLayerApp, "2.4", "2.4", nullptr},
    {"res", kLayerApp, nullptr, "4", "No such application"},
    {"res", "nodot", nullptr, "4", "No such application"},
    {"res", nullptr, nullptr, "4", "Invalid parameter"},
    {"data", kLayerApp, "2.4", "2.4", nullptr},
    {"data", kLayerApp, "4", "2.4", "Not supported"},
    {"data", kLayerApp, "2.4", "4", "Not supported"},
    {"data", kLayerApp, nullptr, "2.4", "No such application"},
    {"data", nullptr, nullptr, "2.4", "Invalid parameter"},
};

TEST_F(AppTest, OtherAppsSharedFoldersLogTheirAnswer) {
    for (const SharedCase& c : kShared) {
        const std::string kind = c.kind;
        const std::string id = c.appId ? c.appId : "(null)";
        SCOPED_TRACE(kind + " " + id + " target api " + (c.targetApi ? c.targetApi : "-") +
                     " host api " + c.hostApi);
        installHost(c.hostApi);
        device.uninstall("QOR111TBNX");
        if (c.targetApi) {
            vt::PackageSpec layer = vt::layerPackage("3.0.0", "");
            layer.apiVersion = c.targetApi;
            device.install(layer);
        }
        const bool res = kind == "res";
        const std::string sub = res ? "shared/res/" : "shared/data/";
        const char* func = res ? "getAppSharedResourcePath" : "getAppSharedDataPath";

        vt::LogCapture log;
        std::string path =
            res ? App::getAppSharedResourcePath(c.appId) : App::getAppSharedDataPath(c.appId);
        std::vector<std::string> lines = log.lines();
        ASSERT_EQ(1u, lines.size());
        if (c.error) {
            EXPECT_EQ("", path);
            std::string msg = "Failed to get shared " + kind + " path for ";
            EXPECT_EQ(expectedLine('E', func, msg.c_str(), msg + id + ". err(" + c.error + ")"),
                      noPid(lines[0]));
        } else {
            EXPECT_EQ(device.packageRoot("QOR111TBNX") + sub, path);
            std::string msg = "Shared " + kind + " path for ";
            EXPECT_EQ(expectedLine('I', func, msg.c_str(), msg + id + " is " + path),
                      noPid(lines[0]));
        }
    }
}

TEST_F(AppTest, SystemMediaPathIsFixed) {
    for (const char* appId : {kHostId, "", "org.example.absent"}) {
        device.activate(appId);
        EXPECT_EQ("/opt/usr/media/", App::getSystemMediaPath());
    }
    unsetenv("VORNIX_DEVICE");
    EXPECT_EQ("/opt/usr/media/", App::getSystemMediaPath());
}

TEST(AppPackageIdTest, IsTheTextBeforeTheFirstDot) {
    const struct {
        const char* appId;
        const char* pkgId;
    } cases[] = {
        {"QOR111TBNX.QorService", "QOR111TBNX"},
        {"org.tizen.tizenstore", "org"},
        {"nodot", ""},
        {"", ""},
        {".x", ""},
        {"a.", "a"},
        {"a..b", "a"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.pkgId, App::getPackageIdFromAppId(c.appId)) << c.appId;
}

}  // namespace
