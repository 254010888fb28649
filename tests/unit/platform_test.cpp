// SPDX-License-Identifier: Apache-2.0
// The desktop platform: manifests, the package database, package queries and the log.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <fcntl.h>
#include <sys/file.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <tuple>

#include <app.h>
#include <app_common.h>
#include <dlog.h>
#include <package_manager.h>

#include "TestDevice.h"

using namespace std::string_literals;

namespace {

const char kHostId[] = "org.example.host";

// Each real manifest installs; its version, and an app's label asked as that app, read back.
TEST(PlatformTest, EverySampleManifestInstallsAndReadsBack) {
    const std::string dir = vt::sourceDir() + "/../shared/samples/tizen-manifests/";
    if (!vt::exists(dir)) GTEST_SKIP() << "the sample manifests are not there: " << dir;
    const struct {
        const char *prefix, *pkgId, *version, *api, *appId, *label;
        size_t apps;
    } samples[] = {
        // clang-format off
        {"01-", "org.tizen.message-pub", "1.0.0", "2.4", "org.tizen.message-pub", "Message-pub", 1},
        {"02-", "org.example.iotivityexample", "1.0.0", "2.3.1", "org.example.iotivityexample", "iotivityexample", 1},
        {"03-", "org.tizen.httpserver", "1.0.0", "5.0", "org.tizen.httpserver", "httpserver", 1},
        {"04-", "org.tizen.contacts", "1.0.0", "3.0", "org.tizen.phone", "Phone", 5},
        {"05-", "org.tizen.contacts", "2.0", "3.0", "org.tizen.contacts.widget", "Contacts", 1},
        {"06-", "ElmSharpTest.Wearable", "1.0.0", "3.0", "org.tizen.ElmSharp.Wearable.Test", "ElmSharp.Wearable.Test", 1},
        {"07-", "org.tizen.example.Telephony.Tizen.Mobile", "1.0.0", "4", "org.tizen.example.Tizen.Telephony.Test", "SampleTelephony", 1},
        {"08-", "org.tizen.example.NUIComponentApplication", "1.0.0", "5", "org.tizen.example.NUIComponentApplication", "NUIComponentApplication", 1},
        {"09-", "Tizen.NUI.WidgetTest", "1.0.0", "5", "Tizen.NUI.WidgetTest", "Tizen.NUI.WidgetTest", 1},
        {"10-", "Tizen.NUI.Devel.Manual.Tests", "1.0.0", "9", "Tizen.NUI.DevelManual.Tests", "Tizen.NUI.Devel.Manual.Tests", 1},
        {"11-", "Tizen.Tapitest", "1.0.0", "3.0", "Tizen.Tapitest", "Tizen.Tapitest", 1},
        // clang-format on
    };
    std::map<std::string, std::string> files;  // by the number that starts the name
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().extension() == ".xml")
            files[e.path().filename().string().substr(0, 3)] = e.path();
    ASSERT_EQ(std::size(samples), files.size()) << "a sample without expectations";
    vt::TestDevice device;
    device.install(vt::hostPackage());
    for (const auto& s : samples) {
        SCOPED_TRACE(files[s.prefix]);
        std::string err, src = device.path() + "/src";
        device::Package pkg;
        vt::writeFile(src + "/tizen-manifest.xml", vt::readFile(files[s.prefix]));
        ASSERT_EQ(device::OK, device::installPackage(device.path(), src, &pkg, &err)) << err;
        EXPECT_EQ(s.api, pkg.apiVersion);
        EXPECT_EQ(s.apps, pkg.apps.size());
        device.activate(kHostId);
        package_info_h info = nullptr;
        ASSERT_EQ(PACKAGE_MANAGER_ERROR_NONE, package_manager_get_package_info(s.pkgId, &info));
        char *version = nullptr, *label = nullptr;
        EXPECT_EQ(0, package_info_get_version(info, &version));
        package_info_destroy(info);
        device.activate(s.appId);
        EXPECT_EQ(0, app_get_name(&label));
        EXPECT_EQ(s.version + " "s + s.label,
                  (version ? version : "") + " "s + (label ? label : ""));
        free(version), free(label);
    }
}

// A manifest with `body` in its root, after a document type declaring `entities`.
std::string manifest(const std::string& rootAttrs, const std::string& body,
                     const std::string& entities = "") {
    return "<?xml version=\"1.0\"?>\n<!DOCTYPE manifest [\n" + entities +
           "]>\n<manifest xmlns=\"http://tizen.org/ns/packages\" " + rootAttrs + ">" + body +
           "</manifest>\n";
}

