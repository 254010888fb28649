// The desktop platform: manifests, packages, app context, error codes and the log.
#include <gtest/gtest.h>
#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
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
#include "device.h"

namespace {

// The values compiled code sees must be the platform's own.
#define SAME(a, b) static_assert((a) == (b), #a)
SAME(TIZEN_ERROR_NONE, 0);
SAME(TIZEN_ERROR_NOT_PERMITTED, -1);
SAME(TIZEN_ERROR_NO_SUCH_FILE, -2);
SAME(TIZEN_ERROR_IO_ERROR, -5);
SAME(TIZEN_ERROR_OUT_OF_MEMORY, -12);
SAME(TIZEN_ERROR_PERMISSION_DENIED, -13);
SAME(TIZEN_ERROR_FILE_EXISTS, -17);
SAME(TIZEN_ERROR_INVALID_PARAMETER, -22);
SAME(TIZEN_ERROR_INVALID_OPERATION, -38);
SAME(TIZEN_ERROR_NO_DATA, -61);
SAME(TIZEN_ERROR_CONNECTION_TIME_OUT, -110);
SAME(TIZEN_ERROR_ALREADY_IN_PROGRESS, -114);
SAME(TIZEN_ERROR_CANCELED, -125);
SAME(TIZEN_ERROR_KEY_NOT_AVAILABLE, -126);
SAME(TIZEN_ERROR_KEY_REJECTED, -129);
SAME(TIZEN_ERROR_UNKNOWN, -1073741824);
SAME(TIZEN_ERROR_TIMED_OUT, -1073741823);
SAME(TIZEN_ERROR_NOT_SUPPORTED, -1073741822);
SAME(TIZEN_ERROR_USER_NOT_CONSENTED, -1073741821);
SAME(TIZEN_ERROR_APPLICATION, -17825792);
SAME(TIZEN_ERROR_APPLICATION_MANAGER, -17891328);
SAME(TIZEN_ERROR_PACKAGE_MANAGER, -18153472);
SAME(TIZEN_ERROR_BUNDLE, -18350080);
SAME(TIZEN_ERROR_DLOG, -37814272);
SAME(DLOG_INFO, 4);
SAME(DLOG_ERROR, 6);
SAME(DLOG_PRIO_MAX, 9);
SAME(DLOG_ERROR_INVALID_PARAMETER, -22);
SAME(DLOG_ERROR_NOT_PERMITTED, -1);
SAME(APP_ERROR_INVALID_CONTEXT, -17825791);
SAME(APP_ERROR_ALREADY_RUNNING, -114);
SAME(APP_ERROR_NOT_SUPPORTED, -1073741822);
SAME(APP_CONTROL_ERROR_APP_NOT_FOUND, -17825759);
SAME(APP_CONTROL_ERROR_INVALID_DATA_TYPE, -17825758);
SAME(APP_CONTROL_ERROR_LAUNCH_REJECTED, -17825757);
SAME(APP_CONTROL_ERROR_LAUNCH_FAILED, -17825756);
SAME(APP_CONTROL_ERROR_KEY_NOT_FOUND, -126);
SAME(APP_CONTROL_ERROR_KEY_REJECTED, -129);
SAME(APP_CONTROL_ERROR_TIMED_OUT, -1073741823);
SAME(APP_CONTROL_ERROR_IO_ERROR, -5);
SAME(APP_CONTROL_RESULT_APP_STARTED, 1);
SAME(APP_CONTROL_RESULT_CANCELED, -2);
SAME(APP_MANAGER_ERROR_NO_SUCH_APP, -17891327);
SAME(APP_MANAGER_ERROR_DB_FAILED, -17891325);
SAME(APP_MANAGER_ERROR_REQUEST_FAILED, -17891322);
SAME(APP_MANAGER_ERROR_NOT_SUPPORTED, -1073741822);
SAME(PACKAGE_MANAGER_ERROR_NO_SUCH_PACKAGE, -18153359);
SAME(PACKAGE_MANAGER_ERROR_SYSTEM_ERROR, -18153358);
SAME(PACKAGE_MANAGER_ERROR_PERMISSION_DENIED, -13);
SAME(BUNDLE_ERROR_KEY_EXISTS, -18350079);
SAME(BUNDLE_ERROR_KEY_NOT_AVAILABLE, -126);
SAME(BUNDLE_TYPE_NONE, -1);
SAME(BUNDLE_TYPE_STR, 1025);
SAME(BUNDLE_TYPE_STR_ARRAY, 1281);
SAME(BUNDLE_TYPE_BYTE, 2);
SAME(BUNDLE_TYPE_BYTE_ARRAY, 258);
#undef SAME

const char kHostId[] = "org.example.host";

std::string take(char* s) {
    std::string r = s ? s : "<null>";
    free(s);
    return r;
}

// A device with the host app (which may read package information) and a plain app
// (which may not); the process runs as the host.
class PlatformTest : public testing::Test {
protected:
    void SetUp() override {
        device.install(vt::hostPackage("Host App"));
        vt::PackageSpec plain;
        plain.pkgId = "org.example.plain";
        plain.apps.push_back({"org.example.plain", "ui-application", "plain", "Plain", false, ""});
        device.install(plain);
        device.activate(kHostId);
    }
    void TearDown() override {
        unsetenv("VORNIX_DEVICE");
        unsetenv("VORNIX_APP_ID");
    }
    vt::TestDevice device;
};

struct SampleApp {
    const char* appId;
    const char* label;  // "" when the app has none
    const char* exec;
};

struct Sample {
    const char* file;
    const char* pkgId;
    const char* version;
    const char* apiVersion;
    std::vector<SampleApp> apps;
};

const Sample kSamples[] = {
    {"01-native-ui-basic-api2.4.xml",
     "org.tizen.message-pub",
     "1.0.0",
     "2.4",
     {{"org.tizen.message-pub", "Message-pub", "message-pub"}}},
    {"02-native-ui-wearable-api2.3.1-mixed-indent.xml",
     "org.example.iotivityexample",
     "1.0.0",
     "2.3.1",
     {{"org.example.iotivityexample", "iotivityexample", "iotivityexample"}}},
    {"03-native-service-app-iot-api5.0.xml",
     "org.tizen.httpserver",
     "1.0.0",
     "5.0",
     {{"org.tizen.httpserver", "httpserver", "httpserver"}}},
    {"04-native-multi-app-xml-lang-app-control.xml",
     "org.tizen.contacts",
     "1.0.0",
     "3.0",
     {{"org.tizen.contacts", "Contacts", "contacts"},
      {"org.tizen.phone", "Phone", "contacts"},
      {"org.tizen.contacts.edit", "", "contacts"},
      {"org.tizen.contacts.view", "", "contacts"},
      {"org.tizen.contacts.pick", "", "contacts"}}},
    {"05-native-widget-app-xml-lang-version2.0.xml",
     "org.tizen.contacts",
     "2.0",
     "3.0",
     {{"org.tizen.contacts.widget", "Contacts", "contacts-widget"}}},
    {"06-dotnet-ui-wearable-api3.0-tabs.xml",
     "ElmSharpTest.Wearable",
     "1.0.0",
     "3.0",
     {{"org.tizen.ElmSharp.Wearable.Test", "ElmSharp.Wearable.Test",
       "ElmSharp.Wearable.Test.exe"}}},
    {"07-dotnet-ui-api4-xmlns-last.xml",
     "org.tizen.example.Telephony.Tizen.Mobile",
     "1.0.0",
     "4",
     {{"org.tizen.example.Tizen.Telephony.Test", "SampleTelephony", "SampleTelephony.dll"}}},
    {"08-dotnet-component-based-app-api5.xml",
     "org.tizen.example.NUIComponentApplication",
     "1.0.0",
     "5",
     {{"org.tizen.example.NUIComponentApplication", "NUIComponentApplication",
       "NUIComponentApplication.dll"}}},
    {"09-dotnet-nui-widget-app-metadata.xml",
     "Tizen.NUI.WidgetTest",
     "1.0.0",
     "5",
     {{"Tizen.NUI.WidgetTest", "Tizen.NUI.WidgetTest", "Tizen.NUI.WidgetTest.dll"}}},
    {"10-dotnet-ui-api9-multiline-attrs.xml",
     "Tizen.NUI.Devel.Manual.Tests",
     "1.0.0",
     "9",
     {{"Tizen.NUI.DevelManual.Tests", "Tizen.NUI.Devel.Manual.Tests",
       "Tizen.NUI.Devel.Manual.Tests.dll"}}},
    {"11-dotnet-ui-api3.0-exe-no-nodisplay.xml",
     "Tizen.Tapitest",
     "1.0.0",
     "3.0",
     {{"Tizen.Tapitest", "Tizen.Tapitest", "Tizen.Tapitest.exe"}}},
};

std::vector<std::string> sampleFiles(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (struct dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n.size() > 4 && n.compare(n.size() - 4, 4, ".xml") == 0) names.push_back(n);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(PlatformTest, EverySampleManifestParsesAndInstalls) {
    const std::string dir = vt::sourceDir() + "/../shared/samples/tizen-manifests";
    ASSERT_TRUE(vt::exists(dir)) << "sample manifests missing: " << dir;
    std::vector<std::string> files = sampleFiles(dir);
    ASSERT_EQ(sizeof kSamples / sizeof kSamples[0], files.size());
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const Sample* s = nullptr;
        for (const Sample& c : kSamples)
            if (file == c.file) s = &c;
        ASSERT_NE(nullptr, s) << "no expectations for this sample";

        device::Package pkg;
        std::string err;
        ASSERT_EQ(device::OK, device::parseManifest(dir + "/" + file, &pkg, &err)) << err;
        EXPECT_EQ(s->pkgId, pkg.pkgId);
        EXPECT_TRUE(pkg.hasVersion);
        EXPECT_EQ(s->version, pkg.version);
        EXPECT_EQ(s->apiVersion, pkg.apiVersion);
        ASSERT_EQ(s->apps.size(), pkg.apps.size());
        for (size_t i = 0; i < s->apps.size(); ++i) {
            EXPECT_EQ(s->apps[i].appId, pkg.apps[i].appId);
            EXPECT_EQ(s->apps[i].label, pkg.apps[i].label);
            EXPECT_EQ(*s->apps[i].label != '\0', pkg.apps[i].hasLabel);
            EXPECT_EQ(s->apps[i].exec, pkg.apps[i].exec);
        }

        std::string src = vt::makeTempDir("vornix-sample");
        vt::writeFile(src + "/tizen-manifest.xml", vt::readFile(dir + "/" + file));
        device::Package installed;
        EXPECT_EQ(device::OK, device::installPackage(device.path(), src, &installed, &err)) << err;
        vt::removeTree(src);
        const std::string root = device.packageRoot(s->pkgId);
        EXPECT_EQ(root, installed.root);

        device.activate(kHostId);
        package_info_h info = nullptr;
        ASSERT_EQ(PACKAGE_MANAGER_ERROR_NONE, package_manager_get_package_info(s->pkgId, &info));
        char* version = nullptr;
        EXPECT_EQ(PACKAGE_MANAGER_ERROR_NONE, package_info_get_version(info, &version));
        EXPECT_EQ(s->version, take(version));
        EXPECT_EQ(PACKAGE_MANAGER_ERROR_NONE, package_info_destroy(info));

        for (const SampleApp& a : s->apps) {
            SCOPED_TRACE(a.appId);
            device.activate(kHostId);
            app_info_h app = nullptr;
            ASSERT_EQ(APP_MANAGER_ERROR_NONE, app_info_create(a.appId, &app));
            char *label = nullptr, *exec = nullptr, *package = nullptr;
            EXPECT_EQ(APP_MANAGER_ERROR_NONE, app_info_get_label(app, &label));
            EXPECT_EQ(APP_MANAGER_ERROR_NONE, app_info_get_exec(app, &exec));
            EXPECT_EQ(APP_MANAGER_ERROR_NONE, app_info_get_package(app, &package));
            EXPECT_EQ(a.label, take(label));
            EXPECT_EQ(root + "bin/" + a.exec, take(exec));
            EXPECT_EQ(s->pkgId, take(package));
            EXPECT_EQ(APP_MANAGER_ERROR_NONE, app_info_destroy(app));

            // Running as the sample app itself.
            device.activate(a.appId);
            char *id = nullptr, *name = nullptr;
            EXPECT_EQ(APP_ERROR_NONE, app_get_id(&id));
            EXPECT_EQ(APP_ERROR_NONE, app_get_name(&name));
            EXPECT_EQ(a.appId, take(id));
            EXPECT_EQ(a.label, take(name));
            EXPECT_EQ(root + "data/", take(app_get_data_path()));
        }
    }
}

TEST(ManifestTest, LabelWithoutLanguageWins) {
    const struct {
        const char* labels;
        const char* label;
        bool hasLabel;
    } cases[] = {
        {"<label xml:lang=\"en-us\">English</label><label>Plain</label>", "Plain", true},
        {"<label>Plain</label><label xml:lang=\"en-us\">English</label>", "Plain", true},
        {"<label xml:lang=\"ko-kr\">K</label><label xml:lang=\"en-us\">E</label>", "K", true},
        {"<label>\n   Spaced Name \t</label>", "Spaced Name", true},
        {"<icon>x.png</icon>", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.labels);
        // A language on an ancestor does not make the app's own label a translation.
        std::string xml = std::string(
                              "<manifest xmlns=\"http://tizen.org/ns/packages\" "
                              "package=\"a.b\" xml:lang=\"de-de\">"
                              "<ui-application appid=\"a.b\" exec=\"b\">") +
                          c.labels + "</ui-application></manifest>";
        device::Package pkg;
        std::string err;
        ASSERT_EQ(device::OK, device::parseManifestText(xml.data(), xml.size(), &pkg, &err)) << err;
        ASSERT_EQ(1u, pkg.apps.size());
        EXPECT_EQ(c.label, pkg.apps[0].label);
        EXPECT_EQ(c.hasLabel, pkg.apps[0].hasLabel);
    }
}

std::string manifest(const std::string& rootAttrs, const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<manifest xmlns=\"http://tizen.org/ns/"
           "packages\" " +
           rootAttrs + ">" + body + "</manifest>\n";
}

const char kLaughs[] =
    "<?xml version=\"1.0\"?>\n<!DOCTYPE manifest [\n"
    " <!ENTITY l0 \"ha\">\n"
    " <!ENTITY l1 \"&l0;&l0;&l0;&l0;&l0;&l0;&l0;&l0;&l0;&l0;\">\n"
    " <!ENTITY l2 \"&l1;&l1;&l1;&l1;&l1;&l1;&l1;&l1;&l1;&l1;\">\n"
    " <!ENTITY l3 \"&l2;&l2;&l2;&l2;&l2;&l2;&l2;&l2;&l2;&l2;\">\n"
    " <!ENTITY l4 \"&l3;&l3;&l3;&l3;&l3;&l3;&l3;&l3;&l3;&l3;\">\n"
    " <!ENTITY l5 \"&l4;&l4;&l4;&l4;&l4;&l4;&l4;&l4;&l4;&l4;\">\n"
    " <!ENTITY l6 \"&l5;&l5;&l5;&l5;&l5;&l5;&l5;&l5;&l5;&l5;\">\n"
    " <!ENTITY l7 \"&l6;&l6;&l6;&l6;&l6;&l6;&l6;&l6;&l6;&l6;\">\n"
    " <!ENTITY l8 \"&l7;&l7;&l7;&l7;&l7;&l7;&l7;&l7;&l7;&l7;\">\n"
    " <!ENTITY l9 \"&l8;&l8;&l8;&l8;&l8;&l8;&l8;&l8;&l8;&l8;\">\n"
    "]>\n<manifest package=\"a.b\"><ui-application appid=\"a.b\" exec=\"b\">"
    "<label>&l9;</label></ui-application></manifest>\n";

const char kExternalEntity[] =
    "<?xml version=\"1.0\"?>\n<!DOCTYPE manifest [\n"
    " <!ENTITY xxe SYSTEM \"file:///etc/passwd\">\n"
    "]>\n<manifest package=\"a.b\"><ui-application appid=\"a.b\" exec=\"b\">"
    "<label>&xxe;</label></ui-application></manifest>\n";

const char kExternalInAttribute[] =
    "<?xml version=\"1.0\"?>\n<!DOCTYPE manifest [\n"
    " <!ENTITY xxe SYSTEM \"file:///etc/passwd\">\n"
    "]>\n<manifest package=\"&xxe;\"/>\n";

TEST(ManifestTest, MalformedManifestsAreRejectedCleanly) {
    const std::string app =
        "<ui-application appid=\"a.b\" exec=\"b\"><label>B</label>"
        "</ui-application>";
    const std::string valid = manifest("package=\"a.b\" version=\"1.0\"", app);
    const struct {
        const char* name;
        std::string xml;
    } cases[] = {
        {"truncated", valid.substr(0, valid.size() / 2)},
        {"truncated end tag", valid.substr(0, valid.size() - 4)},
        {"not XML", "this is not a manifest"},
        {"empty", ""},
        {"wrong root", "<package package=\"a.b\" version=\"1.0\"/>"},
        {"no package attribute", manifest("version=\"1.0\"", app)},
        {"empty package id", manifest("package=\"\"", app)},
        {"package id ../evil", manifest("package=\"../evil\"", app)},
        {"package id with slash", manifest("package=\"a/b\"", app)},
        {"package id ..", manifest("package=\"..\"", app)},
        {"package id .hidden", manifest("package=\".hidden\"", app)},
        {"package id with space", manifest("package=\"a b\"", app)},
        {"app without appid", manifest("package=\"a.b\"", "<ui-application exec=\"b\"/>")},
        {"appid ../x", manifest("package=\"a.b\"", "<service-application appid=\"../x\"/>")},
        {"duplicate appid", manifest("package=\"a.b\"", app + app)},
        {"duplicate appid of two kinds",
         manifest("package=\"a.b\"", app + "<widget-application appid=\"a.b\"/>")},
        {"billion laughs", kLaughs},
        {"external entity in an attribute", kExternalInAttribute},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        device::Package pkg;
        pkg.pkgId = "untouched";
        std::string err;
        EXPECT_EQ(device::BAD_MANIFEST,
                  device::parseManifestText(c.xml.data(), c.xml.size(), &pkg, &err));
        EXPECT_FALSE(err.empty());
        EXPECT_EQ("untouched", pkg.pkgId);
    }
    std::string err;
    device::Package pkg;
    EXPECT_EQ(device::BAD_MANIFEST, device::parseManifestText(nullptr, 10, &pkg, &err));
    EXPECT_EQ(device::BAD_MANIFEST,
              device::parseManifestText(valid.data(), valid.size(), nullptr, &err));
    EXPECT_EQ(device::OK, device::parseManifestText(valid.data(), valid.size(), &pkg, nullptr));
}

// An external entity is never loaded: the manifest is refused or the entity stays empty.
TEST(ManifestTest, ExternalEntitiesAreNotExpanded) {
    device::Package pkg;
    std::string err;
    device::Status st =
        device::parseManifestText(kExternalEntity, sizeof kExternalEntity - 1, &pkg, &err);
    if (st == device::OK) {
        ASSERT_EQ(1u, pkg.apps.size());
        EXPECT_EQ("", pkg.apps[0].label);
    } else {
        EXPECT_EQ(device::BAD_MANIFEST, st);
        EXPECT_FALSE(err.empty());
    }
}

TEST_F(PlatformTest, ManifestWithoutVersionGivesNoVersionText) {
    vt::PackageSpec nover;
    nover.pkgId = "org.example.nover";
    nover.noVersion = true;
    nover.apps.push_back({"org.example.nover", "ui-application", "nover", "No Version", false, ""});
    device.install(nover);
    package_info_h info = nullptr;
    ASSERT_EQ(PACKAGE_MANAGER_ERROR_NONE,
              package_manager_get_package_info(nover.pkgId.c_str(), &info));
    char sentinel = 0;
    char* version = &sentinel;
    EXPECT_EQ(PACKAGE_MANAGER_ERROR_NONE, package_info_get_version(info, &version));
    EXPECT_EQ(nullptr, version);
    EXPECT_EQ(PACKAGE_MANAGER_ERROR_NONE, package_info_destroy(info));

    device.activate(nover.pkgId);
    char* appVersion = nullptr;
    EXPECT_EQ(APP_ERROR_NONE, app_get_version(&appVersion));
    EXPECT_EQ("", take(appVersion));
}

// Each asks one question about `id` and releases whatever it got.
int packageInfo(const char* id) {
    package_info_h h = nullptr;
    int r = package_manager_get_package_info(id, &h);
    if (r == PACKAGE_MANAGER_ERROR_NONE) package_info_destroy(h);
    return r;
}
int packageCreate(const char* id) {
    package_info_h h = nullptr;
    int r = package_info_create(id, &h);
    if (r == PACKAGE_MANAGER_ERROR_NONE) package_info_destroy(h);
    return r;
}
int appInfo(const char* id) {
    app_info_h h = nullptr;
    int r = app_info_create(id, &h);
    if (r == APP_MANAGER_ERROR_NONE) app_info_destroy(h);
    return r;
}
template <int (*query)(const char*, char**)>
int otherApp(const char* id) {
    char* text = nullptr;
    int r = query(id, &text);
    free(text);
    return r;
}
template <int (*query)(char**)>
int ownApp(const char*) {
    char* text = nullptr;
    int r = query(&text);
    free(text);
    return r;
}

TEST_F(PlatformTest, LookupsAnswerWithTheirModuleCodes) {
    const char* const absent = "QOR111TBNX.QorService";
    const struct {
        const char* runAs;  // "" for a process that runs as no app
        int (*call)(const char*);
        const char* id;
        int expected;
    } cases[] = {
        {kHostId, packageInfo, "org.example.absent", PACKAGE_MANAGER_ERROR_NO_SUCH_PACKAGE},
        {"org.example.plain", packageInfo, kHostId, PACKAGE_MANAGER_ERROR_PERMISSION_DENIED},
        {kHostId, packageInfo, "org.example.plain", PACKAGE_MANAGER_ERROR_NONE},
        {"", packageInfo, kHostId, PACKAGE_MANAGER_ERROR_NONE},  // a desktop tool: not checked
        {"org.example.plain", packageCreate, kHostId, PACKAGE_MANAGER_ERROR_NONE},
        {kHostId, packageCreate, "org.example.absent", PACKAGE_MANAGER_ERROR_NO_SUCH_PACKAGE},
        {kHostId, otherApp<app_manager_get_shared_resource_path>, absent,
         APP_MANAGER_ERROR_NO_SUCH_APP},
        {kHostId, otherApp<app_manager_get_shared_data_path>, absent,
         APP_MANAGER_ERROR_NO_SUCH_APP},
        {kHostId, otherApp<app_manager_get_shared_resource_path>, kHostId, APP_MANAGER_ERROR_NONE},
        {kHostId, otherApp<app_manager_get_shared_data_path>, kHostId,
         APP_MANAGER_ERROR_NOT_SUPPORTED},
        {kHostId, appInfo, "org.example.absent", APP_MANAGER_ERROR_NO_SUCH_APP},
        {"", ownApp<app_get_id>, nullptr, APP_ERROR_INVALID_CONTEXT},
        {"org.example.absent", ownApp<app_get_id>, nullptr, APP_ERROR_INVALID_CONTEXT},
        {"", ownApp<app_get_name>, nullptr, APP_ERROR_INVALID_CONTEXT},
        {"", ownApp<app_get_version>, nullptr, APP_ERROR_INVALID_CONTEXT},
        {kHostId, ownApp<app_get_version>, nullptr, APP_ERROR_NONE},
    };
    int row = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << row++ << " as " << c.runAs);
        device.activate(c.runAs);
        EXPECT_EQ(c.expected, c.call(c.id));
    }
}

