// SPDX-License-Identifier: Apache-2.0
// vornix-device as a host-app developer uses it: exit status, output and what it leaves
// on the device folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "TestDevice.h"

namespace {

using Words = std::vector<std::string>;
using Said = std::tuple<int, std::string, std::string>;  // status, stdout, stderr

// Runs the tool with a clean platform environment; `command` is split at spaces.
vt::ProcessResult tool(const std::string& command, const Words& env = {}) {
    Words argv{vt::binaryDir() + "/vornix-device"},
        e = {"VORNIX_DEVICE=", "VORNIX_APP_ID=", "VORNIX_APP_CONTROL=", "VORNIX_DLOG_FILE="};
    std::istringstream in(command);
    for (std::string w; std::getline(in, w, ' ');)
        if (!w.empty()) argv.push_back(w);
    e.insert(e.end(), env.begin(), env.end());
    vt::ProcessResult r = vt::runProcess(argv, e);
    EXPECT_FALSE(r.timedOut) << command;
    return r;
}
Said said(const vt::ProcessResult& r) { return {r.status, r.out, r.err}; }
std::string err(const std::string& line) { return "vornix-device: " + line + "\n"; }

// Reports what a started app gets; proves the media folder by writing into it.
const char kProbe[] = R"sh(#!/bin/sh
printf 'app=%s\ndevice=%s\ncontrol=%s\n' "$VORNIX_APP_ID" "$VORNIX_DEVICE" "${VORNIX_APP_CONTROL-unset}"
for a in "$@"; do printf 'arg=[%s]\n' "$a"; done
if [ "$(stat -c %d:%i /opt/usr/media)" = "$(stat -c %d:%i "$VORNIX_DEVICE/opt/usr/media")" ]; then
  echo media=device; printf '%s' "$VORNIX_APP_ID" > /opt/usr/media//.probe
fi
exit "${PROBE_EXIT:-0}"
)sh";

vt::PackageSpec toolPackage(const std::string& version) {
    vt::PackageSpec p;
    p.pkgId = "org.example.tool";
    p.version = version;
    p.apps.push_back({"org.example.tool", "ui-application", "probe", "Tool Probe", false, ""});
    p.apps.push_back({"org.example.tool.svc", "service-application", "svc", "", true, ""});
    p.privileges = {"http://tizen.org/privilege/mediastorage"};
    return p;
}
std::string listed(const std::string& version) {
    return version.empty()
               ? ""
               : "org.example.tool " + version +
                     "\n    org.example.tool  ui-application  bin/probe  \"Tool "
                     "Probe\"\n    org.example.tool.svc  service-application  bin/svc\n";
}
// The folders under the device's package root.
std::string packageFolders(const std::string& dev) {
    std::string names;
    for (const auto& e : std::filesystem::directory_iterator(device::packagesDir(dev)))
        names += e.path().filename().string() + " ";
    return names;
}

class DeviceTool : public ::testing::Test {
protected:
    void SetUp() override {
        vt::writeFile(mProbe, kProbe, 0755);
        ASSERT_EQ(run("create").status, 0);
    }
    vt::ProcessResult run(const std::string& command, const Words& env = {}) {
        return tool(mDev + " " + command, env);
    }
    // An unpacked package folder, as a developer has one before installing it.
    std::string folder(const std::string& name, vt::PackageSpec spec) {
        if (!spec.files.count("bin")) spec.copies["bin/probe"] = mProbe;
        std::string dir = mTmp.path() + "/" + name, why;
        EXPECT_TRUE(devkit::writePackage(spec, dir, &why)) << why;
        return dir;
    }
    // Announces org.example.tool running as `pid`; the pid file's lock, which a live app
    // holds, is held here unless `stale`. For this process also its control FIFO, whose
    // reading end is returned.
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
    void TearDown() override {
        if (mLock >= 0) close(mLock);
    }
    vt::TestDevice mTmp;  // a scratch folder, removed however the test ends
    const std::string mDev = mTmp.path() + "/dev", mProbe = mTmp.path() + "/probe";
    int mLock = -1;
};

