// SPDX-License-Identifier: Apache-2.0
// The desktop platform: manifests, packages, app context, error codes and the log.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/time.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <app_common.h>
#include <app_control.h>
#include <app_manager.h>
#include <bundle.h>
#include <dlog.h>
#include <package_manager.h>
#include <tizen.h>

#include "TestDevice.h"
#include "devkit.h"

using namespace std::string_literals;

namespace {

// The values compiled code sees must be the platform's own (aliases of a general code
// are left out).
// clang-format off
#define SAME(a, b) static_assert((a) == (b), #a)
SAME(TIZEN_ERROR_NONE, 0); SAME(TIZEN_ERROR_NOT_PERMITTED, -1); SAME(TIZEN_ERROR_NO_SUCH_FILE, -2);
SAME(TIZEN_ERROR_IO_ERROR, -5); SAME(TIZEN_ERROR_OUT_OF_MEMORY, -12);
SAME(TIZEN_ERROR_PERMISSION_DENIED, -13); SAME(TIZEN_ERROR_FILE_EXISTS, -17);
SAME(TIZEN_ERROR_INVALID_PARAMETER, -22); SAME(TIZEN_ERROR_INVALID_OPERATION, -38);
SAME(TIZEN_ERROR_NO_DATA, -61); SAME(TIZEN_ERROR_CONNECTION_TIME_OUT, -110);
SAME(TIZEN_ERROR_ALREADY_IN_PROGRESS, -114); SAME(TIZEN_ERROR_CANCELED, -125);
SAME(TIZEN_ERROR_KEY_NOT_AVAILABLE, -126); SAME(TIZEN_ERROR_KEY_REJECTED, -129);
SAME(TIZEN_ERROR_UNKNOWN, -1073741824); SAME(TIZEN_ERROR_TIMED_OUT, -1073741823);
SAME(TIZEN_ERROR_NOT_SUPPORTED, -1073741822); SAME(TIZEN_ERROR_USER_NOT_CONSENTED, -1073741821);
SAME(TIZEN_ERROR_APPLICATION, -17825792); SAME(TIZEN_ERROR_APPLICATION_MANAGER, -17891328);
SAME(TIZEN_ERROR_PACKAGE_MANAGER, -18153472); SAME(TIZEN_ERROR_BUNDLE, -18350080);
SAME(TIZEN_ERROR_DLOG, -37814272); SAME(DLOG_INFO, 4); SAME(DLOG_ERROR, 6); SAME(DLOG_PRIO_MAX, 9);
SAME(APP_ERROR_INVALID_CONTEXT, -17825791); SAME(APP_CONTROL_ERROR_APP_NOT_FOUND, -17825759);
SAME(APP_CONTROL_ERROR_INVALID_DATA_TYPE, -17825758);
SAME(APP_CONTROL_ERROR_LAUNCH_REJECTED, -17825757);
SAME(APP_CONTROL_ERROR_LAUNCH_FAILED, -17825756); SAME(APP_CONTROL_RESULT_APP_STARTED, 1);
SAME(APP_CONTROL_RESULT_CANCELED, -2); SAME(APP_MANAGER_ERROR_NO_SUCH_APP, -17891327);
SAME(APP_MANAGER_ERROR_DB_FAILED, -17891325); SAME(APP_MANAGER_ERROR_REQUEST_FAILED, -17891322);
SAME(PACKAGE_MANAGER_ERROR_NO_SUCH_PACKAGE, -18153359);
SAME(PACKAGE_MANAGER_ERROR_SYSTEM_ERROR, -18153358); SAME(BUNDLE_ERROR_KEY_EXISTS, -18350079);
SAME(BUNDLE_TYPE_NONE, -1); SAME(BUNDLE_TYPE_STR, 1025); SAME(BUNDLE_TYPE_STR_ARRAY, 1281);
SAME(BUNDLE_TYPE_BYTE, 2); SAME(BUNDLE_TYPE_BYTE_ARRAY, 258);
#undef SAME
// clang-format on

const char kHostId[] = "org.example.host";

std::string take(char* s) {
    std::string r = s ? s : "<null>";
    free(s);
    return r;
}
// A text property read through `get`, which must succeed.
template <typename Get, typename... In>
std::string got(Get get, In... in) {
    char* s = nullptr;
    EXPECT_EQ(0, get(in..., &s));
    return take(s);
}

vt::PackageSpec onePackage(const std::string& id, bool noVersion = false) {
    vt::PackageSpec p;
    p.pkgId = id;
    p.noVersion = noVersion;
    p.apps.push_back({id, "ui-application", "app", "Label", false, ""});
    return p;
}

// A device with the host app (which may read package information) and a plain app
// (which may not); the process runs as the host.
class PlatformTest : public testing::Test {
protected:
    void SetUp() override {
        device.install(vt::hostPackage("Host App"));
        device.install(onePackage("org.example.plain"));
        device.activate(kHostId);
    }
    void TearDown() override {
        unsetenv("VORNIX_DEVICE");
        unsetenv("VORNIX_APP_ID");
    }
    vt::TestDevice device;
};

struct Sample {
    const char *file, *pkgId, *version, *apiVersion;
    struct App {
        const char *appId, *label /* "" when none */, *exec;
    };
    std::vector<App> apps;
};

// clang-format off
const Sample kSamples[] = {
    {"01-native-ui-basic-api2.4.xml", "org.tizen.message-pub", "1.0.0", "2.4",
     {{"org.tizen.message-pub", "Message-pub", "message-pub"}}},
    {"02-native-ui-wearable-api2.3.1-mixed-indent.xml", "org.example.iotivityexample", "1.0.0",
     "2.3.1", {{"org.example.iotivityexample", "iotivityexample", "iotivityexample"}}},
    {"03-native-service-app-iot-api5.0.xml", "org.tizen.httpserver", "1.0.0", "5.0",
     {{"org.tizen.httpserver", "httpserver", "httpserver"}}},
    {"04-native-multi-app-xml-lang-app-control.xml", "org.tizen.contacts", "1.0.0", "3.0",
     {{"org.tizen.contacts", "Contacts", "contacts"}, {"org.tizen.phone", "Phone", "contacts"},
      {"org.tizen.contacts.edit", "", "contacts"}, {"org.tizen.contacts.view", "", "contacts"},
      {"org.tizen.contacts.pick", "", "contacts"}}},
    {"05-native-widget-app-xml-lang-version2.0.xml", "org.tizen.contacts", "2.0", "3.0",
     {{"org.tizen.contacts.widget", "Contacts", "contacts-widget"}}},
    {"06-dotnet-ui-wearable-api3.0-tabs.xml", "ElmSharpTest.Wearable", "1.0.0", "3.0",
     {{"org.tizen.ElmSharp.Wearable.Test", "ElmSharp.Wearable.Test",
       "ElmSharp.Wearable.Test.exe"}}},
    {"07-dotnet-ui-api4-xmlns-last.xml", "org.tizen.example.Telephony.Tizen.Mobile", "1.0.0", "4",
     {{"org.tizen.example.Tizen.Telephony.Test", "SampleTelephony", "SampleTelephony.dll"}}},
    {"08-dotnet-component-based-app-api5.xml", "org.tizen.example.NUIComponentApplication", "1.0.0",
     "5", {{"org.tizen.example.NUIComponentApplication", "NUIComponentApplication",
            "NUIComponentApplication.dll"}}},
    {"09-dotnet-nui-widget-app-metadata.xml", "Tizen.NUI.WidgetTest", "1.0.0", "5",
     {{"Tizen.NUI.WidgetTest", "Tizen.NUI.WidgetTest", "Tizen.NUI.WidgetTest.dll"}}},
    {"10-dotnet-ui-api9-multiline-attrs.xml", "Tizen.NUI.Devel.Manual.Tests", "1.0.0", "9",
     {{"Tizen.NUI.DevelManual.Tests", "Tizen.NUI.Devel.Manual.Tests",
       "Tizen.NUI.Devel.Manual.Tests.dll"}}},
    {"11-dotnet-ui-api3.0-exe-no-nodisplay.xml", "Tizen.Tapitest", "1.0.0", "3.0",
     {{"Tizen.Tapitest", "Tizen.Tapitest", "Tizen.Tapitest.exe"}}},
};
// clang-format on

// Each real manifest installs, and the package and app queries (also run as the app
// itself) answer what it says.
TEST_F(PlatformTest, EverySampleManifestInstallsAndReadsBack) {
    const std::string dir = vt::sourceDir() + "/../shared/samples/tizen-manifests";
    ASSERT_TRUE(vt::exists(dir)) << "sample manifests missing: " << dir;
    std::set<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().extension() == ".xml") files.insert(e.path().filename());
    ASSERT_EQ(std::size(kSamples), files.size()) << "a sample without expectations";
    for (const Sample& s : kSamples) {
        SCOPED_TRACE(s.file);
        ASSERT_TRUE(files.count(s.file));
        std::string src = vt::makeTempDir("vornix-sample"), err;
        vt::writeFile(src + "/tizen-manifest.xml", vt::readFile(dir + "/" + s.file));
        device::Package pkg;
        device::Status st = device::installPackage(device.path(), src, &pkg, &err);
        vt::removeTree(src);
        ASSERT_EQ(device::OK, st) << err;
        const std::string root = device.packageRoot(s.pkgId);
        EXPECT_EQ(s.pkgId, pkg.pkgId);
        EXPECT_TRUE(pkg.hasVersion);
        EXPECT_EQ(s.apiVersion, pkg.apiVersion);
        ASSERT_EQ(s.apps.size(), pkg.apps.size());

        device.activate(kHostId);
        package_info_h info = nullptr;
        ASSERT_EQ(PACKAGE_MANAGER_ERROR_NONE, package_manager_get_package_info(s.pkgId, &info));
        EXPECT_EQ(s.version, got(package_info_get_version, info));
        EXPECT_EQ(PACKAGE_MANAGER_ERROR_NONE, package_info_destroy(info));

        for (const Sample::App& a : s.apps) {
            SCOPED_TRACE(a.appId);
            device.activate(kHostId);
            app_info_h app = nullptr;
            ASSERT_EQ(APP_MANAGER_ERROR_NONE, app_info_create(a.appId, &app));
            EXPECT_EQ(a.label, got(app_info_get_label, app));
            EXPECT_EQ(root + "bin/" + a.exec, got(app_info_get_exec, app));
            EXPECT_EQ(s.pkgId, got(app_info_get_package, app));
            EXPECT_EQ(APP_MANAGER_ERROR_NONE, app_info_destroy(app));

            device.activate(a.appId);
            EXPECT_EQ(a.appId, got(app_get_id));
            EXPECT_EQ(a.label, got(app_get_name));
            EXPECT_EQ(root + "data/", take(app_get_data_path()));
        }
    }
}

