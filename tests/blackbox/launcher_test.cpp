// SPDX-License-Identifier: Apache-2.0
// The launcher as a host app's user meets it: the built binary started on a device
// folder, judged by its exit status, its output, what its window shows and its whole log.
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
    // Generous waits: a loaded or emulated machine may take seconds to bring up the
    // toolkit. A message is taken once the app reads its FIFO, which comes after its pid file.
    auto send = [run](const std::string& message) {
        devkit::waitFor([&] { return device::sendControl(run->dev, kHost, message) == device::OK; },
                        20000);
    };
    if (run->background) send("pause");
    send("snapshot " + base);
    devkit::waitFor([&base] { return vt::exists(base + ".txt"); }, 20000);
    run->snapshot = vt::readFile(base + ".txt");
    kill(pid, SIGTERM);
}

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

enum class Road { HandOver, Install, Upgrade, End };

struct Case {
    const char* name;
    const char* installed;   // layer version, "" when not installed, "-" for no version
    const char* attributes;  // attribute file content, nullptr for no file
    Road road;
    // "elsewhere": the layer's service app has another id; "unprivileged": the host may
    // not read package information; "runtime ..." or a sample file, "attributes ...": what
    // stands as the runtime or the attribute file; "no app": run as no app.
    const char* twist = "";
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

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
    {"RuntimeMissing", "2.2.0", nullptr, Road::Install, "runtime missing"},
    {"RuntimeNotAnObject", "2.2.0", nullptr, Road::End, "QorBroken.exe"},
    {"RuntimeWithoutMain", "2.2.0", nullptr, Road::End, "QorNoMain.exe"},
    {"RuntimeFifo", "2.2.0", nullptr, Road::End, "runtime fifo"},
    // No regular file counts as no file: it neither hangs the launcher nor feeds it
    // without end. Without the host's own folder, a file in the working directory
    // (demanding 99) is not read either.
    {"AttributesFifo", "2.2.0", nullptr, Road::HandOver, "attributes fifo"},
    {"AttributesEndless", "2.2.0", nullptr, Road::HandOver, "attributes endless"},
    {"AttributesFolder", "2.2.0", nullptr, Road::HandOver, "attributes folder"},
    {"AttributesOfNoApp", "2.2.0", nullptr, Road::HandOver, "no app"},
    // A line too long to be a key line is skipped unread; the key is found on a later one.
    {"AttributesOverlongLine", "2.2.0", "", Road::Upgrade, "attributes overlong"},
    // The device's log: a FIFO there holds no one, a link there takes no line out; the
    // lowest priority logged, and one that is none.
    {"LogFifo", "2.2.0", nullptr, Road::HandOver, "log fifo"},
    {"LogLinkedOut", "2.2.0", nullptr, Road::HandOver, "log link"},
    {"LogErrorsOnly", "2.2.0", nullptr, Road::HandOver, "level E"},
    {"LogLevelUnknown", "2.2.0", nullptr, Road::HandOver, "level 99"},
};

class Decision : public testing::TestWithParam<Case> {};