TEST_F(PlatformTest, NullOutPointersAreInvalidParameters) {
    package_info_h pkg = nullptr;
    ASSERT_EQ(PACKAGE_MANAGER_ERROR_NONE, package_manager_get_package_info(kHostId, &pkg));
    app_info_h app = nullptr;
    ASSERT_EQ(APP_MANAGER_ERROR_NONE, app_info_create(kHostId, &app));
    char* text = nullptr;
    package_info_h pkgOut = nullptr;
    app_info_h appOut = nullptr;
    bool running = false;
    const std::vector<std::pair<const char*, std::function<int()>>> calls = {
        {"app_get_id", [] { return app_get_id(nullptr); }},
        {"app_get_name", [] { return app_get_name(nullptr); }},
        {"app_get_version", [] { return app_get_version(nullptr); }},
        {"shared data path out", [] { return app_manager_get_shared_data_path(kHostId, nullptr); }},
        {"shared data path id", [&] { return app_manager_get_shared_data_path(nullptr, &text); }},
        {"shared res path out",
         [] { return app_manager_get_shared_resource_path(kHostId, nullptr); }},
        {"shared res path id",
         [&] { return app_manager_get_shared_resource_path(nullptr, &text); }},
        {"shared trusted path out",
         [] { return app_manager_get_shared_trusted_path(kHostId, nullptr); }},
        {"external shared data path out",
         [] { return app_manager_get_external_shared_data_path(kHostId, nullptr); }},
        {"is running out", [] { return app_manager_is_running(kHostId, nullptr); }},
        {"is running id", [&] { return app_manager_is_running(nullptr, &running); }},
        {"app_info_create out", [] { return app_info_create(kHostId, nullptr); }},
        {"app_info_create id", [&] { return app_info_create(nullptr, &appOut); }},
        {"app_manager_get_app_info out", [] { return app_manager_get_app_info(kHostId, nullptr); }},
        {"app_info_clone out", [&] { return app_info_clone(nullptr, app); }},
        {"app_info_clone handle", [&] { return app_info_clone(&appOut, nullptr); }},
        {"app_info_get_app_id", [&] { return app_info_get_app_id(app, nullptr); }},
        {"app_info_get_exec", [&] { return app_info_get_exec(app, nullptr); }},
        {"app_info_get_label", [&] { return app_info_get_label(app, nullptr); }},
        {"app_info_get_icon", [&] { return app_info_get_icon(app, nullptr); }},
        {"app_info_get_package", [&] { return app_info_get_package(app, nullptr); }},
        {"app_info_get_label handle", [&] { return app_info_get_label(nullptr, &text); }},
        {"app_info_destroy", [] { return app_info_destroy(nullptr); }},
        {"package info out", [] { return package_manager_get_package_info(kHostId, nullptr); }},
        {"package info id", [&] { return package_manager_get_package_info(nullptr, &pkgOut); }},
        {"package_info_create out", [] { return package_info_create(kHostId, nullptr); }},
        {"package_info_create id", [&] { return package_info_create(nullptr, &pkgOut); }},
        {"package id by app id out",
         [] { return package_manager_get_package_id_by_app_id(kHostId, nullptr); }},
        {"package id by app id id",
         [&] { return package_manager_get_package_id_by_app_id(nullptr, &text); }},
        {"package_info_get_version", [&] { return package_info_get_version(pkg, nullptr); }},
        {"package_info_get_version handle",
         [&] { return package_info_get_version(nullptr, &text); }},
        {"package_info_get_package", [&] { return package_info_get_package(pkg, nullptr); }},
        {"package_info_get_label", [&] { return package_info_get_label(pkg, nullptr); }},
        {"package_info_destroy", [] { return package_info_destroy(nullptr); }},
    };
    for (const auto& c : calls) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(TIZEN_ERROR_INVALID_PARAMETER, c.second());
        EXPECT_EQ(nullptr, text);
        EXPECT_EQ(nullptr, pkgOut);
        EXPECT_EQ(nullptr, appOut);
    }
    EXPECT_EQ(APP_MANAGER_ERROR_NONE, app_info_destroy(app));
    EXPECT_EQ(PACKAGE_MANAGER_ERROR_NONE, package_info_destroy(pkg));
}

