// SPDX-License-Identifier: Apache-2.0
// vornix-device as a host-app developer uses it, and the launcher's readiness for a
// real device build: its sources lean on Tizen, EFL and standard headers only.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "TestDevice.h"
#include "devkit.h"

namespace {

using Words = std::vector<std::string>;
using Names = std::set<std::string>;

// "a b  c" -> {"a", "b", "c"}: table rows stay one line. Only spaces split.
Words words(const std::string& s) {
    Words out;
    std::istringstream in(s);
    for (std::string w; std::getline(in, w, ' ');)
        if (!w.empty()) out.push_back(w);
    return out;
}

// The words of `s`, split at any white space.
Names nameSet(const std::string& s) {
    std::istringstream in(s);
    return {std::istream_iterator<std::string>(in), {}};
}

using Result = vt::ProcessResult;  // status stays -1 when the tool is killed

// Runs the tool with a clean platform environment plus `env`.
Result tool(const Words& args, const Words& env = {}, const std::string& cwd = "") {
    Words argv{vt::binaryDir() + "/vornix-device"};
    argv.insert(argv.end(), args.begin(), args.end());
    Words e{"VORNIX_DEVICE=", "VORNIX_APP_ID=", "VORNIX_APP_CONTROL=", "VORNIX_DLOG_FILE="};
    e.insert(e.end(), env.begin(), env.end());
    Result r = vt::runProcess(argv, e, cwd, 30000);
    EXPECT_FALSE(r.timedOut);
    return r;
}

std::string err(const std::string& line) { return "vornix-device: " + line + "\n"; }
// A run's status, stdout and stderr, compared at once.
using Said = std::tuple<int, std::string, std::string>;
Said said(const Result& r) { return {r.status, r.out, r.err}; }

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
    p.privileges = {"http://tizen.org/privilege/mediastorage"};
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
    void TearDown() override {
        if (mLock >= 0) close(mLock);
        vt::removeTree(mTmp);
    }
    // The tool on this test's device: `command` is split at spaces.
    Result run(const std::string& command, const Words& env = {}) {
        return tool(words(mDev + " " + command), env);
    }
    void install(const vt::PackageSpec& spec, const std::string& out) {
        EXPECT_EQ(said(run("install " + packageFolder(mTmp, spec, {{"bin/probe", kProbe}}))),
                  Said(0, out, ""));
    }
    // Announces org.example.tool running as `pid`; for this process also its control FIFO,
    // whose reading end is returned. The pid file's lock, which a live app holds, is held
    // here unless `stale`.
    int announce(int pid, bool stale = false) {
        std::string pidPath = device::pidFile(mDev, "org.example.tool");
        vt::writeFile(pidPath, std::to_string(pid) + "\n");
        if (mLock >= 0) close(mLock);
        mLock = stale ? -1 : open(pidPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (mLock >= 0) flock(mLock, LOCK_EX);
        std::string fifo = device::controlFifo(mDev, "org.example.tool");
        if (pid != getpid()) return unlink(fifo.c_str()), -1;
        mkfifo(fifo.c_str(), 0600);
        return open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }
    std::string mTmp, mDev;
    int mLock = -1;
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

// A refusal is one line on stderr with status 2 (usage), 1 (failure) or 127 (app not started).
TEST_F(DeviceTool, RefusalsSayWhyInOneLine) {
    vt::PackageSpec p = toolPackage("1.0.0");
    p.apps.push_back({"org.example.tool.plain", "ui-application", "plain", "", true, ""});
    p.apps.push_back({"org.example.tool.up", "ui-application", "../probe", "", true, ""});
    p.files["bin/plain"] = "#!/bin/sh\n";  // not executable
    install(p, "installed org.example.tool 1.0.0\n");
    vt::writeFile(mTmp + "/busy/notes.txt", "mine");
    const std::string bin = device::packageDir(mDev, "org.example.tool") + "bin/";
    const std::string d = mDev + " ", busy = mTmp + "/busy", help = " (see vornix-device --help)";
    const std::string priorities = " (one of V D I W E F, or 2-7)" + help;
    struct Case {
        std::string command;
        int status;
        std::string why;
    };
    std::vector<Case> cases = {
        {"", 2, "no device folder given" + help},
        {mDev, 2, "no command given" + help},
        {d + "frob", 2, "unknown command frob" + help},
        {d + "install", 2, "wrong number of arguments for install" + help},
        {d + "list extra", 2, "wrong number of arguments for list" + help},
        {d + "tap app", 2, "wrong number of arguments for tap" + help},
        {d + "create x", 2, "create takes no arguments" + help},
        {d + "log --priority X", 2, "unknown priority X" + priorities},
        {d + "log --priority 9", 2, "unknown priority 9" + priorities},
        {d + "log --tag", 2, "--tag needs a value" + help},
        {d + "log --since", 2, "unknown log option --since" + help},
        {d + "tap org.example.tool Down\nload", 2, "a control message is one line" + help},
        {busy + " create", 1, busy + " exists and is not a device folder"},
        {busy + "/notes.txt create", 1, busy + "/notes.txt exists and is not a folder"},
        {d + "uninstall org.example.nope", 1, "package org.example.nope is not installed"},
        {d + "pause org.example.tool", 1, "org.example.tool is not running"},
        {d + "launch org.example.nope", 127, "no application org.example.nope is installed"},
        {d + "launch org.example.tool.svc", 127,
         "cannot start org.example.tool.svc: " + bin + "svc: No such file or directory"},
        {d + "launch org.example.tool.plain", 127,
         "cannot start org.example.tool.plain: " + bin + "plain: Permission denied"},
        {d + "launch org.example.tool.up", 127,
         "application org.example.tool.up has no valid exec in its manifest"},
    };
    // Every command refuses a folder that is no device, and leaves it as it was.
    for (const std::string& c :
         Words{"install " + packageFolder(mTmp, toolPackage("1.0.0")), "uninstall org.example.tool",
               "list", "launch org.example.tool", "pause a", "resume a", "terminate a",
               "tap a Download", "key a XF86Back", "snapshot a " + mTmp + "/s", "log", "journal"})
        cases.push_back({mTmp + " " + c, c.rfind("launch", 0) == 0 ? 127 : 1,
                         mTmp + " is not a device folder"});
    for (const Case& c : cases)
        EXPECT_EQ(said(tool(words(c.command))), Said(c.status, "", err(c.why))) << c.command;
    EXPECT_FALSE(vt::exists(busy + "/.vornix-device"));
    EXPECT_FALSE(vt::exists(mTmp + "/opt") || vt::exists(mTmp + "/.vornix-device"));
}

TEST_F(DeviceTool, CreateMakesADeviceInANewOrEmptyFolder) {
    std::string dev = mTmp + "/a/b";
    ASSERT_EQ(tool({dev, "create"}).status, 0);
    for (const char* p : {"/.vornix-device", "/opt/usr/apps", "/opt/usr/media", "/var/log", "/run"})
        EXPECT_TRUE(vt::exists(dev + p)) << p;
    EXPECT_EQ(tool({dev, "create"}).status, 0);  // again: still the same device
    mkdir((mTmp + "/empty").c_str(), 0755);
    EXPECT_EQ(tool({mTmp + "/empty", "create"}).status, 0);
    EXPECT_TRUE(vt::exists(mTmp + "/empty/.vornix-device"));
}

// A refused install leaves the installed version whole and no trace; a good one replaces it.
TEST_F(DeviceTool, InstallListReplaceUninstall) {
    vt::PackageSpec v1 = toolPackage("1.0.0");
    v1.files["res/only-in-1"] = "v1";
    install(v1, "installed org.example.tool 1.0.0\n");
    vt::PackageSpec layer = vt::layerPackage("2.2.0", "");
    layer.noVersion = true;
    install(layer, "installed QOR111TBNX (no version)\n");
    const std::string list =
        "QOR111TBNX (no version)\n"
        "    QOR111TBNX.QorService  service-application  bin/qor-service  \"QOR Service\"\n"
        "org.example.tool 1.0.0\n"
        "    org.example.tool  ui-application  bin/probe  \"Tool Probe\"\n"
        "    org.example.tool.svc  service-application  bin/svc\n";
    EXPECT_EQ(run("list").out, list);

    std::string broken = mTmp + "/broken", noPkg = mTmp + "/nopkg", none = mTmp + "/none";
    vt::writeFile(broken + "/tizen-manifest.xml",
                  "<manifest package=\"org.example.tool\">\n<oops>");
    vt::writeFile(noPkg + "/tizen-manifest.xml", "<manifest version=\"3\"/>");
    vt::writeFile(none + "/bin/probe", "x");
    // A file where the package's bin/ folder belongs: the copy fails half way.
    vt::PackageSpec v2 = toolPackage("2.0.0");
    v2.files["bin"] = "not a folder";
    std::string halfway = packageFolder(mTmp + "/bad", v2);
    // Entities, an app id of another package, absurd nesting, links out of the package.
    std::string entity = mTmp + "/entity";
    vt::writeFile(entity + "/tizen-manifest.xml",
                  "<!DOCTYPE manifest [<!ENTITY e \"x\">]><manifest package=\"org\"/>");
    vt::PackageSpec org = toolPackage("1.0.0");
    org.pkgId = "org";
    vt::PackageSpec v3 = toolPackage("2.0.0");
    v3.files["lib/x"] = "x";
    std::string hijack = packageFolder(mTmp, org), deep = packageFolder(mTmp + "/deep", v3);
    std::string nested = deep + "/res";
    for (int i = 0; i < 125; ++i) nested += "/d";
    vt::writeFile(nested + "/f", "deep");
    Words links;
    for (const char* target : {"/etc", "../../x", "here/../../x"}) {
        links.push_back(packageFolder(mTmp + "/link" + std::to_string(links.size()), v3));
        symlink(".", (links.back() + "/lib/here").c_str());
        symlink(target, (links.back() + "/lib/out").c_str());
    }
    struct Case {
        std::string dir, why;
    } cases[] = {
        {entity, entity + "/tizen-manifest.xml: the manifest declares entities"},
        {hijack, "app id org.example.tool belongs to package org.example.tool"},
        {deep, "folders nested more than 64 levels deep"},
        {links[0], "lib/out links out of the package"},
        {links[1], "lib/out links out of the package"},
        {links[2], "lib/out links out of the package"},
        {broken, broken + "/tizen-manifest.xml: line 2: .+"},
        {noPkg, noPkg + "/tizen-manifest.xml: <manifest> has no valid package attribute"},
        {none, "cannot open " + none + "/tizen-manifest.xml: No such file or directory"},
        {mTmp + "/absent", "not a package folder"},
        {halfway, "cannot create bin: .+"},
    };
    for (const Case& c : cases) {
        Result r = run("install " + c.dir);
        EXPECT_EQ(r.status, 1) << c.dir;
        EXPECT_TRUE(std::regex_match(
            r.err, std::regex("vornix-device: cannot install " + c.dir + ": " + c.why + "\n")))
            << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(run("list").out, list);
    std::string root = device::packageDir(mDev, "org.example.tool");
    EXPECT_EQ(vt::readFile(root + "res/only-in-1"), "v1");
    Names names;
    for (const auto& e : std::filesystem::directory_iterator(device::packagesDir(mDev)))
        names.insert(e.path().filename());
    EXPECT_EQ(names, nameSet("org.example.tool QOR111TBNX"));

    // Installed files get the installer's modes, whatever the folder had; a link that
    // stays inside the package stays.
    std::string good = packageFolder(mTmp + "/good", toolPackage("2.0.0"), {{"bin/probe", kProbe}});
    vt::writeFile(good + "/res/secret", "s", 0600);
    vt::writeFile(good + "/lib/x", "x");
    chmod((good + "/bin/probe").c_str(), 06755);
    chmod((good + "/res").c_str(), 01777);
    symlink("../bin/probe", (good + "/lib/probe").c_str());
    EXPECT_EQ(said(run("install " + good)),
              Said(0, "installed org.example.tool 2.0.0 (replaced 1.0.0)\n", ""));
    EXPECT_FALSE(vt::exists(root + "res/only-in-1"));
    for (const char* sub : {"bin/probe", "lib", "res", "shared/res", "shared/data", "data"})
        EXPECT_TRUE(vt::exists(root + sub)) << sub;
    for (auto mode : std::map<std::string, int>{
             {"bin/probe", 0755}, {"res", 0755}, {"res/secret", 0644}, {"lib/probe", 0755}}) {
        struct stat st;
        ASSERT_EQ(stat((root + mode.first).c_str(), &st), 0) << mode.first;
        EXPECT_EQ(st.st_mode & 07777, mode.second) << mode.first;
    }
    // App data nested past PATH_MAX goes with the package.
    int fd = open((root + "data").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::string level(40, 'd');
    for (int i = 0; i < 150 && fd >= 0; ++i) {
        mkdirat(fd, level.c_str(), 0755);
        int next = openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = next;
    }
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_EQ(said(run("uninstall org.example.tool")),
              Said(0, "uninstalled org.example.tool\n", ""));
    EXPECT_FALSE(vt::exists(root));
    EXPECT_EQ(said(run("list")), Said(0, list.substr(0, list.find("org.example.tool")), ""));
    names.clear();
    for (const auto& e : std::filesystem::directory_iterator(device::packagesDir(mDev)))
        names.insert(e.path().filename());
    EXPECT_EQ(names, nameSet("QOR111TBNX"));
}

// Killed at any step of a change, the device keeps one whole version, old or new, and
// the next command finishes the change.
TEST_F(DeviceTool, KilledAtAnyStepTheDeviceKeepsOneWholeVersion) {
    const std::string v1 =
        packageFolder(mTmp + "/1", toolPackage("1.0.0"), {{"bin/probe", kProbe}});
    const std::string v2 =
        packageFolder(mTmp + "/2", toolPackage("2.0.0"), {{"bin/probe", kProbe}});
    const std::string up = "install " + v2, down = "uninstall org.example.tool";
    struct Case {
        bool fresh;                          // no version installed before
        std::string command, step, version;  // the version left: "" none
    } cases[] = {
        {false, up, "copied", "1.0.0"},   {false, up, "intent", "2.0.0"},
        {false, up, "moved", "2.0.0"},    {false, up, "swapped", "2.0.0"},
        {false, up, "recorded", "2.0.0"}, {false, up, "cleaned", "2.0.0"},
        {true, up, "copied", ""},         {true, up, "moved", "2.0.0"},
        {true, up, "swapped", "2.0.0"},   {false, down, "intent", ""},
        {false, down, "moved", ""},       {false, down, "recorded", ""},
        {false, down, "cleaned", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command + " killed at " + c.step);
        vt::removeTree(mDev);
        ASSERT_EQ(run("create").status, 0);
        if (!c.fresh) {
            ASSERT_EQ(run("install " + v1).status, 0);
        }
        EXPECT_EQ(run(c.command, {"VORNIX_TEST_KILL_AT=" + c.step}).signal, SIGKILL);
        std::string listed = c.version.empty() ? ""
                                               : "org.example.tool " + c.version +
                                                     "\n    org.example.tool  ui-application  "
                                                     "bin/probe  \"Tool Probe\"\n    "
                                                     "org.example.tool.svc  service-application  "
                                                     "bin/svc\n";
        EXPECT_EQ(said(run("list")), Said(0, listed, ""));
        Names names;
        for (const auto& e : std::filesystem::directory_iterator(device::packagesDir(mDev)))
            names.insert(e.path().filename());
        EXPECT_EQ(names, nameSet(c.version.empty() ? "" : "org.example.tool"));
        EXPECT_EQ(run("launch org.example.tool").status, c.version.empty() ? 127 : 0);
        EXPECT_EQ(run(up).status, 0);
    }
}

// The app gets its identity, device, arguments and, for itself only, the device's media
// folder; its status is the tool's.
TEST_F(DeviceTool, LaunchStartsTheAppAsThePlatformDoes) {
    install(toolPackage("1.0.0"), "installed org.example.tool 1.0.0\n");
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
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("device=" + mDev + "\n"), std::string::npos) << r.out;
    if (r.err.find("no private media folder for this run") != std::string::npos)
        GTEST_SKIP() << "this system allows no private mount namespace: " << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("media=device\n"), std::string::npos) << r.out;
    EXPECT_EQ(vt::readFile(device::mediaDir(mDev) + ".probe"), "org.example.tool");
    // Without the mediastorage privilege the app sees the device's media folder read-only.
    vt::PackageSpec unprivileged = toolPackage("1.0.1");
    unprivileged.privileges.clear();
    install(unprivileged, "installed org.example.tool 1.0.1 (replaced 1.0.0)\n");
    unlink((device::mediaDir(mDev) + ".probe").c_str());
    r = tool({mDev, "launch", "org.example.tool"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("media=device\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("Read-only file system"), std::string::npos) << r.err;
    EXPECT_FALSE(vt::exists(device::mediaDir(mDev) + ".probe"));
    // The mount stayed with the app: here /opt/usr/media is not the device's.
    struct stat system, dev;
    ASSERT_EQ(stat(device::mediaDir(mDev).c_str(), &dev), 0);
    EXPECT_FALSE(stat("/opt/usr/media", &system) == 0 && system.st_ino == dev.st_ino &&
                 system.st_dev == dev.st_dev);
}

TEST_F(DeviceTool, ControlReachesTheRunningApp) {
    int fifo = announce(getpid());
    ASSERT_GE(fifo, 0);
    for (std::string c : {"pause", "resume", "terminate", "tap Download", "key XF86Back"}) {
        Result r = run(c.substr(0, c.find(' ')) + " org.example.tool" +
                       c.substr(std::min(c.find(' '), c.size())));
        EXPECT_EQ(r.status, 0) << r.err;
        char buf[512];
        ssize_t n = read(fifo, buf, sizeof buf);
        EXPECT_EQ(std::string(buf, n > 0 ? n : 0), c + "\n");
    }
    close(fifo);

    // Running, but reading no control messages: terminate falls back to SIGTERM.
    pid_t child = fork();
    if (child == 0) {
        execl("/bin/sleep", "sleep", "60", static_cast<char*>(nullptr));
        _exit(127);
    }
    // A pid file left by an app killed outright names whatever process has that pid
    // now: it is removed, and that process left alone.
    announce(child, true);
    EXPECT_EQ(said(run("terminate org.example.tool")),
              Said(1, "", err("org.example.tool is not running")));
    EXPECT_FALSE(vt::exists(device::pidFile(mDev, "org.example.tool")));
    EXPECT_EQ(waitpid(child, nullptr, WNOHANG), 0);
    announce(child);
    EXPECT_EQ(said(run("resume org.example.tool")),
              Said(1, "", err("org.example.tool reads no control messages")));
    EXPECT_EQ(run("terminate org.example.tool").status, 0);
    int st = 0;
    ASSERT_EQ(waitpid(child, &st, 0), child);
    EXPECT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == SIGTERM);
}

// The log filtered by tag and minimum priority; the journal as written.
TEST_F(DeviceTool, LogAndJournal) {
    const Words lines = {
        "I/Hello_World(  101): a", "E/Hello_World(  101): b", "I/TIZENSTORE(  102): c (x): y",
        "W/short   (   12): d",    "D/we(ird   (99999): e",   "not a log line",
        "F/Hello_World(  101): f",
    };
    auto pick = [&](const std::string& which) {  // "016": lines 0, 1 and 6
        std::string s;
        for (char i : which) s += lines[i - '0'] + "\n";
        return s;
    };
    vt::writeFile(device::logFile(mDev), pick("0123456"));
    struct Case {
        std::string filter, which;
    } cases[] = {
        {"", "0123456"},
        {"--tag Hello_World", "016"},
        {"--tag short --tag we(ird", "34"},
        {"--priority E", "16"},
        {"--priority 5", "136"},
        {"--priority v", "012346"},
        {"--tag Hello_World --priority W", "16"},
        {"--tag TIZENSTORE --priority i", "2"},
        {"--tag Hello", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(said(run("log " + c.filter)), Said(0, pick(c.which), "")) << c.filter;
    }
    // Many "(" before a "): " are read in one pass, not one pass each.
    vt::writeFile(device::logFile(mDev), "I/" + std::string(250000, '(') + "): m\n");
    EXPECT_EQ(said(run("log --tag T")), Said(0, "", ""));
    unlink(device::logFile(mDev).c_str());
    mkfifo(device::logFile(mDev).c_str(), 0644);
    EXPECT_EQ(said(run("log")), Said(1, "", err(device::logFile(mDev) + " is not a regular file")));
    EXPECT_EQ(run("journal").out, "");
    device::appendJournal(mDev, "first request");
    device::appendJournal(mDev, "second request");
    EXPECT_EQ(said(run("journal")), Said(0, "first request\nsecond request\n", ""));
}

// --- A real device build ------------------------------------------------------------

Words sourceFiles() {
    Words files;
    for (const char* dir : {"src", "inc", "qor-service/inc/qor"})
        for (const auto& e : std::filesystem::directory_iterator(vt::sourceDir() + "/" + dir))
            if (e.path().extension() == ".h" || e.path().extension() == ".cpp")
                files.push_back(dir + ("/" + e.path().filename().string()));
    return files;
}

// Only Tizen, EFL, standard and own headers; no condition on a desktop-only macro.
TEST(DeviceBuild, LauncherSourcesBuildOnlyAgainstTheDevicePlatform) {
    const Names known = nameSet(  // Tizen, EFL, C and C++
        "app.h app_common.h app_control.h app_manager.h app_info.h app_types.h package_manager.h "
        "package_info.h bundle.h dlog.h tizen.h tizen_error.h tizen_type.h efl_extension.h "
        "efl_extension_events.h Elementary.h Evas.h Ecore.h Eina.h Ecore_Evas.h Edje.h Eo.h "
        "assert.h ctype.h dlfcn.h errno.h fcntl.h limits.h stdarg.h stdbool.h stddef.h stdint.h "
        "stdio.h stdlib.h string.h strings.h time.h unistd.h sys/stat.h sys/types.h algorithm "
        "cerrno cstdio cstdlib cstring fstream iostream memory sstream string utility vector map "
        "climits cstdint cctype functional iosfwd");
    const std::regex include(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
    const std::regex conditional(R"(^\s*#\s*(if|ifdef|ifndef|elif)\b(.*))");
    const std::regex desktop(
        R"(\b(VORNIX\w*|__linux__|__linux|linux|__gnu_linux__|__unix__|__x86_64__|__amd64__|__i386__|__aarch64__|__arm__|__GLIBC__|DESKTOP\w*)\b)");
    Words files = sourceFiles();
    ASSERT_GT(files.size(), 10u);
    for (const std::string& f : files) {
        std::istringstream in(vt::readFile(vt::sourceDir() + "/" + f));
        Words lines;
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        for (size_t i = 0; i < lines.size(); ++i) {
            std::smatch m, g;
            std::string at = f + ":" + std::to_string(i + 1) + ": " + lines[i];
            if (std::regex_search(lines[i], m, include)) {
                std::string h = m[2];
                std::string dir = h.rfind("qor/", 0) == 0 ? "/qor-service/inc/"
                                  : m[1] == "\"" && h.find('/') == std::string::npos ? "/inc/"
                                                                                     : "";
                EXPECT_TRUE(known.count(h) ||
                            (!dir.empty() && vt::exists(vt::sourceDir() + dir + h)))
                    << at;
            } else if (std::regex_search(lines[i], m, conditional)) {
                std::string what = m[2];
                // An include guard: "#ifndef X" straight followed by "#define X".
                bool guard = m[1] == "ifndef" && i + 1 < lines.size() &&
                             std::regex_search(what, g, std::regex(R"(^\s*(\w+)\s*$)")) &&
                             lines[i + 1].find("#define " + g[1].str()) == 0;
                EXPECT_TRUE(guard || !std::regex_search(what, desktop)) << at;
            }
        }
    }
}

// The host manifests (device template, demo) ask exactly the privileges the launcher needs.
TEST(DeviceBuild, HostManifestsAskWhatTheLauncherNeeds) {
    for (const char* path :
         {"packaging/tizen-manifest.xml", "demo/packages/org.example.hello/tizen-manifest.xml"}) {
        device::Package pkg;
        std::string why;
        ASSERT_EQ(device::parseManifest(vt::sourceDir() + "/" + path, &pkg, &why), device::OK)
            << path << ": " << why;
        ASSERT_EQ(pkg.apps.size(), 1u) << path;
        EXPECT_EQ(pkg.apps[0].kind + " " + pkg.apps[0].exec, "ui-application vornix") << path;
        EXPECT_FALSE(pkg.apps[0].icon.empty()) << path;
        EXPECT_EQ(Names(pkg.privileges.begin(), pkg.privileges.end()),
                  nameSet("http://tizen.org/privilege/packagemanager.info "
                          "http://tizen.org/privilege/appmanager.launch "
                          "http://tizen.org/privilege/mediastorage"))
            << path;
    }
}

}  // namespace