// An app's label is the one without a language, else the first (a language on an
// ancestor does not make the app's own label a translation). A malformed or hostile
// manifest is refused with one line of reason, leaving the package untouched.
TEST(ManifestTest, LabelsAndRefusals) {
    const std::string app =
        "<ui-application appid=\"a.b\" exec=\"b\"><label>B</label></ui-application>";
    auto labelled = [](const std::string& labels, const std::string& entities = "") {
        return manifest("package=\"a.b\" xml:lang=\"de-de\"",
                        "<ui-application appid=\"a.b\" exec=\"b\">" + labels + "</ui-application>",
                        entities);
    };
    // clang-format off
    std::vector<std::tuple<std::string, std::string, const char*>> cases = {  // label null: refused
        {"plain last", labelled("<label xml:lang=\"en-us\">E</label><label>Plain</label>"), "Plain"},
        {"plain first", labelled("<label>Plain</label><label xml:lang=\"en-us\">E</label>"), "Plain"},
        {"translations only", labelled("<label xml:lang=\"ko-kr\">K</label><label xml:lang=\"en-us\">E</label>"), "K"},
        {"no label", labelled("<icon>x.png</icon>"), ""},
        {"not XML", "this is not a manifest", nullptr},
        {"no package attribute", manifest("version=\"1.0\"", app), nullptr},
        {"app without appid", manifest("package=\"a.b\"", "<ui-application exec=\"b\"/>"), nullptr},
        {"appid ../x", manifest("package=\"a.b\"", "<service-application appid=\"../x\"/>"), nullptr},
        {"exec with a line feed", manifest("package=\"a.b\"", "<ui-application appid=\"a.b\" exec=\"b&#10;c\"/>"), nullptr},
        {"external entity", labelled("<label>&x;</label>", "<!ENTITY x SYSTEM \"file:///etc/passwd\">"), nullptr},
        {"internal entity", labelled("<label>&x;</label>", "<!ENTITY x \"x\">"), nullptr},
        {"not UTF-8", manifest("package=\"a.b\"", "<label>\xa2 </label>"), nullptr},
        {"over a megabyte", manifest("package=\"a.b\"", app + "<!--" + std::string(1 << 20, 'x') + "-->"), nullptr},
    };
    // clang-format on
    for (const char* id : {"", "../evil", "a/b", "..", ".hidden", "-dash", "a b"})
        cases.push_back(
            {"package id '"s + id + "'", manifest("package=\""s + id + "\"", app), nullptr});
    for (const auto& [name, xml, label] : cases) {
        SCOPED_TRACE(name);
        device::Package pkg;
        pkg.pkgId = "untouched";
        std::string err;
        device::Status st = device::parseManifestText(xml.data(), xml.size(), &pkg, &err);
        EXPECT_EQ(label ? device::OK : device::BAD_MANIFEST, st) << err;
        if (label) {
            EXPECT_EQ(label, pkg.apps.at(0).label);
            EXPECT_EQ(*label != '\0', pkg.apps.at(0).hasLabel);
            continue;
        }
        EXPECT_FALSE(err.empty());
        EXPECT_EQ(std::string::npos, err.find('\n')) << err;
        EXPECT_EQ("untouched", pkg.pkgId);
    }
}

// Installation records each package in the device's package database; queries read it
// back whole, and fall back to the manifest when it was edited after installation.
TEST(PlatformTest, PackageDatabaseRoundTripsAndStaleEntriesAreIgnored) {
    vt::TestDevice device;
    vt::PackageSpec spec = vt::hostPackage("Tab\tand\\slash");
    spec.apps.push_back({"org.example.host.svc", "service-application", "svc", "", true, ""});
    device.install(spec);
    const std::string manifestFile = device.packageRoot(kHostId) + "tizen-manifest.xml";
    device.activate(kHostId);
    device::Package viaDatabase, viaManifest;
    std::string err;
    ASSERT_EQ(device::OK, device::findPackage(kHostId, &viaDatabase));
    ASSERT_EQ(device::OK, device::parseManifest(manifestFile, &viaManifest, &err)) << err;
    auto describe = [](const device::Package& p) {
        std::string s = p.pkgId + " " + p.version + " api " + p.apiVersion;
        for (const std::string& priv : p.privileges) s += " +" + priv;
        for (const device::AppEntry& a : p.apps)
            s += "\n" + a.kind + " " + a.appId + " " + a.exec + " " + a.icon + " " + a.label + " " +
                 (a.hasLabel ? "labelled" : "no label");
        return s;
    };
    EXPECT_EQ(describe(viaManifest), describe(viaDatabase));
    EXPECT_EQ("Tab\tand\\slash", viaDatabase.apps.at(0).label);

    // A manifest changed by hand after installation wins over the older entry.
    spec.version = "9.9.9";
    vt::writeFile(manifestFile, vt::manifestXml(spec));
    const struct timespec later[2] = {{time(nullptr) + 10, 0}, {time(nullptr) + 10, 0}};
    ASSERT_EQ(0, utimensat(AT_FDCWD, manifestFile.c_str(), later, 0));  // whatever the clock
    ASSERT_EQ(device::OK, device::findPackage(kHostId, &viaDatabase));
    EXPECT_EQ("9.9.9", viaDatabase.version);

    package_info_h info = nullptr;
    EXPECT_EQ(PACKAGE_MANAGER_ERROR_NO_SUCH_PACKAGE,
              package_manager_get_package_info("org.example.absent", &info));
}

