// SPDX-License-Identifier: Apache-2.0
// The launcher as a host app's user meets it: the built binary started on a device
// folder, judged by its exit status, its log lines and what its window shows.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "TestDevice.h"
#include "devkit.h"

namespace {

const char kHost[] = "org.example.host";
const char kTag[] = "Host_App";  // the host's label "Host App", cleaned
const char kEntry[] = "src/VornixEntry.cpp";
const char kSameLine[] = "LOGE(\"Failed to get shared data path for %s. err(%s)\", _QOR_APP_ID,";

std::string launcher() { return vt::binaryDir() + "/vornix"; }
std::string runtime(const std::string& name) { return vt::binaryDir() + "/runtime/" + name; }

std::string entry(char prio, const std::string& func, const std::string& needle,
                  const std::string& msg, int nth = 1) {
    return vt::logLine(prio, kTag, kEntry, func, msg);
}

std::string started() { return entry('I', "main", "Vornix.main started.", "Vornix.main started."); }
std::string finished() {
    return entry('I', "main", "Vornix.main finished.", "Vornix.main finished.");
}
std::string tooOld(int nth) {
    return entry('E', "main", kSameLine,
                 "Failed to get shared data path for QOR111TBNX.QorService. err(Successful)", nth);
}
std::string resFound(const std::string& path) {
    return vt::logLine('I', kTag, "src/App.cpp", "getAppSharedResourcePath",
                       "Shared res path for QOR111TBNX.QorService is " + path);
}
std::string resMissing() {
    return vt::logLine('E', kTag, "src/App.cpp", "getAppSharedResourcePath",
                       "Failed to get shared res path for QOR111TBNX.QorService. err(No such "
                       "application)");
}
std::string noAttributes(const vt::TestDevice& dev) {
    return entry('E', "getQorAttribute",
                 "Could not open file(%s). err(%s)\", apkInfoFile.c_str(), reason",
                 "Could not open file(" + dev.packageRoot(kHost) +
                     "shared/res/.android.apki). err(No such file or directory)");
}
std::string noPackage(const std::string& why) {
    return entry('E', "getQorVersion", "Could not get the package information",
                 "Could not get the package information for QOR111TBNX.QorService, error = " + why);
}

// The launcher's own lines (entry and folder queries), without pids.
std::vector<std::string> launcherLines(const vt::TestDevice& dev) {
    std::vector<std::string> out;
    for (const std::string& l : dev.logLines()) {
        std::string line = vt::withoutPid(l);
        if (line.find("VornixEntry.cpp: ") != std::string::npos ||
            line.find("App.cpp: ") != std::string::npos)
            out.push_back(line);
    }
    return out;
}

struct UiRun {
    std::string dev;
    std::string snapshot;  // the form's widget listing, taken while it runs
    bool background;       // sent to the background first, so its back timer is pending
};

// Waits for the running form, takes a snapshot of it, then asks it to end by SIGTERM.
// Control messages are handled in order, so the snapshot also shows a pause was handled.
void snapshotThenTerminate(int pid, void* data) {
    auto* run = static_cast<UiRun*>(data);
    std::string base = run->dev + "/form";
    // Generous waits: a loaded machine may take seconds to bring up the toolkit.
    devkit::waitFor([run] { return device::runningPid(run->dev, kHost) != 0; }, 20000);
    if (run->background) device::sendControl(run->dev, kHost, "pause");
    device::sendControl(run->dev, kHost, "snapshot " + base);
    devkit::waitFor([&base] { return vt::exists(base + ".txt"); }, 20000);
    run->snapshot = vt::readFile(base + ".txt");
    kill(pid, SIGTERM);
}

enum class Road { HandOver, Install, Upgrade };

struct Case {
    const char* name;
    const char* installed;   // layer version, "" when not installed, "-" for no version
    const char* attributes;  // attribute file content, nullptr for no file
    Road road;
};

const Case kCases[] = {
    {"NoLayer", "", nullptr, Road::Install},
    {"DefaultDemandMet", "2.0.0", nullptr, Road::HandOver},
    {"TwoPartVersionTooOld", "2.0", nullptr, Road::Upgrade},
    {"BetaAccepted", "2.0.0-beta", nullptr, Road::HandOver},
    {"DemandRaised", "2.0.9", "min-qor-rev:2.1\n", Road::Upgrade},
    {"DemandMet", "2.1", "min-qor-rev:2.1\n", Road::HandOver},
    {"LowerDemandIgnored", "2.0.0", "min-qor-rev:1.5\n", Road::HandOver},
    {"TwoPartDemandIgnored", "2.0.0", "min-qor-rev:2.0\n", Road::HandOver},
    {"ReleaseCandidateDemand", "2.0.0", "min-qor-rev:2.0.0-rc1\n", Road::Upgrade},
    {"SpaceBeforeColon", "2.0.0", "min-qor-rev :9.0\n", Road::HandOver},
    {"TrimmedValueCrLf", "2.0.9", "other:1\r\nmin-qor-rev: \t2.1 \r\n", Road::Upgrade},
    {"FirstMatchWinsEvenEmpty", "2.0.0", "min-qor-rev:\nmin-qor-rev:9.0\n", Road::HandOver},
    {"ColonInValue", "2.1", "min-qor-rev:2.1:x", Road::Upgrade},
    {"KeyCaseMatters", "2.0.0", "MIN-QOR-REV:9.0\n", Road::HandOver},
    {"LineWithoutColonSkipped", "2.0.0", "min-qor-rev\nmin-qor-rev:9\n", Road::Upgrade},
    {"NoVersionText", "-", nullptr, Road::Upgrade},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Decision : public testing::TestWithParam<Case> {};

TEST_P(Decision, TakesTheRightRoad) {
    const Case& c = GetParam();
    vt::TestDevice dev;
    vt::PackageSpec host = vt::hostPackage();
    if (c.attributes) host.files["shared/res/.android.apki"] = c.attributes;
    dev.install(host);
    if (*c.installed) {
        vt::PackageSpec layer = vt::layerPackage(c.installed, runtime("QorApplication.exe"));
        layer.noVersion = std::string(c.installed) == "-";
        dev.install(layer);
    }

    UiRun ui{dev.path(), "", c.road == Road::Upgrade};
    vt::ProcessResult r =
        vt::runProcess({launcher(), "--exit=7"}, dev.env(kHost), "", 60000,
                       c.road == Road::HandOver ? nullptr : snapshotThenTerminate, &ui);
    ASSERT_FALSE(r.timedOut);
    ASSERT_EQ(r.signal, 0) << r.err;

    std::vector<std::string> lines = launcherLines(dev);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), started());
    if (c.road == Road::HandOver) {
        EXPECT_EQ(r.status, 7);
        EXPECT_NE(r.out.find("QorApplication: argv[1]=[--exit=7]"), std::string::npos) << r.out;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), finished()), 0);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), tooOld(1)), 0);
        return;
    }
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("QorApplication"), std::string::npos);
    EXPECT_EQ(lines.back(), finished());
    EXPECT_EQ(std::count(lines.begin(), lines.end(), tooOld(1)), 1);
    // The form shows which road was decided: Upgrade only for an older installed layer.
    bool upgrade = ui.snapshot.find("text=Upgrade") != std::string::npos;
    bool install = ui.snapshot.find("text=Download") != std::string::npos;
    EXPECT_EQ(upgrade, c.road == Road::Upgrade) << ui.snapshot;
    EXPECT_EQ(install, c.road == Road::Install) << ui.snapshot;
}