device::Status parse(const std::string& xml, device::Package* pkg, std::string* err) {
    return device::parseManifestText(xml.data(), xml.size(), pkg, err);
}

std::string manifest(const std::string& rootAttrs, const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<manifest xmlns=\"http://tizen.org/ns/"
           "packages\" " +
           rootAttrs + ">" + body + "</manifest>\n";
}

TEST(ManifestTest, LabelWithoutLanguageWins) {
    const struct {
        const char *labels, *label;  // no label when empty
    } cases[] = {
        {"<label xml:lang=\"en-us\">English</label><label>Plain</label>", "Plain"},
        {"<label>Plain</label><label xml:lang=\"en-us\">English</label>", "Plain"},
        {"<label xml:lang=\"ko-kr\">K</label><label xml:lang=\"en-us\">E</label>", "K"},
        {"<label>\n   Spaced Name \t</label>", "Spaced Name"},
        {"<icon>x.png</icon>", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.labels);
        // A language on an ancestor does not make the app's own label a translation.
        std::string app = "<ui-application appid=\"a.b\" exec=\"b\">" + std::string(c.labels);
        device::Package pkg;
        std::string err;
        ASSERT_EQ(device::OK,
                  parse(manifest("package=\"a.b\" xml:lang=\"de-de\"", app + "</ui-application>"),
                        &pkg, &err))
            << err;
        ASSERT_EQ(1u, pkg.apps.size());
        EXPECT_EQ(c.label, pkg.apps[0].label);
        EXPECT_EQ(*c.label != '\0', pkg.apps[0].hasLabel);
    }
}