// A running app holds a lock on its pid file; a file nobody holds was left by a dead app.
TEST(PlatformTest, RunningAppsAreKnownByTheLockOnTheirPidFile) {
    vt::TestDevice device;
    const std::string pidFile = device::pidFile(device.path(), kHostId);
    const std::string self = std::to_string(getpid());
    const std::tuple<std::string, bool, int> cases[] = {
        {self, false, 0}, {self, true, getpid()}, {"4294967297", true, 0}};  // wider than a pid
    for (const auto& [text, held, pid] : cases) {
        vt::writeFile(pidFile, text + "\n");
        int fd = open(pidFile.c_str(), O_RDONLY | O_CLOEXEC);
        if (held) flock(fd, LOCK_EX);
        EXPECT_EQ(pid, device::runningPid(device.path(), kHostId)) << text << " held " << held;
        close(fd);
    }
}

// An app runs only where the device sees it: whatever holds its pid file's name (a folder,
// a link, a FIFO: run/ is the platform's own) is replaced, and an app that cannot write its
// pid file does not run.
TEST(PlatformTest, AppsRunOnlyWhereTheDeviceSeesThem) {
    vt::TestDevice device;
    device.install(vt::hostPackage());
    device.activate(kHostId);
    const std::string pidFile = device::pidFile(device.path(), kHostId);
    rlimit unlimited;
    getrlimit(RLIMIT_FSIZE, &unlimited);
    const std::pair<const char*, std::function<int()>> rows[] = {
        {"",
         [&] {  // no room for the pid
             rlimit none = {0, unlimited.rlim_max};
             return signal(SIGXFSZ, SIG_IGN) == SIG_ERR || setrlimit(RLIMIT_FSIZE, &none);
         }},
        {"folder",
         [&] { return mkdir(pidFile.c_str(), 0755) | mkdir((pidFile + "/in").c_str(), 0755); }},
        {"link", [&] { return symlink("elsewhere", pidFile.c_str()); }},
        {"fifo", [&] { return mkfifo(pidFile.c_str(), 0600); }},
    };
    for (const auto& [planted, plant] : rows) {
        ASSERT_EQ(0, plant()) << planted;
        std::pair<std::string, int> seen = {device.path(), -1};  // the pid seen when created
        ui_app_lifecycle_callback_s cb = {};
        cb.create = [](void* data) {
            auto* s = static_cast<std::pair<std::string, int>*>(data);
            struct stat st;
            s->second = stat(device::controlFifo(s->first, kHostId).c_str(), &st) == 0 &&
                                S_ISFIFO(st.st_mode)
                            ? device::runningPid(s->first, kHostId)
                            : 0;
            ui_app_exit();
            return true;
        };
        char arg0[] = "app", *argv[] = {arg0, nullptr};
        int ret = ui_app_main(1, argv, &cb, &seen);
        setrlimit(RLIMIT_FSIZE, &unlimited);
        EXPECT_EQ(*planted ? APP_ERROR_NONE : APP_ERROR_INVALID_CONTEXT, ret) << planted;
        EXPECT_EQ(*planted ? getpid() : -1, seen.second) << planted;
        EXPECT_FALSE(vt::exists(pidFile)) << planted;
    }
}

// The launch journal takes lines only as a regular file of its own: a FIFO in its place
// holds no one, a link of either kind takes no line elsewhere.
TEST(PlatformTest, JournalTakesLinesOnlyAsItsOwnRegularFile) {
    vt::TestDevice device;
    const std::string journal = device::journalFile(device.path());
    const std::string elsewhere = device.path() + "/elsewhere";
    const std::function<int()> plant[] = {
        [&] { return mkfifo(journal.c_str(), 0600); },
        [&] { return symlink(elsewhere.c_str(), journal.c_str()); },
        [&] { return link(elsewhere.c_str(), journal.c_str()); },
    };
    for (const auto& planted : plant) {
        unlink(journal.c_str());
        vt::writeFile(elsewhere, "mine\n");
        ASSERT_EQ(0, planted());
        EXPECT_EQ(device::IO_FAILED, device::appendJournal(device.path(), "launch caller=x"));
        EXPECT_EQ("mine\n", vt::readFile(elsewhere));
    }
}

// Lines at or above the threshold (all by default) are written with their priority's letter.
TEST(DlogTest, WritesBriefLinesAndRefusesBadPriorities) {
    // clang-format off
    const std::pair<int, char> cases[] = {{DLOG_DEFAULT, 0}, {DLOG_VERBOSE, 'V'}, {DLOG_ERROR, 'E'}, {DLOG_PRIO_MAX, 0}};
    // clang-format on
    for (const auto& [prio, letter] : cases) {
        vt::LogCapture log;
        int r = dlog_print(static_cast<log_priority>(prio), "LongerThanEight", "n=%d", 42);
        char want[64];
        snprintf(want, sizeof want, "%c/LongerThanEight(%5d): n=42", letter, int(getpid()));
        EXPECT_EQ(letter ? 4 : DLOG_ERROR_INVALID_PARAMETER, r) << prio;
        EXPECT_EQ(letter ? std::vector<std::string>{want} : std::vector<std::string>{},
                  log.lines());
    }
}

}  // namespace