INSTANTIATE_TEST_SUITE_P(Launcher, Decision, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& i) { return i.param.name; });

// The whole log of the two most common starts, line for line.
TEST(LauncherLog, NoLayerInstalled) {
    vt::TestDevice dev;
    dev.install(vt::hostPackage());
    UiRun ui{dev.path(), "", false};
    vt::ProcessResult r =
        vt::runProcess({launcher()}, dev.env(kHost), "", 60000, snapshotThenTerminate, &ui);
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> expected = {
        started(),         resMissing(), noPackage("No such package"),
        noAttributes(dev), tooOld(1),    finished()};
    EXPECT_EQ(launcherLines(dev), expected);
}

// New enough, but the platform gives no folder of the layer's service app: the same
// line as for a layer too old, from its second place, and the install form.
TEST(LauncherLog, ServiceFolderUnknown) {
    vt::TestDevice dev;
    dev.install(vt::hostPackage());
    vt::PackageSpec layer = vt::layerPackage("2.2.0", runtime("QorApplication.exe"));
    layer.apps[0].appId = "QOR111TBNX.Other";
    dev.install(layer);
    UiRun ui{dev.path(), "", false};
    vt::ProcessResult r =
        vt::runProcess({launcher()}, dev.env(kHost), "", 60000, snapshotThenTerminate, &ui);
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> expected = {started(), resMissing(), noAttributes(dev), tooOld(2),
                                         finished()};
    EXPECT_EQ(launcherLines(dev), expected);
    EXPECT_NE(ui.snapshot.find("text=Download"), std::string::npos) << ui.snapshot;
}