// Answers as the developer reads them. A refusal is one line on stderr with status 2
// (usage), 1 (failure) or 127 (app not started); a folder that is no device is left as
// it was. The log is filtered by tag and minimum priority.
TEST_F(DeviceTool, CommandsAnswerInOneLine) {
    vt::PackageSpec p = toolPackage("1.0.0");
    p.apps.push_back({"org.example.tool.plain", "ui-application", "plain", "", true, ""});
    p.apps.push_back({"org.example.tool.up", "ui-application", "../probe", "", true, ""});
    p.files["bin/plain"] = "#!/bin/sh\n";  // not executable
    ASSERT_EQ(run("install " + folder("p", p)).status, 0);
    const Words log = {"I/Hello_World(  101): a",       "E/Hello_World(  101): b",
                       "I/TIZENSTORE(  102): c (x): y", "W/short   (   12): d",
                       "D/we(ird   (99999): e",         "not a log line",
                       "F/Hello_World(  101): f"};
    auto pick = [&](const std::string& which) {  // "016": lines 0, 1 and 6
        std::string s;
        for (char i : which) s += log[i - '0'] + "\n";
        return s;
    };
    vt::writeFile(device::logFile(mDev), pick("0123456"));
    device::appendJournal(mDev, "first request");
    const std::string d = mDev + " ", busy = mTmp.path() + "/busy",
                      help = " (see vornix-device --help)";
    vt::writeFile(busy + "/notes.txt", "mine");
    std::vector<std::tuple<std::string, int, std::string, std::string>> cases = {
        {"", 2, "", err("no device folder given" + help)},
        {d + "frob", 2, "", err("unknown command frob" + help)},
        {d + "tap app", 2, "", err("wrong number of arguments for tap" + help)},
        {d + "log --priority 9", 2, "",
         err("unknown priority 9 (one of V D I W E F, or 2-7)" + help)},
        {d + "tap org.example.tool Down\nload", 2, "", err("a control message is one line" + help)},
        {d + "uninstall org.example.nope", 1, "", err("package org.example.nope is not installed")},
        {d + "pause org.example.tool", 1, "", err("org.example.tool is not running")},
        {d + "launch org.example.nope", 127, "",
         err("no application org.example.nope is installed")},
        {d + "launch org.example.tool.plain", 127, "",
         err("cannot start org.example.tool.plain: " + mDev +
             "/opt/usr/apps/org.example.tool/bin/plain: Permission denied")},
        {d + "launch org.example.tool.up", 127, "",
         err("application org.example.tool.up has no valid exec in its manifest")},
        {d + "log", 0, pick("0123456"), ""},
        {d + "log --tag short --tag we(ird", 0, pick("34"), ""},
        {d + "log --priority 5", 0, pick("136"), ""},
        {d + "log --priority v", 0, pick("012346"), ""},
        {d + "log --tag Hello_World --priority W", 0, pick("16"), ""},
        {d + "log --tag Hello", 0, "", ""},
        {d + "journal", 0, "first request\n", ""},
        {busy + " launch a", 127, "", err(busy + " is not a device folder")},
        {busy + " create", 1, "", err(busy + " exists and is not a device folder")},
    };
    for (const std::string& c : Words{"install " + busy, "uninstall a", "list", "tap a b", "log"})
        cases.push_back({busy + " " + c, 1, "", err(busy + " is not a device folder")});
    for (const auto& [command, status, out, why] : cases)
        EXPECT_EQ(said(tool(command)), Said(status, out, why)) << command;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(busy), {}), 1);
    // A FIFO in the log's place is refused, not waited on.
    unlink(device::logFile(mDev).c_str());
    mkfifo(device::logFile(mDev).c_str(), 0644);
    EXPECT_EQ(said(run("log")), Said(1, "", err(device::logFile(mDev) + " is not a regular file")));
}