TEST_F(PlatformTest, FolderGettersAndTheLastResult) {
    const struct {
        const char* name;
        const char* runAs;
        int stale;  // left in the slot before the call
        char* (*call)();
        bool answers;
        int lastResult;
    } cases[] = {
        {"data path", kHostId, TIZEN_ERROR_IO_ERROR, &app_get_data_path, true, APP_ERROR_NONE},
        {"data path without context", "", APP_ERROR_NONE, &app_get_data_path, false,
         APP_ERROR_INVALID_CONTEXT},
        {"shared data path, api-version 4", kHostId, APP_ERROR_NONE, &app_get_shared_data_path,
         false, APP_ERROR_NOT_SUPPORTED},
        {"shared data path without context", "", APP_ERROR_NONE, &app_get_shared_data_path, false,
         APP_ERROR_INVALID_CONTEXT},
        // The other getters leave the slot alone.
        {"cache path without context", "", TIZEN_ERROR_IO_ERROR, &app_get_cache_path, false,
         TIZEN_ERROR_IO_ERROR},
        {"resource path", kHostId, TIZEN_ERROR_IO_ERROR, &app_get_resource_path, true,
         TIZEN_ERROR_IO_ERROR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        device.activate(c.runAs);
        set_last_result(c.stale);
        char* path = c.call();
        EXPECT_EQ(c.answers, path != nullptr);
        EXPECT_EQ(c.lastResult, get_last_result());
        free(path);
    }
}

TEST(ErrorTextTest, EveryCodeHasItsOwnText) {
    const int codes[] = {
        TIZEN_ERROR_NONE,
        TIZEN_ERROR_NOT_PERMITTED,
        TIZEN_ERROR_NO_SUCH_FILE,
        TIZEN_ERROR_IO_ERROR,
        TIZEN_ERROR_TRY_AGAIN,
        TIZEN_ERROR_OUT_OF_MEMORY,
        TIZEN_ERROR_PERMISSION_DENIED,
        TIZEN_ERROR_RESOURCE_BUSY,
        TIZEN_ERROR_FILE_EXISTS,
        TIZEN_ERROR_INVALID_PARAMETER,
        TIZEN_ERROR_INVALID_OPERATION,
        TIZEN_ERROR_NO_DATA,
        TIZEN_ERROR_CONNECTION_TIME_OUT,
        TIZEN_ERROR_ALREADY_IN_PROGRESS,
        TIZEN_ERROR_CANCELED,
        TIZEN_ERROR_KEY_NOT_AVAILABLE,
        TIZEN_ERROR_KEY_REJECTED,
        TIZEN_ERROR_UNKNOWN,
        TIZEN_ERROR_TIMED_OUT,
        TIZEN_ERROR_NOT_SUPPORTED,
        TIZEN_ERROR_USER_NOT_CONSENTED,
        APP_ERROR_INVALID_CONTEXT,
        APP_CONTROL_ERROR_APP_NOT_FOUND,
        APP_CONTROL_ERROR_INVALID_DATA_TYPE,
        APP_CONTROL_ERROR_LAUNCH_REJECTED,
        APP_CONTROL_ERROR_LAUNCH_FAILED,
        APP_MANAGER_ERROR_NO_SUCH_APP,
        APP_MANAGER_ERROR_DB_FAILED,
        APP_MANAGER_ERROR_INVALID_PACKAGE,
        APP_MANAGER_ERROR_APP_NO_RUNNING,
        APP_MANAGER_ERROR_REQUEST_FAILED,
        PACKAGE_MANAGER_ERROR_NO_SUCH_PACKAGE,
        PACKAGE_MANAGER_ERROR_SYSTEM_ERROR,
        BUNDLE_ERROR_KEY_EXISTS,
    };
    std::set<std::string> seen;
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
    } cases[] = {
        {DLOG_UNKNOWN, "T", 0},
        {DLOG_DEFAULT, "T", 0},
        {DLOG_PRIO_MAX, "T", 0},
        {-1, "T", 0},
        {100, "T", 0},
        {DLOG_VERBOSE, "T", 'V'},
        {DLOG_DEBUG, "T", 'D'},
        {DLOG_INFO, "T", 'I'},
        {DLOG_WARN, "TAG", 'W'},
        {DLOG_ERROR, "Host_App", 'E'},
        {DLOG_FATAL, "LongerThanEight", 'F'},
        {DLOG_SILENT, "", 'S'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.prio);
        vt::LogCapture log;
        int r = dlog_print(static_cast<log_priority>(c.prio), c.tag, "n=%d %s", 42, "ok");
        std::vector<std::string> lines = log.lines();
        if (!c.letter) {
            EXPECT_EQ(DLOG_ERROR_INVALID_PARAMETER, r);
            EXPECT_TRUE(lines.empty());
            continue;
        }
        EXPECT_EQ(7, r);  // bytes of the message
        char head[64];
        snprintf(head, sizeof head, "%c/%-8s(%5d): ", c.letter, c.tag, static_cast<int>(getpid()));
        ASSERT_EQ(1u, lines.size());
        EXPECT_EQ(std::string(head) + "n=42 ok", lines[0]);
    }
    vt::LogCapture log;
    EXPECT_EQ(DLOG_ERROR_INVALID_PARAMETER, dlog_print(DLOG_INFO, "T", nullptr));
    EXPECT_TRUE(log.lines().empty());
}