TEST(LauncherLog, HandOverLogsNothingAfterward) {
    vt::TestDevice dev;
    dev.install(vt::hostPackage());
    dev.install(vt::layerPackage("2.2.0", runtime("QorApplication.exe")));
    vt::ProcessResult r = vt::runProcess({launcher()}, dev.env(kHost));
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> expected = {
        started(), resFound(dev.packageRoot("QOR111TBNX") + "shared/res/"), noAttributes(dev)};
    EXPECT_EQ(launcherLines(dev), expected);
}

// Failure rows that end without a form, or reach it by another way.
struct Broken {
    const char* name;
    const char* file;  // what stands as QorApplication.exe; nullptr for nothing, "|" a FIFO
    int status;
};

void PrintTo(const Broken& b, std::ostream* os) { *os << b.name; }

class BrokenRuntime : public testing::TestWithParam<Broken> {};

TEST_P(BrokenRuntime, EndsAsDecided) {
    const Broken& b = GetParam();
    vt::TestDevice dev;
    dev.install(vt::hostPackage());
    bool fifo = b.file && !strcmp(b.file, "|");
    dev.install(vt::layerPackage("2.2.0", b.file && !fifo ? runtime(b.file) : ""));
    std::string path = dev.packageRoot("QOR111TBNX") + "shared/res/QorApplication.exe";
    if (fifo) mkfifo(path.c_str(), 0600);
    UiRun ui{dev.path(), "", false};
    vt::ProcessResult r = vt::runProcess({launcher()}, dev.env(kHost), "", 60000,
                                         b.file ? nullptr : snapshotThenTerminate, &ui);
    EXPECT_EQ(r.status, b.status);
    std::vector<std::string> lines = launcherLines(dev);
    std::string expected;
    if (!b.file) {
        expected = entry('E', "main", "does not exist!",
                         "QorApplication.exe (" + path + ") does not exist!");
        EXPECT_NE(ui.snapshot.find("text=Download"), std::string::npos) << ui.snapshot;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), tooOld(1)), 0);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), tooOld(2)), 0);
        EXPECT_EQ(lines.back(), finished());
    } else if (fifo) {
        // Never handed to the loader, which would wait for a writer forever.
        expected = entry('E', "main", "Vornix dlopen() failed",
                         "Vornix dlopen() failed: not a regular file, PATH=" + path);
        EXPECT_EQ(lines.back(), expected);
    } else {
        // The loader's own words, as this process's loader says them for the same file.
        void* h = dlopen(path.c_str(), RTLD_LAZY);
        if (!h) {
            expected =
                entry('E', "main", "Vornix dlopen() failed",
                      std::string("Vornix dlopen() failed: ") + dlerror() + ", PATH=" + path);
        } else {
            dlsym(h, "main");
            expected =
                entry('E', "main", "dlsym() failed",
                      std::string("Vornix.main() dlsym() failed: ") + dlerror() + ", SYM=main");
            dlclose(h);
        }
        EXPECT_EQ(lines.back(), expected);
    }
    EXPECT_EQ(std::count(lines.begin(), lines.end(), expected), 1);
}

const Broken kBroken[] = {
    {"Missing", nullptr, 0},
    {"NotAnObject", "QorBroken.exe", 255},
    {"NoEntryPoint", "QorNoMain.exe", 255},
    {"Fifo", "|", 255},
};

INSTANTIATE_TEST_SUITE_P(Launcher, BrokenRuntime, testing::ValuesIn(kBroken),
                         [](const testing::TestParamInfo<Broken>& i) { return i.param.name; });