TEST_P(Decision, TakesTheRightRoad) {
    const Case& c = GetParam();
    const std::string twist = c.twist, installed = c.installed;
    const std::string tag = twist == "no app" ? "UNKNOWN" : "Host_App";  // label "Host App"
    auto entry = [&tag](char prio, const char* func, const std::string& msg) {
        return vt::logLine(prio, tag, "src/VornixEntry.cpp", func, msg);
    };
    vt::TestDevice dev;
    vt::PackageSpec host = vt::hostPackage();
    if (c.attributes) host.files["shared/res/.android.apki"] = c.attributes;
    if (twist == "unprivileged") host.privileges = {"http://tizen.org/privilege/appmanager.launch"};
    dev.install(host);
    const std::string res = dev.packageRoot("QOR111TBNX") + "shared/res/",
                      exe = res + "QorApplication.exe", cwd = dev.path() + "/cwd";
    std::string attributes = dev.packageRoot(kHost) + "shared/res/.android.apki";
    if (twist == "attributes fifo") mkfifo(attributes.c_str(), 0600);
    if (twist == "attributes endless") symlink("/dev/zero", attributes.c_str());
    if (twist == "attributes folder") mkdir(attributes.c_str(), 0755);
    if (twist == "attributes overlong")
        vt::writeFile(attributes,
                      "min-qor-rev:1.0" + std::string(8192, ' ') + "\nmin-qor-rev:2.3\n");
    vt::writeFile(cwd + "/.android.apki", "min-qor-rev:99\n");
    const std::string log = device::logFile(dev.path()), elsewhere = cwd + "/elsewhere.log";
    vt::writeFile(elsewhere, "");
    if (twist == "log fifo") mkfifo(log.c_str(), 0600);
    if (twist == "log link") symlink(elsewhere.c_str(), log.c_str());
    if (!installed.empty()) {
        bool sample = twist.find(".exe") != std::string::npos,
             none = twist.rfind("runtime", 0) == 0;
        vt::PackageSpec layer = vt::layerPackage(
            c.installed,
            none ? "" : vt::binaryDir() + "/runtime/" + (sample ? twist : "QorApplication.exe"));
        layer.noVersion = installed == "-";
        if (twist == "elsewhere") layer.apps[0].appId = "QOR111TBNX.Other";
        dev.install(layer);
        if (twist == "runtime fifo") mkfifo(exe.c_str(), 0600);
    }

    UiRun ui{dev.path(), c.road == Road::Upgrade, ""};
    bool form = c.road == Road::Install || c.road == Road::Upgrade;
    const Lines args = {vt::launcher(), "--exit=7", "", "two words"};
    Lines env = dev.env(twist == "no app" ? "" : kHost);
    if (twist.rfind("level ", 0) == 0) env.push_back("VORNIX_DLOG_LEVEL=" + twist.substr(6));
    vt::ProcessResult r =
        vt::runProcess(args, env, cwd, 60000, form ? snapshotThenTerminate : nullptr, &ui);
    ASSERT_EQ(r.signal, 0) << r.err;

    // What the user sees: the runtime run with the launcher's arguments, a form, the end.
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
    const std::string svc = "QOR111TBNX.QorService", pkg = " for " + svc + ", error = ";
    Lines want = {entry('I', "main", "Vornix.main started."),
                  !installed.empty() && twist != "elsewhere"
                      ? vt::logLine('I', tag, "src/App.cpp", "getAppSharedResourcePath",
                                    "Shared res path for " + svc + " is " + res)
                      : vt::logLine('E', tag, "src/App.cpp", "getAppSharedResourcePath",
                                    "Failed to get shared res path for " + svc +
                                        ". err(No such application)")};
    std::string why = installed.empty()         ? "information" + pkg + "No such package"
                      : installed == "-"        ? "version" + pkg + "Successful"
                      : twist == "unprivileged" ? "information" + pkg + "Permission denied"
                                                : "";
    if (!why.empty())
        want.push_back(entry('E', "getQorVersion", "Could not get the package " + why));
    why = twist == "attributes folder"        ? "is a directory, not a regular file"
          : twist.rfind("attributes", 0) == 0 ? "not a regular file"
          : twist == "no app" ? "shared resource folder of the application is unknown"
                              : "No such file or directory";
    if (twist == "no app") attributes = ".android.apki";
    if (!c.attributes)
        want.push_back(entry('E', "getQorAttribute",
                             "Could not open file(" + attributes + "). err(" + why + ")"));
    if (twist == "runtime missing")
        want.push_back(entry('E', "main", "QorApplication.exe (" + exe + ") does not exist!"));
    else if (form)
        want.push_back(
            entry('E', "main", "Failed to get shared data path for " + svc + ". err(Successful)"));
    if (form) want.push_back(entry('I', "main", "Vornix.main finished."));
    if (c.road == Road::End)
        want.push_back(entry('E', "main", loaderSays(exe, twist == "runtime fifo")));
    if (twist == "level E")
        want.erase(std::remove_if(want.begin(), want.end(), [](auto& l) { return l[0] != 'E'; }),
                   want.end());
    if (twist == "level 99")
        want.insert(want.begin(), logfmt::head('W', "DLOG", "") +
                                      "VORNIX_DLOG_LEVEL=99 is no priority (one of V D I W E F, "
                                      "or 2-7): every line is logged");
    if (twist.rfind("log ", 0) == 0) want.clear();
    Lines got;  // the launcher's own lines (its entry's and its folder queries') and the log's
    for (const std::string& l : dev.logLines())
        if (l.find("VornixEntry.cpp: ") != std::string::npos ||
            l.find(" App.cpp: ") != std::string::npos || l.rfind("W/DLOG ", 0) == 0)
            got.push_back(vt::withoutPid(l));
    EXPECT_EQ(got, want);
    EXPECT_EQ(vt::readFile(elsewhere), "");
}

INSTANTIATE_TEST_SUITE_P(Launcher, Decision, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& i) { return i.param.name; });

}  // namespace