// A refused install leaves the installed version whole and no trace; a good one replaces
// it, with the installer's modes whatever the folder had.
TEST_F(DeviceTool, InstallReplaceUninstall) {
    vt::PackageSpec v1 = toolPackage("1.0.0"), v2 = toolPackage("2.0.0");
    v1.files["res/only-in-1"] = "v1";
    ASSERT_EQ(said(run("install " + folder("v1", v1))),
              Said(0, "installed org.example.tool 1.0.0\n", ""));
    const std::string t = mTmp.path() + "/", root = device::packageDir(mDev, "org.example.tool");
    vt::writeFile(t + "entity/tizen-manifest.xml",
                  "<!DOCTYPE manifest [<!ENTITY e \"x\">]><manifest package=\"org\"/>");
    vt::writeFile(t + "broken/tizen-manifest.xml",
                  "<manifest package=\"org.example.tool\">\n<oops>");
    vt::PackageSpec hijack = toolPackage("1.0.0"), halfway = v2;
    hijack.pkgId = "org";
    halfway.files["bin"] = "not a folder";  // the copy fails half way
    folder("hijack", hijack), folder("halfway", halfway), folder("deep", v2);
    std::string nested = t + "deep/res";
    for (int i = 0; i < 125; ++i) nested += "/d";
    vt::writeFile(nested + "/f", "deep");
    const Words targets = {"/etc", "../../x", "here/../../x"};
    for (size_t i = 0; i < targets.size(); ++i) {
        std::string lib = folder("link" + std::to_string(i), v2) + "/lib/";
        mkdir(lib.c_str(), 0755);
        symlink(".", (lib + "here").c_str());
        symlink(targets[i].c_str(), (lib + "out").c_str());
    }
    const std::pair<std::string, std::string> cases[] = {
        {"entity", t + "entity/tizen-manifest.xml: the manifest declares entities"},
        {"hijack", "app id org.example.tool belongs to package org.example.tool"},
        {"deep", "folders nested more than 64 levels deep"},
        {"link0", "lib/out links out of the package"},
        {"link1", "lib/out links out of the package"},
        {"link2", "lib/out links out of the package"},
        {"broken", t + "broken/tizen-manifest.xml: line 2: .+"},
        {"halfway", "cannot create bin: .+"},
    };
    for (const auto& c : cases) {
        vt::ProcessResult r = run("install " + t + c.first);
        EXPECT_EQ(std::make_pair(r.status, r.out), std::make_pair(1, std::string())) << c.first;
        EXPECT_TRUE(std::regex_match(
            r.err, std::regex(err("cannot install " + t + c.first + ": " + c.second))))
            << r.err;
    }
    EXPECT_EQ(said(run("list")), Said(0, listed("1.0.0"), ""));
    EXPECT_EQ(vt::readFile(root + "res/only-in-1"), "v1");
    EXPECT_EQ(packageFolders(mDev), "org.example.tool ");

    std::string good = folder("good", v2);
    vt::writeFile(good + "/res/secret", "s", 0600);
    chmod((good + "/bin/probe").c_str(), 06755);
    chmod((good + "/res").c_str(), 01777);
    EXPECT_EQ(said(run("install " + good)),
              Said(0, "installed org.example.tool 2.0.0 (replaced 1.0.0)\n", ""));
    EXPECT_FALSE(vt::exists(root + "res/only-in-1"));
    for (auto mode : {std::make_pair("bin/probe", 0755), {"res", 0755}, {"res/secret", 0644}}) {
        struct stat st;
        ASSERT_EQ(stat((root + mode.first).c_str(), &st), 0) << mode.first;
        EXPECT_EQ(st.st_mode & 07777, mode.second) << mode.first;
    }
    EXPECT_EQ(said(run("uninstall org.example.tool")),
              Said(0, "uninstalled org.example.tool\n", ""));
    EXPECT_EQ(said(run("list")), Said(0, "", ""));
    EXPECT_EQ(packageFolders(mDev), "");
}