// A manifest whose document type declares `entities`.
std::string withEntities(const std::string& entities, const std::string& package,
                         const std::string& label) {
    return "<?xml version=\"1.0\"?>\n<!DOCTYPE manifest [\n" + entities +
           "]>\n<manifest package=\"" + package +
           "\"><ui-application appid=\"a.b\" exec=\"b\"><label>" + label +
           "</label></ui-application></manifest>\n";
}

TEST(ManifestTest, MalformedManifestsAreRejectedCleanly) {
    const std::string app =
        "<ui-application appid=\"a.b\" exec=\"b\"><label>B</label></ui-application>";
    const std::string valid = manifest("package=\"a.b\" version=\"1.0\"", app);
    const std::string external = " <!ENTITY xxe SYSTEM \"file:///etc/passwd\">\n";
    std::string laughs = " <!ENTITY l0 \"ha\">\n";
    for (int i = 1; i <= 9; ++i) {
        std::string refs;
        for (int n = 0; n < 10; ++n) refs += "&l" + std::to_string(i - 1) + ";";
        laughs += " <!ENTITY l" + std::to_string(i) + " \"" + refs + "\">\n";
    }
    std::vector<std::pair<std::string, std::string>> cases = {
        {"truncated", valid.substr(0, valid.size() / 2)},
        {"truncated end tag", valid.substr(0, valid.size() - 4)},
        {"not XML", "this is not a manifest"},
        {"empty", ""},
        {"wrong root", "<package package=\"a.b\" version=\"1.0\"/>"},
        {"no package attribute", manifest("version=\"1.0\"", app)},
        {"app without appid", manifest("package=\"a.b\"", "<ui-application exec=\"b\"/>")},
        {"appid ../x", manifest("package=\"a.b\"", "<service-application appid=\"../x\"/>")},
        {"duplicate appid", manifest("package=\"a.b\"", app + app)},
        {"duplicate appid of two kinds",
         manifest("package=\"a.b\"", app + "<widget-application appid=\"a.b\"/>")},
        {"billion laughs", withEntities(laughs, "a.b", "&l9;")},
        {"external entity in an attribute", withEntities(external, "&xxe;", "B")},
        {"external entity in text", withEntities(external, "a.b", "&xxe;")},
        {"not UTF-8", manifest("package=\"a.b\"", "<label>\xa2 </label>")},
        {"internal entity", withEntities(" <!ENTITY e \"x\">\n", "a.b", "&e;")},
        {"over a megabyte",
         manifest("package=\"a.b\"", app + "<!--" + std::string(1 << 20, 'x') + "-->")},
        {"label over 4 KiB",
         manifest("package=\"a.b\"", "<ui-application appid=\"a.b\"><label>" +
                                         std::string(4097, 'x') + "</label></ui-application>")},
    };
    for (const char* id : {"", "../evil", "a/b", "..", ".hidden", "a b"})
        cases.push_back({"package id '"s + id + "'", manifest("package=\""s + id + "\"", app)});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        device::Package pkg;
        pkg.pkgId = "untouched";
        std::string err;
        EXPECT_EQ(device::BAD_MANIFEST, parse(c.second, &pkg, &err));
        EXPECT_FALSE(err.empty());
        EXPECT_EQ(std::string::npos, err.find('\n')) << err;
        EXPECT_EQ("untouched", pkg.pkgId);
    }
    std::string err;
    device::Package pkg;
    EXPECT_EQ(device::BAD_MANIFEST, device::parseManifestText(nullptr, 10, &pkg, &err));
    EXPECT_EQ(device::BAD_MANIFEST, parse(valid, nullptr, &err));
    EXPECT_EQ(device::OK, parse(valid, &pkg, nullptr));
}

