// vornix-device as a host-app developer uses it, and the launcher's readiness for a
// real device build: its sources lean on Tizen, EFL and standard headers only.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "TestDevice.h"
#include "device.h"

namespace {

struct Result {
    int status;
    std::string out, err;
};

// Runs the tool with a clean platform environment plus `env`.
Result tool(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
            const std::string& cwd = "") {
    std::vector<std::string> argv{vt::binaryDir() + "/vornix-device"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> e{
        "VORNIX_DEVICE=", "VORNIX_APP_ID=", "VORNIX_APP_CONTROL=", "VORNIX_DLOG_FILE="};
    e.insert(e.end(), env.begin(), env.end());
    vt::ProcessResult r = vt::runProcess(argv, e, cwd, 30000);
    EXPECT_FALSE(r.timedOut);
    return {r.signal ? -r.signal : r.status, r.out, r.err};
}

std::string err(const std::string& line) { return "vornix-device: " + line + "\n"; }

// An unpacked package folder, as a developer has one before installing it.
std::string packageFolder(const std::string& parent, const vt::PackageSpec& spec,
                          const std::map<std::string, std::string>& programs = {}) {
    std::string dir = parent + "/" + spec.pkgId + "-" + spec.version;
    vt::writeFile(dir + "/tizen-manifest.xml", vt::manifestXml(spec));
    for (const auto& f : spec.files) vt::writeFile(dir + "/" + f.first, f.second);
    for (const auto& p : programs) vt::writeFile(dir + "/" + p.first, p.second, 0755);
    return dir;
}

vt::PackageSpec toolPackage(const std::string& version) {
    vt::PackageSpec p;
    p.pkgId = "org.example.tool";
    p.version = version;
    p.apps.push_back({"org.example.tool", "ui-application", "probe", "Tool Probe", false, ""});
    p.apps.push_back({"org.example.tool.svc", "service-application", "svc", "", true, ""});
    return p;
}

// Reports what a started app gets; proves the media folder by writing into it.
const char kProbe[] = R"sh(#!/bin/sh
printf 'app=%s\ndevice=%s\ncontrol=%s\n' "$VORNIX_APP_ID" "$VORNIX_DEVICE" "${VORNIX_APP_CONTROL-unset}"
for a in "$@"; do printf 'arg=[%s]\n' "$a"; done
if [ "$(stat -c %d:%i /opt/usr/media)" = "$(stat -c %d:%i "$VORNIX_DEVICE/opt/usr/media")" ]; then
  echo media=device; printf '%s' "$VORNIX_APP_ID" > /opt/usr/media//.probe
fi
exit "${PROBE_EXIT:-0}"
)sh";

class DeviceTool : public ::testing::Test {
protected:
    void SetUp() override {
        mTmp = vt::makeTempDir("vornix-tool");
        mDev = mTmp + "/dev";
        ASSERT_EQ(tool({mDev, "create"}).status, 0);
    }
    void TearDown() override { vt::removeTree(mTmp); }
    std::string installed(const vt::PackageSpec& spec) {
        std::string dir = packageFolder(mTmp, spec, {{"bin/probe", kProbe}});
        Result r = tool({mDev, "install", dir});
        EXPECT_EQ(r.status, 0) << r.err;
        return dir;
    }
    std::string mTmp, mDev;
};

TEST(DeviceToolCli, HelpNamesEveryCommand) {
    Result r = tool({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: vornix-device DEVICE COMMAND [ARGUMENTS]\n", 0), 0u);
    for (const char* c : {"create", "install PKGDIR", "uninstall PKGID", "list", "launch APPID",
                          "pause APPID", "resume APPID", "terminate APPID", "tap APPID TEXT",
                          "key APPID KEYNAME", "snapshot APPID BASE", "log [--tag TAG]", "journal",
                          "VORNIX_DEVICE", "VORNIX_APP_ID", "/opt/usr/media"})
        EXPECT_NE(r.out.find(c), std::string::npos) << c;
}

TEST(DeviceToolCli, UsageErrorsGiveOneLineAndStatus2) {
    std::string dev = vt::makeTempDir("vornix-tool");
    struct Case {
        std::vector<std::string> args;
        std::string why;
    } cases[] = {
        {{}, "no device folder given"},
        {{dev}, "no command given"},
        {{dev, "frob"}, "unknown command frob"},
        {{dev, "install"}, "wrong number of arguments for install"},
        {{dev, "list", "extra"}, "wrong number of arguments for list"},
        {{dev, "tap", "app"}, "wrong number of arguments for tap"},
        {{dev, "create", "x"}, "create takes no arguments"},
    };
    for (const Case& c : cases) {
        Result r = tool(c.args);
        EXPECT_EQ(r.status, 2) << c.why;
        EXPECT_EQ(r.err, err(c.why + " (see vornix-device --help)"));
        EXPECT_EQ(r.out, "");
    }
    vt::removeTree(dev);
}

TEST_F(DeviceTool, LogAndControlArgumentsAreChecked) {
    struct Case {
        std::vector<std::string> args;
        std::string why;
    } cases[] = {
        {{"log", "--priority", "X"}, "unknown priority X (one of V D I W E F, or 2-7)"},
        {{"log", "--priority", "9"}, "unknown priority 9 (one of V D I W E F, or 2-7)"},
        {{"log", "--tag"}, "--tag needs a value"},
        {{"log", "--since"}, "unknown log option --since"},
        {{"tap", "org.example.tool", "Down\nload"}, "a control message is one line"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{mDev};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Result r = tool(args);
        EXPECT_EQ(r.status, 2) << c.why;
        EXPECT_EQ(r.err, err(c.why + " (see vornix-device --help)"));
    }
}

TEST(DeviceToolCli, EveryCommandRefusesAFolderThatIsNoDevice) {
    std::string dir = vt::makeTempDir("vornix-nodev");
    std::string pkg = packageFolder(dir, toolPackage("1.0.0"));
    std::vector<std::vector<std::string>> commands = {{"install", pkg},
                                                      {"uninstall", "org.example.tool"},
                                                      {"list"},
                                                      {"launch", "org.example.tool"},
                                                      {"pause", "a"},
                                                      {"resume", "a"},
                                                      {"terminate", "a"},
                                                      {"tap", "a", "Download"},
                                                      {"key", "a", "XF86Back"},
                                                      {"snapshot", "a", dir + "/s"},
                                                      {"log"},
                                                      {"journal"}};
    for (const auto& c : commands) {
        std::vector<std::string> args{dir};
        args.insert(args.end(), c.begin(), c.end());
        Result r = tool(args);
        EXPECT_EQ(r.status, c[0] == "launch" ? 127 : 1) << c[0];
        EXPECT_EQ(r.err, err(dir + " is not a device folder")) << c[0];
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(vt::exists(dir + "/opt"));
    EXPECT_FALSE(vt::exists(dir + "/.vornix-device"));
    vt::removeTree(dir);
}

TEST(DeviceToolCli, CreateMakesADeviceAndLeavesOtherFoldersAlone) {
    std::string tmp = vt::makeTempDir("vornix-create");
    std::string dev = tmp + "/a/b";
    ASSERT_EQ(tool({dev, "create"}).status, 0);
    for (const char* p : {"/.vornix-device", "/opt/usr/apps", "/opt/usr/media", "/var/log", "/run"})
        EXPECT_TRUE(vt::exists(dev + p)) << p;
    EXPECT_EQ(tool({dev, "create"}).status, 0);  // again: still the same device

    vt::writeFile(tmp + "/busy/notes.txt", "mine");
    Result r = tool({tmp + "/busy", "create"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, err(tmp + "/busy exists and is not a device folder"));
    EXPECT_FALSE(vt::exists(tmp + "/busy/.vornix-device"));

    r = tool({tmp + "/busy/notes.txt", "create"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, err(tmp + "/busy/notes.txt exists and is not a folder"));

    mkdir((tmp + "/empty").c_str(), 0755);
    EXPECT_EQ(tool({tmp + "/empty", "create"}).status, 0);
    EXPECT_TRUE(vt::exists(tmp + "/empty/.vornix-device"));
    vt::removeTree(tmp);
}

TEST_F(DeviceTool, InstallListReplaceUninstall) {
    vt::PackageSpec v1 = toolPackage("1.0.0");
    v1.files["res/only-in-1"] = "old";
    std::string dir = packageFolder(mTmp, v1, {{"bin/probe", kProbe}});
    Result r = tool({mDev, "install", dir});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "installed org.example.tool 1.0.0\n");

    vt::PackageSpec layer = vt::layerPackage("2.2.0", "");
    layer.noVersion = true;
    tool({mDev, "install", packageFolder(mTmp, layer)});
    r = tool({mDev, "list"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "QOR111TBNX (no version)\n"
              "    QOR111TBNX.QorService  service-application  bin/qor-service  \"QOR Service\"\n"
              "org.example.tool 1.0.0\n"
              "    org.example.tool  ui-application  bin/probe  \"Tool Probe\"\n"
              "    org.example.tool.svc  service-application  bin/svc\n");

    vt::PackageSpec v2 = toolPackage("2.0.0");
    r = tool({mDev, "install", packageFolder(mTmp, v2, {{"bin/probe", kProbe}})});
    EXPECT_EQ(r.out, "installed org.example.tool 2.0.0 (replaced 1.0.0)\n");
    std::string root = device::packageDir(mDev, "org.example.tool");
    EXPECT_FALSE(vt::exists(root + "res/only-in-1"));
    for (const char* sub : {"bin/probe", "lib", "res", "shared/res", "shared/data", "data"})
        EXPECT_TRUE(vt::exists(root + sub)) << sub;

    r = tool({mDev, "uninstall", "org.example.tool"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "uninstalled org.example.tool\n");
    EXPECT_FALSE(vt::exists(root));
    r = tool({mDev, "uninstall", "org.example.tool"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, err("package org.example.tool is not installed"));
}

// Every refused install keeps the installed version whole and leaves no trace.
TEST_F(DeviceTool, FailedInstallsChangeNothing) {
    vt::PackageSpec v1 = toolPackage("1.0.0");
    v1.files["res/keep"] = "v1";
    installed(v1);
    std::string before = tool({mDev, "list"}).out;

    std::string broken = mTmp + "/broken";
    vt::writeFile(broken + "/tizen-manifest.xml",
                  "<manifest package=\"org.example.tool\">\n<oops>");
    std::string noPkg = mTmp + "/nopkg";
    vt::writeFile(noPkg + "/tizen-manifest.xml", "<manifest version=\"3\"/>");
    std::string noManifest = mTmp + "/nomanifest";
    vt::writeFile(noManifest + "/bin/probe", "x");
    // A file where the package's bin/ folder belongs: the copy fails half way.
    vt::PackageSpec v2 = toolPackage("2.0.0");
    v2.files["bin"] = "not a folder";
    std::string halfway = packageFolder(mTmp, v2);

    struct Case {
        std::string dir, why;
    } cases[] = {
        {broken, "^cannot install " + broken + ": " + broken + "/tizen-manifest.xml: line 2: .+"},
        {noPkg, "^cannot install " + noPkg + ": " + noPkg +
                    "/tizen-manifest.xml: <manifest> has no valid package attribute$"},
        {noManifest, "^cannot install " + noManifest + ": cannot open " + noManifest +
                         "/tizen-manifest.xml: No such file or directory$"},
        {mTmp + "/absent", "^cannot install " + mTmp + "/absent: not a package folder$"},
        {halfway, "^cannot install " + halfway + ": cannot create bin: .+"},
    };
    for (const Case& c : cases) {
        Result r = tool({mDev, "install", c.dir});
        EXPECT_EQ(r.status, 1) << c.dir;
        ASSERT_EQ(r.err.rfind("vornix-device: ", 0), 0u) << r.err;
        std::string line = r.err.substr(15);
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.find('\n'), line.size() - 1) << r.err;  // one line
        EXPECT_TRUE(std::regex_match(line.substr(0, line.size() - 1), std::regex(c.why))) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(tool({mDev, "list"}).out, before);
    EXPECT_EQ(vt::readFile(device::packageDir(mDev, "org.example.tool") + "res/keep"), "v1");
    DIR* d = opendir(device::packagesDir(mDev).c_str());
    ASSERT_NE(d, nullptr);
    std::set<std::string> names;
    while (dirent* e = readdir(d)) names.insert(e->d_name);
    closedir(d);
    EXPECT_EQ(names, (std::set<std::string>{".", "..", "org.example.tool"}));
}

TEST_F(DeviceTool, LaunchStartsTheAppAsThePlatformDoesAndReturnsItsStatus) {
    installed(toolPackage("1.0.0"));
    for (int status : {0, 7, 255}) {
        Result r = tool({mDev, "launch", "org.example.tool", "", "two words", "\xc3\xbcn\xc3\xaf"},
                        {"PROBE_EXIT=" + std::to_string(status), "VORNIX_APP_CONTROL=stale"});
        EXPECT_EQ(r.status, status);
        EXPECT_EQ(r.out.substr(0, r.out.find("media=")),
                  "app=org.example.tool\ndevice=" + mDev +
                      "\ncontrol=unset\narg=[]\narg=[two words]\narg=[\xc3\xbcn\xc3\xaf]\n");
    }
    // A relative device folder reaches the app as an absolute one.
    Result r = tool({"dev", "launch", "org.example.tool"}, {}, mTmp);
    EXPECT_NE(r.out.find("device=" + mDev + "\n"), std::string::npos) << r.out;
}

TEST_F(DeviceTool, LaunchGivesTheAppTheDevicesMediaFolderOnly) {
    installed(toolPackage("1.0.0"));
    Result r = tool({mDev, "launch", "org.example.tool"});
    ASSERT_EQ(r.status, 0) << r.err;
    if (r.err.find("no private media folder for this run") != std::string::npos)
        GTEST_SKIP() << "this system allows no private mount namespace: " << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("media=device\n"), std::string::npos) << r.out;
    EXPECT_EQ(vt::readFile(device::mediaDir(mDev) + ".probe"), "org.example.tool");
    // The mount stayed with the app: here /opt/usr/media is not the device's.
    struct stat system, dev;
    ASSERT_EQ(stat(device::mediaDir(mDev).c_str(), &dev), 0);
    EXPECT_FALSE(stat("/opt/usr/media", &system) == 0 && system.st_ino == dev.st_ino &&
                 system.st_dev == dev.st_dev);
}

TEST_F(DeviceTool, LaunchFailuresSayWhyWithStatus127) {
    vt::PackageSpec p = toolPackage("1.0.0");
    p.apps.push_back({"org.example.tool.plain", "ui-application", "plain", "", true, ""});
    p.apps.push_back({"org.example.tool.up", "ui-application", "../probe", "", true, ""});
    p.files["bin/plain"] = "#!/bin/sh\n";  // not executable
    installed(p);
    std::string bin = device::packageDir(mDev, "org.example.tool") + "bin/";
    struct Case {
        std::string app, why;
    } cases[] = {
        {"org.example.nope", "no application org.example.nope is installed"},
        {"org.example.tool.svc",
         "cannot start org.example.tool.svc: " + bin + "svc: No such file or directory"},
        {"org.example.tool.plain",
         "cannot start org.example.tool.plain: " + bin + "plain: Permission denied"},
        {"org.example.tool.up",
         "application org.example.tool.up has no valid exec in its manifest"},
    };
    for (const Case& c : cases) {
        Result r = tool({mDev, "launch", c.app});
        EXPECT_EQ(r.status, 127) << c.app;
        EXPECT_EQ(r.err, err(c.why));
        EXPECT_EQ(r.out, "");
    }
}

// A running app as the platform announces it: its pid file and its control FIFO.
class Announced {
public:
    Announced(const std::string& dev, const std::string& app, int pid, bool fifo) {
        vt::writeFile(device::pidFile(dev, app), std::to_string(pid) + "\n");
        if (!fifo) return;
        std::string path = device::controlFifo(dev, app);
        mkfifo(path.c_str(), 0600);
        mFd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }
    ~Announced() {
        if (mFd >= 0) close(mFd);
    }
    std::string received() {
        char buf[512];
        ssize_t n = read(mFd, buf, sizeof buf);
        return n > 0 ? std::string(buf, n) : "";
    }

private:
    int mFd = -1;
};

TEST_F(DeviceTool, ControlMessagesReachTheRunningApp) {
    Announced app(mDev, "org.example.tool", getpid(), true);
    struct Case {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"pause", "org.example.tool"}, "pause\n"},
        {{"resume", "org.example.tool"}, "resume\n"},
        {{"terminate", "org.example.tool"}, "terminate\n"},
        {{"tap", "org.example.tool", "Download"}, "tap Download\n"},
        {{"key", "org.example.tool", "XF86Back"}, "key XF86Back\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{mDev};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Result r = tool(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(app.received(), c.message);
    }
}

TEST_F(DeviceTool, ControlWithoutARunningAppOrFifo) {
    Result r = tool({mDev, "pause", "org.example.tool"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, err("org.example.tool is not running"));

    // Running, but reading no control messages: terminate falls back to SIGTERM.
    pid_t child = fork();
    if (child == 0) {
        execl("/bin/sleep", "sleep", "60", static_cast<char*>(nullptr));
        _exit(127);
    }
    Announced app(mDev, "org.example.tool", child, false);
    r = tool({mDev, "resume", "org.example.tool"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, err("org.example.tool reads no control messages"));
    r = tool({mDev, "terminate", "org.example.tool"});
    EXPECT_EQ(r.status, 0) << r.err;
    int st = 0;
    ASSERT_EQ(waitpid(child, &st, 0), child);
    EXPECT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == SIGTERM);
}

TEST_F(DeviceTool, LogIsFilteredByTagAndMinimumPriority) {
    const std::vector<std::string> lines = {
        "I/Hello_World(  101): a", "E/Hello_World(  101): b", "I/TIZENSTORE(  102): c (x): y",
        "W/short   (   12): d",    "D/we(ird   (99999): e",   "not a log line",
        "F/Hello_World(  101): f",
    };
    std::string all;
    for (const std::string& l : lines) all += l + "\n";
    vt::writeFile(device::logFile(mDev), all);
    auto pick = [&](std::initializer_list<int> idx) {
        std::string s;
        for (int i : idx) s += lines[i] + "\n";
        return s;
    };
    struct Case {
        std::vector<std::string> filter;
        std::string expected;
    } cases[] = {
        {{}, all},
        {{"--tag", "Hello_World"}, pick({0, 1, 6})},
        {{"--tag", "short", "--tag", "we(ird"}, pick({3, 4})},
        {{"--priority", "E"}, pick({1, 6})},
        {{"--priority", "5"}, pick({1, 3, 6})},
        {{"--priority", "v"}, pick({0, 1, 2, 3, 4, 6})},
        {{"--tag", "Hello_World", "--priority", "W"}, pick({1, 6})},
        {{"--tag", "TIZENSTORE", "--priority", "i"}, pick({2})},
        {{"--tag", "Hello"}, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{mDev, "log"};
        args.insert(args.end(), c.filter.begin(), c.filter.end());
        Result r = tool(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, c.expected) << ::testing::PrintToString(c.filter);
    }
}

TEST_F(DeviceTool, JournalIsPrintedAsWritten) {
    EXPECT_EQ(tool({mDev, "journal"}).out, "");
    device::appendJournal(mDev, "first request");
    device::appendJournal(mDev, "second request");
    Result r = tool({mDev, "journal"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "first request\nsecond request\n");
}

// --- A real device build ------------------------------------------------------------

bool endsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

std::vector<std::string> sourceFiles() {
    std::vector<std::string> files;
    for (const char* dir : {"src", "inc", "qor-service/inc/qor"}) {
        DIR* d = opendir((vt::sourceDir() + "/" + dir).c_str());
        if (!d) continue;
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (endsWith(n, ".h") || endsWith(n, ".cpp"))
                files.push_back(std::string(dir) + "/" + n);
        }
        closedir(d);
    }
    return files;
}

bool fileIn(const std::string& dir, const std::string& name) {
    return vt::exists(vt::sourceDir() + "/" + dir + "/" + name);
}

TEST(DeviceBuild, LauncherIncludesOnlyTizenEflAndStandardHeaders) {
    const std::set<std::string> tizen = {"app.h",
                                         "app_common.h",
                                         "app_control.h",
                                         "app_manager.h",
                                         "app_info.h",
                                         "app_types.h",
                                         "package_manager.h",
                                         "package_info.h",
                                         "bundle.h",
                                         "dlog.h",
                                         "tizen.h",
                                         "tizen_error.h",
                                         "tizen_type.h",
                                         "efl_extension.h",
                                         "efl_extension_events.h"};
    const std::set<std::string> efl = {"Elementary.h", "Evas.h", "Ecore.h", "Eina.h",
                                       "Ecore_Evas.h", "Edje.h", "Eo.h"};
    const std::set<std::string> standard = {
        "assert.h",  "ctype.h",   "dlfcn.h",  "errno.h",  "fcntl.h",    "limits.h",
        "stdarg.h",  "stdbool.h", "stddef.h", "stdint.h", "stdio.h",    "stdlib.h",
        "string.h",  "strings.h", "time.h",   "unistd.h", "sys/stat.h", "sys/types.h",
        "algorithm", "cerrno",    "cstdio",   "cstdlib",  "cstring",    "fstream",
        "iostream",  "memory",    "sstream",  "string",   "utility",    "vector",
        "map",       "climits",   "cstdint",  "cctype",   "functional", "iosfwd"};
    const std::regex include(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
    std::vector<std::string> files = sourceFiles();
    ASSERT_GT(files.size(), 10u);
    for (const std::string& f : files) {
        std::ifstream in(vt::sourceDir() + "/" + f);
        std::string line;
        for (int n = 1; std::getline(in, line); ++n) {
            std::smatch m;
            if (!std::regex_search(line, m, include)) continue;
            std::string h = m[2];
            bool ok = tizen.count(h) || efl.count(h) || standard.count(h) ||
                      (h.rfind("qor/", 0) == 0 && fileIn("qor-service/inc", h)) ||
                      (m[1] == "\"" && h.find('/') == std::string::npos && fileIn("inc", h));
            EXPECT_TRUE(ok) << f << ":" << n << " includes " << h;
        }
    }
}

TEST(DeviceBuild, NoConditionOnDesktopOnlyMacros) {
    const std::regex conditional(R"(^\s*#\s*(if|ifdef|ifndef|elif)\b(.*))");
    const std::regex desktop(
        R"(\b(VORNIX\w*|__linux__|__linux|linux|__gnu_linux__|__unix__|__x86_64__|__amd64__|__i386__|__aarch64__|__arm__|__GLIBC__|DESKTOP\w*)\b)");
    for (const std::string& f : sourceFiles()) {
        std::ifstream in(vt::sourceDir() + "/" + f);
        std::vector<std::string> lines;
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        for (size_t i = 0; i < lines.size(); ++i) {
            std::smatch m;
            if (!std::regex_search(lines[i], m, conditional)) continue;
            std::string what = m[2];
            // An include guard: "#ifndef X" straight followed by "#define X".
            std::smatch g;
            if (m[1] == "ifndef" && i + 1 < lines.size() &&
                std::regex_search(what, g, std::regex(R"(^\s*(\w+)\s*$)")) &&
                lines[i + 1].find("#define " + g[1].str()) == 0)
                continue;
            EXPECT_FALSE(std::regex_search(what, desktop)) << f << ":" << i + 1 << ": " << lines[i];
        }
    }
}

TEST(DeviceBuild, TheDeviceBuildCompilesEveryLauncherSource) {
    std::string cmake = vt::readFile(vt::sourceDir() + "/CMakeLists.txt");
    std::smatch m;
    ASSERT_TRUE(
        std::regex_search(cmake, m, std::regex(R"(set\(VORNIX_LAUNCHER_SOURCES([^)]*)\))")));
    std::set<std::string> listed;
    std::string list = m[1];
    const std::regex source(R"(src/\w+\.cpp)");
    for (std::sregex_iterator it(list.begin(), list.end(), source), end; it != end; ++it)
        listed.insert(it->str());
    std::set<std::string> present;
    for (const std::string& f : sourceFiles())
        if (f.rfind("src/", 0) == 0 && endsWith(f, ".cpp")) present.insert(f);
    EXPECT_EQ(listed, present);
    ASSERT_TRUE(std::regex_search(cmake, m, std::regex(R"(pkg_check_modules\(TIZEN([^)]*)\))")));
    std::istringstream words(m[1].str());
    std::set<std::string> modules{std::istream_iterator<std::string>(words), {}};
    for (const char* module :
         {"capi-appfw-application", "capi-appfw-app-manager", "capi-appfw-package-manager",
          "bundle", "dlog", "elementary", "efl-extension"})
        EXPECT_TRUE(modules.count(module)) << module;
}

// The host's manifest template for a device and the demo's host: the launcher is the
// main executable, with exactly the privileges it needs.
TEST(DeviceBuild, HostManifestsRunTheLauncherWithItsPrivileges) {
    for (const char* path :
         {"packaging/tizen-manifest.xml", "demo/packages/org.example.hello/tizen-manifest.xml"}) {
        device::Package pkg;
        std::string why;
        ASSERT_EQ(device::parseManifest(vt::sourceDir() + "/" + path, &pkg, &why), device::OK)
            << path << ": " << why;
        ASSERT_EQ(pkg.apps.size(), 1u) << path;
        EXPECT_EQ(pkg.apps[0].kind, "ui-application") << path;
        EXPECT_EQ(pkg.apps[0].exec, "vornix") << path;
        EXPECT_FALSE(pkg.apps[0].icon.empty()) << path;
        EXPECT_EQ(std::set<std::string>(pkg.privileges.begin(), pkg.privileges.end()),
                  (std::set<std::string>{"http://tizen.org/privilege/packagemanager.info",
                                         "http://tizen.org/privilege/appmanager.launch"}))
            << path;
    }
}

}  // namespace