// Killed at any step of a change, the device keeps one whole version, old or new, and
// the next command finishes the change.
TEST_F(DeviceTool, KilledAtAnyStepTheDeviceKeepsOneWholeVersion) {
    const std::string v1 = folder("1", toolPackage("1.0.0")),
                      v2 = folder("2", toolPackage("2.0.0"));
    const std::string up = "install " + v2, down = "uninstall org.example.tool";
    const std::tuple<bool, std::string, std::string, std::string> cases[] = {
        // installed before, command, step killed at, version left
        {true, up, "copied", "1.0.0"},   {true, up, "intent", "2.0.0"},
        {true, up, "moved", "2.0.0"},    {true, up, "swapped", "2.0.0"},
        {true, up, "recorded", "2.0.0"}, {true, up, "cleaned", "2.0.0"},
        {false, up, "copied", ""},       {false, up, "moved", "2.0.0"},
        {false, up, "swapped", "2.0.0"}, {true, down, "intent", ""},
        {true, down, "moved", ""},       {true, down, "recorded", ""},
        {true, down, "cleaned", ""},
    };
    for (const auto& [before, command, step, left] : cases) {
        SCOPED_TRACE(command + " killed at " + step);
        vt::removeTree(mDev);
        ASSERT_EQ(run("create").status, 0);
        if (before) {
            ASSERT_EQ(run("install " + v1).status, 0);
        }
        EXPECT_EQ(run(command, {"VORNIX_TEST_KILL_AT=" + step}).signal, SIGKILL);
        EXPECT_EQ(said(run("list")), Said(0, listed(left), ""));
        EXPECT_EQ(packageFolders(mDev), left.empty() ? "" : "org.example.tool ");
        EXPECT_EQ(run("launch org.example.tool").status, left.empty() ? 127 : 0);
        EXPECT_EQ(run(up).status, 0);
    }
}

// The app gets its identity, device, arguments and, for itself only, the device's media
// folder; its status is the tool's. A relative device folder reaches it as an absolute one.
TEST_F(DeviceTool, LaunchStartsTheAppAsThePlatformDoes) {
    ASSERT_EQ(run("install " + folder("p", toolPackage("1.0.0"))).status, 0);
    for (int status : {0, 255}) {
        vt::ProcessResult r = vt::runProcess(
            {vt::binaryDir() + "/vornix-device", "dev", "launch", "org.example.tool", "",
             "two words", "\xc3\xbcn"},
            {"PROBE_EXIT=" + std::to_string(status), "VORNIX_APP_CONTROL=stale"}, mTmp.path());
        EXPECT_EQ(r.status, status);
        EXPECT_EQ(r.out.substr(0, r.out.find("media=")),
                  "app=org.example.tool\ndevice=" + mDev +
                      "\ncontrol=unset\narg=[]\narg=[two words]\narg=[\xc3\xbcn]\n");
        if (r.err.find("no private media folder for this run") != std::string::npos)
            GTEST_SKIP() << "this system allows no private mount namespace: " << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_NE(r.out.find("media=device\n"), std::string::npos) << r.out;
    }
    EXPECT_EQ(vt::readFile(device::mediaDir(mDev) + ".probe"), "org.example.tool");
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
        size_t space = std::min(c.find(' '), c.size());
        EXPECT_EQ(said(run(c.substr(0, space) + " org.example.tool" + c.substr(space))),
                  Said(0, "", ""));
        char buf[512];
        ssize_t n = read(fifo, buf, sizeof buf);
        EXPECT_EQ(std::string(buf, n > 0 ? n : 0), c + "\n");
    }
    close(fifo);
    // A running app that reads no control messages is ended by SIGTERM. A pid file left by
    // an app killed outright names whatever process has that pid now: it is removed, and
    // that process left alone.
    using Self = std::remove_pointer_t<decltype(this)>;
    vt::ProcessResult r = vt::runProcess(
        {"/bin/sleep", "100"}, {}, "", 60000,
        [](int pid, void* self) {
            auto* t = static_cast<Self*>(self);
            t->announce(pid, true);
            EXPECT_EQ(said(t->run("terminate org.example.tool")),
                      Said(1, "", err("org.example.tool is not running")));
            EXPECT_FALSE(vt::exists(device::pidFile(t->mDev, "org.example.tool")));
            t->announce(pid);
            EXPECT_EQ(said(t->run("resume org.example.tool")),
                      Said(1, "", err("org.example.tool reads no control messages")));
            EXPECT_EQ(said(t->run("terminate org.example.tool")), Said(0, "", ""));
        },
        this);
    EXPECT_EQ(r.signal, SIGTERM);
}

}  // namespace