TEST_F(PlatformTest, ManifestWithoutVersionGivesNoVersionText) {
    device.install(onePackage("org.example.nover", true));
    package_info_h info = nullptr;
    ASSERT_EQ(PACKAGE_MANAGER_ERROR_NONE,
              package_manager_get_package_info("org.example.nover", &info));
    char sentinel = 0;
    char* version = &sentinel;
    EXPECT_EQ(PACKAGE_MANAGER_ERROR_NONE, package_info_get_version(info, &version));
    EXPECT_EQ(nullptr, version);
    EXPECT_EQ(PACKAGE_MANAGER_ERROR_NONE, package_info_destroy(info));
    device.activate("org.example.nover");
    EXPECT_EQ("", got(app_get_version));
}

// The last result a folder getter leaves over `stale`; it must answer a path or not.
int lastResult(char* (*getter)(), int stale, bool answers) {
    set_last_result(stale);
    char* path = getter();
    EXPECT_EQ(answers, path != nullptr);
    free(path);
    return get_last_result();
}

// On failure a call leaves its out values alone.
TEST_F(PlatformTest, CallsAnswerWithTheirModuleCodes) {
    package_info_h pkg = nullptr, pkgOut = nullptr;
    app_info_h app = nullptr, appOut = nullptr;
    ASSERT_EQ(PACKAGE_MANAGER_ERROR_NONE, package_manager_get_package_info(kHostId, &pkg));
    ASSERT_EQ(APP_MANAGER_ERROR_NONE, app_info_create(kHostId, &app));
    char* text = nullptr;
    bool running = false;
    const char *id = kHostId, *plain = "org.example.plain", *absent = "org.example.absent",
               *layer = "QOR111TBNX.QorService";
    const struct {
        const char* runAs;  // "" for a process that runs as no app
        const char* name;
        std::function<int()> call;
        int expected;
    } cases[] = {
    // clang-format off
#define AS(runAs, call, code) {runAs, #call, [&] { return call; }, code}
#define NUL(call) AS(id, call, TIZEN_ERROR_INVALID_PARAMETER)
        AS(id, package_manager_get_package_info(absent, &pkgOut),
           PACKAGE_MANAGER_ERROR_NO_SUCH_PACKAGE),
        AS(plain, package_manager_get_package_info(id, &pkgOut),
           PACKAGE_MANAGER_ERROR_PERMISSION_DENIED),
        AS("", package_manager_get_package_info(id, &pkgOut), 0),  // a desktop tool: not checked
        AS(plain, package_info_create(id, &pkgOut), 0),
        AS(id, package_info_create(absent, &pkgOut), PACKAGE_MANAGER_ERROR_NO_SUCH_PACKAGE),
        AS(id, app_manager_get_shared_resource_path(layer, &text), APP_MANAGER_ERROR_NO_SUCH_APP),
        AS(id, app_manager_get_shared_data_path(layer, &text), APP_MANAGER_ERROR_NO_SUCH_APP),
        AS(id, app_manager_get_shared_resource_path(id, &text), 0),
        AS(id, app_manager_get_shared_data_path(id, &text), APP_MANAGER_ERROR_NOT_SUPPORTED),
        AS(id, app_info_create(absent, &appOut), APP_MANAGER_ERROR_NO_SUCH_APP),
        AS("", app_get_id(&text), APP_ERROR_INVALID_CONTEXT),
        AS(absent, app_get_id(&text), APP_ERROR_INVALID_CONTEXT),
        AS("", app_get_name(&text), APP_ERROR_INVALID_CONTEXT),
        AS("", app_get_version(&text), APP_ERROR_INVALID_CONTEXT),
        // The data and shared data getters report through the last result (the host targets
        // api 4, which has no shared data folder); the others leave it.
        AS(id, lastResult(app_get_data_path, TIZEN_ERROR_IO_ERROR, true), APP_ERROR_NONE),
        AS("", lastResult(app_get_data_path, 0, false), APP_ERROR_INVALID_CONTEXT),
        AS(id, lastResult(app_get_shared_data_path, 0, false), APP_ERROR_NOT_SUPPORTED),
        AS("", lastResult(app_get_shared_data_path, 0, false), APP_ERROR_INVALID_CONTEXT),
        AS("", lastResult(app_get_cache_path, TIZEN_ERROR_IO_ERROR, false), TIZEN_ERROR_IO_ERROR),
        AS(id, lastResult(app_get_resource_path, TIZEN_ERROR_IO_ERROR, true), TIZEN_ERROR_IO_ERROR),
        NUL(app_get_id(nullptr)), NUL(app_get_name(nullptr)), NUL(app_get_version(nullptr)),
        NUL(app_manager_get_shared_data_path(id, nullptr)),
        NUL(app_manager_get_shared_data_path(nullptr, &text)),
        NUL(app_manager_get_shared_resource_path(id, nullptr)),
        NUL(app_manager_get_shared_resource_path(nullptr, &text)),
        NUL(app_manager_get_shared_trusted_path(id, nullptr)),
        NUL(app_manager_get_external_shared_data_path(id, nullptr)),
        NUL(app_manager_is_running(id, nullptr)), NUL(app_manager_is_running(nullptr, &running)),
        NUL(app_info_create(id, nullptr)), NUL(app_info_create(nullptr, &appOut)),
        NUL(app_manager_get_app_info(id, nullptr)), NUL(app_info_clone(nullptr, app)),
        NUL(app_info_clone(&appOut, nullptr)), NUL(app_info_get_app_id(app, nullptr)),
        NUL(app_info_get_exec(app, nullptr)), NUL(app_info_get_label(app, nullptr)),
        NUL(app_info_get_icon(app, nullptr)), NUL(app_info_get_package(app, nullptr)),
        NUL(app_info_get_label(nullptr, &text)), NUL(app_info_destroy(nullptr)),
        NUL(package_manager_get_package_info(id, nullptr)),
        NUL(package_manager_get_package_info(nullptr, &pkgOut)),
        NUL(package_info_create(id, nullptr)), NUL(package_info_create(nullptr, &pkgOut)),
        NUL(package_manager_get_package_id_by_app_id(id, nullptr)),
        NUL(package_manager_get_package_id_by_app_id(nullptr, &text)),
        NUL(package_info_get_version(pkg, nullptr)), NUL(package_info_get_version(nullptr, &text)),
        NUL(package_info_get_package(pkg, nullptr)), NUL(package_info_get_label(pkg, nullptr)),
        NUL(package_info_destroy(nullptr)),
#undef NUL
#undef AS
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " as " << c.runAs);
        device.activate(c.runAs);
        int r = c.call();
        EXPECT_EQ(c.expected, r);
        EXPECT_TRUE(r == 0 || (!text && !pkgOut && !appOut)) << "an out value was written";
        free(text);
        if (pkgOut) package_info_destroy(pkgOut);
        if (appOut) app_info_destroy(appOut);
        text = nullptr, pkgOut = nullptr, appOut = nullptr;
    }
    EXPECT_EQ(APP_MANAGER_ERROR_NONE, app_info_destroy(app));
    EXPECT_EQ(PACKAGE_MANAGER_ERROR_NONE, package_info_destroy(pkg));
}

