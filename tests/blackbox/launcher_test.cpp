// SPDX-License-Identifier: Apache-2.0
// The launcher as a host app's user meets it: the built binary started on a device
// folder, judged by its exit status, its whole log and what its window shows.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestDevice.h"

namespace {

using Lines = std::vector<std::string>;
const char kHost[] = "org.example.host";
const char kTag[] = "Host_App";  // the host's label "Host App", cleaned

std::string launcher() { return vt::binaryDir() + "/vornix"; }
std::string runtime(const std::string& name) { return vt::binaryDir() + "/runtime/" + name; }

std::string entry(char prio, const std::string& func, const std::string& msg) {
    return vt::logLine(prio, kTag, "src/VornixEntry.cpp", func, msg);
}
std::string resPath(const std::string& path) {
    return path.empty() ? vt::logLine('E', kTag, "src/App.cpp", "getAppSharedResourcePath",
                                      "Failed to get shared res path for QOR111TBNX.QorService. "
                                      "err(No such application)")
                        : vt::logLine('I', kTag, "src/App.cpp", "getAppSharedResourcePath",
                                      "Shared res path for QOR111TBNX.QorService is " + path);
}
std::string noAttributes(const vt::TestDevice& dev) {
    return entry('E', "getQorAttribute",
                 "Could not open file(" + dev.packageRoot(kHost) +
                     "shared/res/.android.apki). err(No such file or directory)");
}
const std::string kFor = " for QOR111TBNX.QorService, error = ";
const std::string kStarted = entry('I', "main", "Vornix.main started.");
const std::string kFinished = entry('I', "main", "Vornix.main finished.");
const std::string kNoDataPath =
    entry('E', "main", "Failed to get shared data path for QOR111TBNX.QorService. err(Successful)");

// The launcher's own lines (entry and folder queries), without pids.
Lines launcherLines(const vt::TestDevice& dev) {
    Lines out;
    for (const std::string& l : dev.logLines())
        if (l.find("VornixEntry.cpp: ") != std::string::npos ||
            l.find(" App.cpp: ") != std::string::npos)
            out.push_back(vt::withoutPid(l));
    return out;
}

struct UiRun {
    std::string dev;
    bool background;       // sent to the background first, so its back timer is pending
    std::string snapshot;  // the form's widget listing, taken while it runs
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

enum class Road { HandOver, Install, Upgrade, End };

struct Case {
    const char* name;
    const char* installed;   // layer version, "" when not installed, "-" for no version
    const char* attributes;  // attribute file content, nullptr for no file
    Road road;
    // "elsewhere": the layer's service app has another id; "unprivileged": the host may
    // not read package information; what stands as the runtime: "missing", "fifo" or
    // another sample file.
    const char* twist = "";
};

const Case kCases[] = {
    {"NoLayer", "", nullptr, Road::Install},
    {"DefaultDemandMet", "2.0.0", nullptr, Road::HandOver},
    {"LongerThanDemand", "2.0.0.0", nullptr, Road::HandOver},
    {"NoVersionText", "-", nullptr, Road::Upgrade},
    {"DemandRaised", "2.0.9", "min-qor-rev:2.1\n", Road::Upgrade},
    {"LowerDemandIgnored", "2.0", "min-qor-rev:1.5\n", Road::Upgrade},
    {"ReleaseCandidateDemand", "2.0.0", "min-qor-rev:2.0.0-rc1\n", Road::Upgrade},
    {"FirstKeyTrimmed", "2.1", "min-qor-rev\nx:1\r\nmin-qor-rev: \t2.1 \r\nmin-qor-rev:9\n",
     Road::HandOver},
    {"KeyCaseMatters", "2.0.0", "MIN-QOR-REV:9.0\n", Road::HandOver},
    {"ServiceAppElsewhere", "2.2.0", nullptr, Road::Install, "elsewhere"},
    {"NoPackagePrivilege", "2.2.0", nullptr, Road::Install, "unprivileged"},
    {"RuntimeMissing", "2.2.0", nullptr, Road::Install, "missing"},
    {"RuntimeNotAnObject", "2.2.0", nullptr, Road::End, "QorBroken.exe"},
    {"RuntimeWithoutMain", "2.2.0", nullptr, Road::End, "QorNoMain.exe"},
    {"RuntimeFifo", "2.2.0", nullptr, Road::End, "fifo"},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// Why the runtime at `path` cannot run, in the loader's own words as this process's
// loader says them for the same file; a FIFO is never handed to the loader, which would
// wait for a writer forever.
std::string loaderSays(const std::string& path, bool fifo) {
    void* h = fifo ? nullptr : dlopen(path.c_str(), RTLD_LAZY);
    if (!h)
        return "Vornix dlopen() failed: " + std::string(fifo ? "not a regular file" : dlerror()) +
               ", PATH=" + path;
    dlsym(h, "main");
    std::string why = std::string("Vornix.main() dlsym() failed: ") + dlerror() + ", SYM=main";
    dlclose(h);
    return why;
}

class Decision : public testing::TestWithParam<Case> {};

TEST_P(Decision, TakesTheRightRoad) {
    const Case& c = GetParam();
    const std::string twist = c.twist, installed = c.installed;
    vt::TestDevice dev;
    vt::PackageSpec host = vt::hostPackage();
    if (c.attributes) host.files["shared/res/.android.apki"] = c.attributes;
    if (twist == "unprivileged") host.privileges = {"http://tizen.org/privilege/appmanager.launch"};
    dev.install(host);
    const std::string res = dev.packageRoot("QOR111TBNX") + "shared/res/";
    if (!installed.empty()) {
        bool sample = twist.find(".exe") != std::string::npos;
        bool none = twist == "missing" || twist == "fifo";
        vt::PackageSpec layer = vt::layerPackage(
            c.installed, none ? "" : runtime(sample ? twist : "QorApplication.exe"));
        layer.noVersion = installed == "-";
        if (twist == "elsewhere") layer.apps[0].appId = "QOR111TBNX.Other";
        dev.install(layer);
        if (twist == "fifo") mkfifo((res + "QorApplication.exe").c_str(), 0600);
    }

    UiRun ui{dev.path(), c.road == Road::Upgrade, ""};
    bool form = c.road == Road::Install || c.road == Road::Upgrade;
    const Lines args = {launcher(), "--exit=7", "", "two words"};
    vt::ProcessResult r = vt::runProcess(args, dev.env(kHost), "", 60000,
                                         form ? snapshotThenTerminate : nullptr, &ui);
    ASSERT_FALSE(r.timedOut);
    ASSERT_EQ(r.signal, 0) << r.err;

    // What the user sees: the runtime's run with the launcher's arguments, a form, or
    // the end.
    std::string out;
    for (size_t i = 0; c.road == Road::HandOver && i < args.size(); ++i)
        out += (i ? "" : "QorApplication: main(argc=4)\n") + std::string("QorApplication: argv[") +
               std::to_string(i) + "]=[" + args[i] + "]\n";
    EXPECT_EQ(r.out, out);
    EXPECT_EQ(r.status, c.road == Road::HandOver ? 7 : c.road == Road::End ? 255 : 0);
    EXPECT_EQ(ui.snapshot.find("text=Upgrade") != std::string::npos, c.road == Road::Upgrade)
        << ui.snapshot;
    EXPECT_EQ(ui.snapshot.find("text=Download") != std::string::npos, c.road == Road::Install)
        << ui.snapshot;

    // The whole log of the road, line for line. The form roads of a layer too old and of
    // a layer without a service folder log the same line; the lines before tell them apart.
    bool found = !installed.empty() && twist != "elsewhere";
    Lines want = {kStarted, resPath(found ? res : "")};
    std::string why = installed.empty()         ? "information" + kFor + "No such package"
                      : installed == "-"        ? "version" + kFor + "Successful"
                      : twist == "unprivileged" ? "information" + kFor + "Permission denied"
                                                : "";
    if (!why.empty())
        want.push_back(entry('E', "getQorVersion", "Could not get the package " + why));
    if (!c.attributes) want.push_back(noAttributes(dev));
    const std::string exe = res + "QorApplication.exe";
    if (twist == "missing")
        want.push_back(entry('E', "main", "QorApplication.exe (" + exe + ") does not exist!"));
    else if (form)
        want.push_back(kNoDataPath);
    if (form) want.push_back(kFinished);
    if (c.road == Road::End) want.push_back(entry('E', "main", loaderSays(exe, twist == "fifo")));
    EXPECT_EQ(launcherLines(dev), want);
}

INSTANTIATE_TEST_SUITE_P(Launcher, Decision, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& i) { return i.param.name; });

// Whatever stands in the attribute file's place that is no regular file counts as no
// file: it is logged, and neither hangs the launcher nor feeds it without end. Without
// its own shared folder the host's file name is not opened in the working directory.
TEST(Attributes, OnlyTheHostsRegularFileIsRead) {
    const struct {
        const char* name;
        const char* reason;
    } cases[] = {
        {"fifo", "not a regular file"},
        {"endless", "not a regular file"},
        {"folder", "is a directory, not a regular file"},
        {"inWorkingDirectory", "shared resource folder of the application is unknown"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        vt::TestDevice dev;
        dev.install(vt::hostPackage());
        dev.install(vt::layerPackage("2.2.0", runtime("QorApplication.exe")));
        std::string file = dev.packageRoot(kHost) + "shared/res/.android.apki";
        std::string name = c.name, cwd = dev.path() + "/cwd", app = kHost, tag = kTag;
        if (name == "fifo") mkfifo(file.c_str(), 0600);
        if (name == "endless") symlink("/dev/zero", file.c_str());
        if (name == "folder") mkdir(file.c_str(), 0755);
        vt::writeFile(cwd + "/.android.apki", "min-qor-rev:99.0\n");
        // Run as no app: the platform then gives no shared resource folder for the host.
        if (name == "inWorkingDirectory") file = ".android.apki", app = "", tag = "UNKNOWN";
        vt::ProcessResult r = vt::runProcess({launcher(), "--exit=5"}, dev.env(app), cwd, 20000);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.status, 5);
        std::string want = vt::logLine('E', tag, "src/VornixEntry.cpp", "getQorAttribute",
                                       "Could not open file(" + file + "). err(" + c.reason + ")");
        Lines lines = launcherLines(dev);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), want), 1);
    }
}

}  // namespace