// Installation records each package in the device's package database; queries read
// it back whole, and fall back to the manifest when it was edited after installation.
TEST(PackageDatabaseTest, EntriesRoundTripAndStaleOnesAreIgnored) {
    vt::TestDevice dev;
    vt::PackageSpec spec = vt::hostPackage("Tab\tand\\slash");
    spec.apps.push_back({"org.example.host.svc", "service-application", "svc", "", true, ""});
    dev.install(spec);
    EXPECT_TRUE(vt::exists(dev.path() + "/var/lib/packages/org.example.host"));
    dev.activate("org.example.host");
    device::Package viaDatabase, viaManifest;
    ASSERT_EQ(device::findPackage("org.example.host", &viaDatabase), device::OK);
    std::string err;
    ASSERT_EQ(device::parseManifest(dev.packageRoot("org.example.host") + "tizen-manifest.xml",
                                    &viaManifest, &err),
              device::OK);
    EXPECT_EQ(viaDatabase.version, viaManifest.version);
    EXPECT_EQ(viaDatabase.privileges, viaManifest.privileges);
    ASSERT_EQ(viaDatabase.apps.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(viaDatabase.apps[i].appId, viaManifest.apps[i].appId);
        EXPECT_EQ(viaDatabase.apps[i].label, viaManifest.apps[i].label);
        EXPECT_EQ(viaDatabase.apps[i].hasLabel, viaManifest.apps[i].hasLabel);
        EXPECT_EQ(viaDatabase.apps[i].kind, viaManifest.apps[i].kind);
        EXPECT_EQ(viaDatabase.apps[i].icon, viaManifest.apps[i].icon);
    }
    EXPECT_EQ(viaDatabase.apps[0].label, "Tab\tand\\slash");

    // A manifest changed by hand after installation wins over the older entry.
    usleep(20000);
    spec.version = "9.9.9";
    vt::writeFile(dev.packageRoot("org.example.host") + "tizen-manifest.xml",
                  vt::manifestXml(spec));
    device::Package edited;
    ASSERT_EQ(device::findPackage("org.example.host", &edited), device::OK);
    EXPECT_EQ(edited.version, "9.9.9");

    dev.uninstall("org.example.host");
    EXPECT_FALSE(vt::exists(dev.path() + "/var/lib/packages/org.example.host"));
    unsetenv("VORNIX_DEVICE");
    unsetenv("VORNIX_APP_ID");
}

}  // namespace