TEST(ErrorTextTest, EveryCodeHasItsOwnText) {
    std::set<std::string> seen;
    const int codes[] = {
        // clang-format off
        TIZEN_ERROR_NONE, TIZEN_ERROR_NOT_PERMITTED, TIZEN_ERROR_NO_SUCH_FILE, TIZEN_ERROR_IO_ERROR,
        TIZEN_ERROR_TRY_AGAIN, TIZEN_ERROR_OUT_OF_MEMORY, TIZEN_ERROR_PERMISSION_DENIED,
        TIZEN_ERROR_RESOURCE_BUSY, TIZEN_ERROR_FILE_EXISTS, TIZEN_ERROR_INVALID_PARAMETER,
        TIZEN_ERROR_INVALID_OPERATION, TIZEN_ERROR_NO_DATA, TIZEN_ERROR_CONNECTION_TIME_OUT,
        TIZEN_ERROR_ALREADY_IN_PROGRESS, TIZEN_ERROR_CANCELED, TIZEN_ERROR_KEY_NOT_AVAILABLE,
        TIZEN_ERROR_KEY_REJECTED, TIZEN_ERROR_UNKNOWN, TIZEN_ERROR_TIMED_OUT,
        TIZEN_ERROR_NOT_SUPPORTED, TIZEN_ERROR_USER_NOT_CONSENTED, APP_ERROR_INVALID_CONTEXT,
        APP_CONTROL_ERROR_APP_NOT_FOUND, APP_CONTROL_ERROR_INVALID_DATA_TYPE,
        APP_CONTROL_ERROR_LAUNCH_REJECTED, APP_CONTROL_ERROR_LAUNCH_FAILED,
        APP_MANAGER_ERROR_NO_SUCH_APP, APP_MANAGER_ERROR_DB_FAILED,
        APP_MANAGER_ERROR_INVALID_PACKAGE, APP_MANAGER_ERROR_APP_NO_RUNNING,
        APP_MANAGER_ERROR_REQUEST_FAILED, PACKAGE_MANAGER_ERROR_NO_SUCH_PACKAGE,
        PACKAGE_MANAGER_ERROR_SYSTEM_ERROR, BUNDLE_ERROR_KEY_EXISTS,
        // clang-format on
    };
    for (int code : codes) {
        const char* text = get_error_message(code);
        ASSERT_NE(nullptr, text) << code;
        EXPECT_NE('\0', *text) << code;
        EXPECT_TRUE(seen.insert(text).second) << code << " shares its text: " << text;
    }
}