// The runtime gets exactly the launcher's arguments, and its result is the exit status.
TEST(HandOver, ArgumentsAndStatusPassThrough) {
    vt::TestDevice dev;
    dev.install(vt::hostPackage());
    dev.install(vt::layerPackage("2.0.0", runtime("QorApplication.exe")));
    const struct {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{"--exit=0"}, 0},
        {{"--exit=1", "", "two words"}, 1},
        {{"--exit=255", "héllo wörld", "日本語"}, 255},
        {{"--exit=-3", "--flag", "-"}, 253},
        {{}, 0},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {launcher()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        vt::ProcessResult r = vt::runProcess(argv, dev.env(kHost));
        EXPECT_EQ(r.status, c.status);
        std::string expected = "QorApplication: main(argc=" + std::to_string(argv.size()) + ")\n";
        for (size_t i = 0; i < argv.size(); ++i)
            expected += "QorApplication: argv[" + std::to_string(i) + "]=[" + argv[i] + "]\n";
        EXPECT_EQ(r.out, expected);
    }
}

// Without its own shared folder the host's attribute file name is not opened
// relative to the current directory: a file planted there changes nothing.
TEST(Attributes, PlantedFileInWorkingDirectoryHasNoEffect) {
    vt::TestDevice dev;
    dev.install(vt::layerPackage("2.2.0", runtime("QorApplication.exe")));
    std::string cwd = vt::makeTempDir("vornix-cwd");
    vt::writeFile(cwd + "/.android.apki", "min-qor-rev:99.0\n");
    // Run as no app: the platform then gives no shared resource folder for the host.
    vt::ProcessResult r = vt::runProcess({launcher(), "--exit=5"}, dev.env(""), cwd);
    vt::removeTree(cwd);
    EXPECT_EQ(r.status, 5);
    std::string expected = vt::logLine(
        'E', "UNKNOWN", kEntry, "getQorAttribute",
        "Could not open file(.android.apki). err(shared resource folder of the application is "
        "unknown)");
    std::vector<std::string> lines;
    for (const std::string& l : dev.logLines()) lines.push_back(vt::withoutPid(l));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), expected), 1);
}

// Whatever stands in the attribute file's place that is no regular file counts as no
// file: it is logged, and neither hangs the launcher nor feeds it without end.
TEST(Attributes, OnlyRegularFilesAreRead) {
    const struct {
        const char* name;
        const char* reason;
    } cases[] = {
        {"fifo", "not a regular file"},
        {"endless", "not a regular file"},
        {"folder", "is a directory, not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        vt::TestDevice dev;
        dev.install(vt::hostPackage());
        dev.install(vt::layerPackage("2.2.0", runtime("QorApplication.exe")));
        std::string path = dev.packageRoot(kHost) + "shared/res/.android.apki";
        if (!strcmp(c.name, "fifo")) mkfifo(path.c_str(), 0600);
        if (!strcmp(c.name, "endless")) symlink("/dev/zero", path.c_str());
        if (!strcmp(c.name, "folder")) mkdir(path.c_str(), 0755);
        vt::ProcessResult r = vt::runProcess({launcher(), "--exit=5"}, dev.env(kHost), "", 20000);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.status, 5);
        std::string expected = entry('E', "getQorAttribute", "apkInfoFile.c_str(), reason)",
                                     "Could not open file(" + path + "). err(" + c.reason + ")");
        std::vector<std::string> lines = launcherLines(dev);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), expected), 1);
    }
}

TEST(Permissions, HostWithoutPackagePrivilegeGetsTheInstallForm) {
    vt::TestDevice dev;
    vt::PackageSpec host = vt::hostPackage();
    host.privileges = {"http://tizen.org/privilege/appmanager.launch"};
    dev.install(host);
    dev.install(vt::layerPackage("2.2.0", runtime("QorApplication.exe")));
    UiRun ui{dev.path(), "", false};
    vt::ProcessResult r =
        vt::runProcess({launcher()}, dev.env(kHost), "", 60000, snapshotThenTerminate, &ui);
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> lines = launcherLines(dev);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), noPackage("Permission denied")), 1);
    EXPECT_NE(ui.snapshot.find("text=Download"), std::string::npos) << ui.snapshot;
}

}  // namespace