TEST(DlogTest, WritesBriefLinesAndRefusesBadPriorities) {
    const struct {
        int prio;
        const char* tag;
        char letter;  // 0: refused
        const char* fmt = "n=%d %s";
    } cases[] = {
        // clang-format off
        {DLOG_UNKNOWN, "T", 0}, {DLOG_DEFAULT, "T", 0}, {DLOG_PRIO_MAX, "T", 0}, {-1, "T", 0},
        {100, "T", 0}, {DLOG_INFO, "T", 0, nullptr},
        {DLOG_VERBOSE, "T", 'V'}, {DLOG_DEBUG, "T", 'D'}, {DLOG_INFO, "T", 'I'},
        {DLOG_WARN, "TAG", 'W'}, {DLOG_ERROR, "Host_App", 'E'},
        {DLOG_FATAL, "LongerThanEight", 'F'}, {DLOG_SILENT, "", 'S'},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.prio << " " << (c.fmt ? c.fmt : "no format"));
        vt::LogCapture log;
        int r = dlog_print(static_cast<log_priority>(c.prio), c.tag, c.fmt, 42, "ok");
        char head[64];
        snprintf(head, sizeof head, "%c/%-8s(%5d): ", c.letter, c.tag, static_cast<int>(getpid()));
        std::vector<std::string> want;
        if (c.letter) want.push_back(head + "n=42 ok"s);
        EXPECT_EQ(c.letter ? 7 : DLOG_ERROR_INVALID_PARAMETER, r);  // 7: bytes of the message
        EXPECT_EQ(want, log.lines());
    }
}

std::string describe(const device::Package& p) {
    std::string s = p.pkgId + " " + p.version + " api " + p.apiVersion;
    for (const std::string& priv : p.privileges) s += " +" + priv;
    for (const device::AppEntry& a : p.apps)
        s += "\n" + a.kind + " " + a.appId + " exec " + a.exec + " icon " + a.icon +
             (a.hasLabel ? " label " + a.label : " no label");
    return s;
}

// Installation records each package in the device's package database; queries read
// it back whole, and fall back to the manifest when it was edited after installation.
TEST_F(PlatformTest, PackageDatabaseRoundTripsAndStaleEntriesAreIgnored) {
    vt::PackageSpec spec = vt::hostPackage("Tab\tand\\slash");
    spec.apps.push_back({"org.example.host.svc", "service-application", "svc", "", true, ""});
    device.install(spec);
    const std::string entry = device.path() + "/var/lib/packages/org.example.host";
    const std::string manifestFile = device.packageRoot(kHostId) + "tizen-manifest.xml";
    EXPECT_TRUE(vt::exists(entry));
    device::Package viaDatabase, viaManifest;
    std::string err;
    ASSERT_EQ(device::OK, device::findPackage(kHostId, &viaDatabase));
    ASSERT_EQ(device::OK, device::parseManifest(manifestFile, &viaManifest, &err)) << err;
    EXPECT_EQ(describe(viaManifest), describe(viaDatabase));
    ASSERT_EQ(2u, viaDatabase.apps.size());
    EXPECT_EQ("Tab\tand\\slash", viaDatabase.apps[0].label);

    // A manifest changed by hand after installation wins over the older entry.
    spec.version = "9.9.9";
    vt::writeFile(manifestFile, vt::manifestXml(spec));
    struct timeval later[2] = {{time(nullptr) + 10, 0}, {time(nullptr) + 10, 0}};
    ASSERT_EQ(0, utimes(manifestFile.c_str(), later));  // newer than the entry, whatever the clock
    ASSERT_EQ(device::OK, device::findPackage(kHostId, &viaDatabase));
    EXPECT_EQ("9.9.9", viaDatabase.version);

    // A package put in beside it by hand, named like the id's first part and declaring
    // it, takes nothing over: an app id is looked up in the database only.
    vt::PackageSpec squatter = onePackage("org");
    squatter.apps[0].appId = kHostId;
    vt::writeFile(device.packageRoot("org") + "tizen-manifest.xml", vt::manifestXml(squatter));
    device::AppEntry app;
    ASSERT_EQ(device::OK, device::findApp(kHostId, &viaDatabase, &app));
    EXPECT_EQ(kHostId, viaDatabase.pkgId);

    device.uninstall(kHostId);
    EXPECT_FALSE(vt::exists(entry));
}

}  // namespace
