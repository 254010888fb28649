// SPDX-License-Identifier: Apache-2.0
// vornix-device as a host-app developer uses it: its answers and the device it leaves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "TestDevice.h"

namespace {

using Words = std::vector<std::string>;
using Said = std::tuple<int, std::string, std::string>;  // status, stdout, stderr

// Runs the tool with a clean platform environment, after `before` (a program that runs
// it) when given; `command` is split at spaces. `onStarted` acts while it runs.
vt::ProcessResult tool(const std::string& command, const Words& env = {}, Words before = {},
                       void (*onStarted)(int pid, void* data) = nullptr, void* data = nullptr) {
    Words& argv = before;
    Words e = {"VORNIX_DEVICE=", "VORNIX_APP_ID=", "VORNIX_APP_CONTROL=", "VORNIX_DLOG_FILE="};
    argv.push_back(vt::binaryDir() + "/vornix-device");
    std::istringstream in(command);
    for (std::string w; std::getline(in, w, ' ');)
        if (!w.empty()) argv.push_back(w);
    e.insert(e.end(), env.begin(), env.end());
    vt::ProcessResult r = vt::runProcess(argv, e, "", 30000, onStarted, data);
    EXPECT_FALSE(r.timedOut) << command;
    return r;
}
Said said(const vt::ProcessResult& r) { return {r.status, r.out, r.err}; }
std::string err(const std::string& line) { return "vornix-device: " + line + "\n"; }

vt::PackageSpec toolPackage(const std::string& version) {
    vt::PackageSpec p;
    p.pkgId = "org.example.tool", p.version = version;
    p.apps.push_back({"org.example.tool", "ui-application", "probe", "Tool Probe", false, ""});
    return p;
}
std::string packageFolders(const std::string& dev) {
    std::string names;
    for (const auto& e : std::filesystem::directory_iterator(device::packagesDir(dev)))
        names += e.path().filename().string() + " ";
    return names;
}

class DeviceTool : public ::testing::Test {
protected:
    void SetUp() override {
        vt::writeFile(mProbe, "#!/bin/sh\nprintf '%s|' \"$@\"\n", 0755);  // its arguments
        ASSERT_EQ(run("create").status, 0);
    }
    vt::ProcessResult run(const std::string& command, const Words& env = {},
                          const Words& before = {}) {
        return tool(mDev + " " + command, env, before);
    }
    // An unpacked package folder, as a developer has one before installing it.
    std::string folder(const std::string& name, vt::PackageSpec spec) {
        if (!spec.files.count("bin")) spec.copies["bin/probe"] = mProbe;
        std::string dir = mTmp.path() + "/" + name, why;
        EXPECT_TRUE(devkit::writePackage(spec, dir, &why)) << why;
        return dir;
    }
    // Announces org.example.tool running as `pid`, without a control FIFO; the pid
    // file's lock, which a live app holds, is held here unless `stale`.
    void announce(int pid, bool stale = false) {
        std::string pidPath = device::pidFile(mDev, "org.example.tool");
        vt::writeFile(pidPath, std::to_string(pid) + "\n");
        if (mLock >= 0) close(mLock);
        mLock = stale ? -1 : open(pidPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (mLock >= 0) flock(mLock, LOCK_EX);
    }
    void TearDown() override {
        if (mLock >= 0) close(mLock);
    }
    vt::TestDevice mTmp;  // a scratch folder, removed however the test ends
    const std::string mDev = mTmp.path() + "/dev", mProbe = mTmp.path() + "/probe";
    int mLock = -1;
};

// A refusal is one line on stderr with status 2 (usage), 1 (failure) or 127 (app not
// started), and leaves the device, or a folder that is no device, as it was.
TEST_F(DeviceTool, RefusalsSayWhyInOneLine) {
    vt::PackageSpec v1 = toolPackage("1.0.0"), v2 = toolPackage("2.0.0");
    v1.apps[0].label = "Tool\norg.example.fake 9";  // listed on one line all the same
    v1.apps.push_back({"org.example.tool.up", "ui-application", "../probe", "", true, ""});
    ASSERT_EQ(said(run("install " + folder("v1", v1))),
              Said(0, "installed org.example.tool 1.0.0\n", ""));
    const std::string d = mDev + " ", t = mTmp.path() + "/", busy = t + "busy",
                      help = " (see vornix-device --help)", no = "cannot install " + t;
    vt::writeFile(busy + "/notes.txt", "mine");
    vt::writeFile(t + "entity/tizen-manifest.xml",
                  "<!DOCTYPE manifest [<!ENTITY e \"x\">]><manifest package=\"org\"/>");
    vt::writeFile(t + "forged/tizen-manifest.xml",
                  "<manifest package=\"org\" version=\"1&#10;org.example.fake 9\"/>");
    vt::PackageSpec hijack = toolPackage("1.0.0"), halfway = v2, innocent, quoted = v2;
    quoted.pkgId = "org\"x";  // written as it is: the manifest reads it back
    hijack.pkgId = "org";
    halfway.files["bin"] = "not a folder";  // the copy fails half way
    innocent.pkgId = "org", innocent.apps = {{"org.app", "ui-application", "probe", "", true, ""}};
    folder("hijack", hijack), folder("halfway", halfway), folder("swapped", innocent);
    folder("quoted", quoted);
    devkit::makeDirs(folder("linked", v2) + "/res");
    link(mProbe.c_str(), (t + "linked/res/probe").c_str());  // not the package's to give
    // Links out of the package; "here" is one too, so ".." after it climbs from elsewhere.
    const Words targets = {"/etc", "../../../x", "here/../../x"};
    for (size_t i = 0; i < targets.size(); ++i) {
        std::string lib = folder("link" + std::to_string(i), v2) + "/lib/d/";
        devkit::makeDirs(lib);
        symlink("..", (lib + "here").c_str());
        symlink(targets[i].c_str(), (lib + "out").c_str());
    }
    // The device's log and journal are read only as regular files: a link takes the reader
    // nowhere else, a FIFO holds it not.
    const std::string log = device::logFile(mDev), journal = device::journalFile(mDev);
    symlink((busy + "/notes.txt").c_str(), log.c_str());
    mkfifo(journal.c_str(), 0600);
    const std::tuple<std::string, int, std::string> cases[] = {
        {"", 2, "no device folder given" + help},
        {"-x " + d + "list", 2, "unknown option -x" + help},
        {d + "tap org.example.tool Down\nload", 2, "a control message is one line" + help},
        {d + "pause org.example.tool", 1, "org.example.tool is not running"},
        {d + "log", 1, log + " is not a regular file"},
        {d + "journal", 1, journal + " is not a regular file"},
        {d + "install " + t + "entity", 1,
         no + "entity: " + t + "entity/tizen-manifest.xml: the manifest declares entities"},
        {d + "install " + t + "hijack", 1,
         no + "hijack: app id org.example.tool belongs to package org.example.tool"},
        {d + "install " + t + "link0", 1, no + "link0: lib/d/out links out of the package"},
        {d + "install " + t + "link1", 1, no + "link1: lib/d/out links out of the package"},
        {d + "install " + t + "link2", 1, no + "link2: lib/d/out links out of the package"},
        {d + "install " + t + "halfway", 1, no + "halfway: cannot create bin: File exists"},
        {d + "install " + t + "quoted", 1,
         no + "quoted: " + t +
             "quoted/tizen-manifest.xml: <manifest> has no valid package attribute"},
        {d + "install " + t + "forged", 1,
         no + "forged: " + t + "forged/tizen-manifest.xml: a version holds a control character"},
        {d + "install " + t + "linked", 1,
         no + "linked: cannot copy res/probe: it has more than one link"},
        {d + "launch org.example.tool.up", 127,
         "application org.example.tool.up has no valid exec in its manifest"},
        {busy + " create", 1, busy + " exists and is not a device folder"},
        {busy + " install " + busy, 1, busy + " is not a device folder"},
        {busy + " launch a", 127, busy + " is not a device folder"},
    };
    for (const auto& [command, status, why] : cases)
        EXPECT_EQ(said(tool(command)), Said(status, "", err(why))) << command;
    // The manifest is swapped for the hijacker's when the copy starts: the copy is checked.
    std::string manifest = t + "swapped/tizen-manifest.xml", hijacker = vt::manifestXml(hijack);
    std::pair<std::string*, std::string*> swap{&manifest, &hijacker};
    vt::ProcessResult r = tool(
        d + "install " + t + "swapped", {"VORNIX_TEST_STOP_AT=copying"}, {},
        [](int pid, void* data) {
            auto* s = static_cast<decltype(swap)*>(data);
            std::string stat = "/proc/" + std::to_string(pid) + "/stat";
            devkit::waitFor([&] { return vt::readFile(stat).find(") T ") != std::string::npos; },
                            20000);
            vt::writeFile(*s->first, *s->second);
            kill(pid, SIGCONT);
        },
        &swap);
    EXPECT_EQ(said(r), Said(1, "",
                            err(no + "swapped: app id org.example.tool belongs to package "
                                     "org.example.tool")));
    // Only the tool's own place takes its options: an app's arguments pass as they are.
    EXPECT_EQ(said(tool("-- " + d + "launch org.example.tool --exit=3 -h -- --help")),
              Said(0, "--exit=3|-h|--|--help|", ""));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(busy), {}), 1);
    EXPECT_EQ(packageFolders(mDev), "org.example.tool ");
    EXPECT_EQ(
        run("list").out,
        "org.example.tool 1.0.0\n    org.example.tool  ui-application  bin/probe  "
        "\"Tool\\norg.example.fake 9\"\n    org.example.tool.up  ui-application  bin/../probe\n");
}

// A change replaces the whole version, keeping the app's data but not its cache, or
// removes it without trace; the installed files get the installer's modes, whatever the
// folder had, but no read for those the folder denied it. Killed at any step, the device
// keeps one whole version, old or new, and the next command finishes the change.
TEST_F(DeviceTool, ChangesLeaveOneWholeVersion) {
    vt::PackageSpec old = toolPackage("1.0.0");
    old.files["res/only-in-1"] = "v1";
    const std::string v1 = folder("1", old), v2 = folder("2", toolPackage("2.0.0"));
    vt::writeFile(v2 + "/res/secret", "s", 0600);
    vt::writeFile(v2 + "/res/group", "g", 0640);
    const Words data = {"data/d", "shared/data/d", "shared/trusted/d"};
    chmod((v2 + "/bin/probe").c_str(), 06755);
    chmod((v2 + "/res").c_str(), 01777);
    const std::string up = "install " + v2, down = "uninstall org.example.tool";
    const std::string root = device::packageDir(mDev, "org.example.tool");
    const std::tuple<bool, std::string, std::string, std::string> cases[] = {
        // installed before, command, step killed at ("" not killed), version left
        {true, up, "", "2.0.0"},        {true, down, "", ""},
        {true, up, "copied", "1.0.0"},  {true, up, "intent", "2.0.0"},
        {true, up, "moved", "2.0.0"},   {true, up, "carried", "2.0.0"},
        {true, up, "swapped", "2.0.0"}, {true, up, "recorded", "2.0.0"},
        {true, up, "cleaned", "2.0.0"}, {false, up, "copied", ""},
        {false, up, "moved", "2.0.0"},  {false, up, "swapped", "2.0.0"},
        {true, down, "intent", ""},     {true, down, "moved", ""},
        {true, down, "recorded", ""},   {true, down, "cleaned", ""},
    };
    for (const auto& [before, command, step, left] : cases) {
        SCOPED_TRACE(command + " killed at " + step);
        vt::removeTree(mDev);
        ASSERT_EQ(run("create").status, 0);
        ASSERT_EQ(before ? run("install " + v1).status : 0, 0);
        for (const std::string& file : data)
            if (before) vt::writeFile(root + file, "kept");
        if (before) vt::writeFile(root + "cache/c", "");
        vt::ProcessResult r = run(command, {"VORNIX_TEST_KILL_AT=" + step});
        EXPECT_EQ(r.signal, step.empty() ? 0 : SIGKILL);
        EXPECT_EQ(r.out, !step.empty()   ? ""
                         : command == up ? "installed org.example.tool 2.0.0 (replaced 1.0.0)\n"
                                         : "uninstalled org.example.tool\n");
        std::string list = run("list").out;
        EXPECT_EQ(list.substr(0, list.find('\n') + 1),
                  left.empty() ? "" : "org.example.tool " + left + "\n");
        EXPECT_EQ(packageFolders(mDev), left.empty() ? "" : "org.example.tool ");
        EXPECT_EQ(vt::exists(root + "res/only-in-1"), left == "1.0.0");
        struct stat st;
        for (const std::string& file : data)
            EXPECT_EQ(vt::exists(root + file), before && !left.empty()) << file;
        EXPECT_EQ(vt::exists(root + "cache/c"), left == "1.0.0");
        for (auto [file, mode] : {std::pair("bin/probe", 0755u),
                                  {"res", 0755u},
                                  {"res/secret", 0600u},
                                  {"res/group", 0640u}})
            EXPECT_TRUE(left != "2.0.0" ||
                        (!stat((root + file).c_str(), &st) && (st.st_mode & 07777) == mode))
                << file;
        EXPECT_EQ(run("launch org.example.tool").status, left.empty() ? 127 : 0);
        EXPECT_EQ(run(up).status, 0);
    }
    // The temporary copy of a record that a kill cut short (named after it) is no record.
    vt::writeFile(mDev + "/var/lib/packages/.intent-org.example.tool.Ab12Cd", down + "\n");
    EXPECT_EQ(run("list").out.substr(0, 23), "org.example.tool 2.0.0\n");
}

// A change whose last steps fail stands: it is reported with a warning, every command
// still runs and says what waits, changes to other packages go on, and the first
// command after the fault finishes it. Folders an app made read-only go with the
// version they belong to; one that cannot go yet waits the same way.
TEST_F(DeviceTool, UnfinishedChangesWaitForTheNextCommand) {
    vt::PackageSpec other = toolPackage("1.0.0");
    other.pkgId = other.apps[0].appId = "org.example.other";
    const std::string v1 = folder("1", toolPackage("1.0.0")),
                      v2 = folder("2", toolPackage("2.0.0")),
                      root = device::packageDir(mDev, "org.example.tool"),
                      entry = mDev + "/var/lib/packages/org.example.tool",
                      old = device::packagesDir(mDev) + ".old-org.example.tool",
                      retry = "; the next command tries again";
    auto listing = [](const Words& packages) {
        std::string text;
        for (const std::string& p : packages)
            text += p + "\n    " + p.substr(0, p.find(' ')) +
                    "  ui-application  bin/probe  \"Tool Probe\"\n";
        return text;
    };
    ASSERT_EQ(run("install " + v1).status, 0);
    // The record step fails, as on a full disk: a folder holds the entry's place.
    unlink(entry.c_str()), mkdir(entry.c_str(), 0755);
    const std::string waits =
        err("warning: the install of org.example.tool is not finished: cannot record "
            "org.example.tool in the package database: Is a directory" +
            retry);
    EXPECT_EQ(said(run("install " + v2)),
              Said(0, "installed org.example.tool 2.0.0 (replaced 1.0.0)\n", waits));
    EXPECT_EQ(said(run("install " + folder("other", other))),
              Said(0, "installed org.example.other 1.0.0\n", waits));
    const std::string both = listing({"org.example.other 1.0.0", "org.example.tool 2.0.0"});
    EXPECT_EQ(said(run("list")), Said(0, both, waits));
    rmdir(entry.c_str());
    EXPECT_EQ(said(run("list")), Said(0, both, ""));

    // Without the power to override modes and owners, as an app's own user would be.
    if (geteuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
    const Words limited = {"/usr/bin/setpriv",
                           "--bounding-set=-dac_override,-dac_read_search,-fowner"};
    for (const char* ro : {"data/ro", "cache/ro"}) {
        vt::writeFile(root + ro + "/file", "");
        chmod((root + ro).c_str(), 0555);
    }
    ASSERT_EQ(lchown((root + "cache/ro").c_str(), 65534, 65534), 0);
    EXPECT_EQ(said(run("install " + v1, {}, limited)),
              Said(0, "installed org.example.tool 1.0.0 (replaced 2.0.0)\n",
                   err("warning: cannot remove " + old + ": Permission denied" + retry)));
    ASSERT_EQ(lchown((old + "/cache/ro").c_str(), 0, 0), 0);
    EXPECT_EQ(said(run("list", {}, limited)),
              Said(0, listing({"org.example.other 1.0.0", "org.example.tool 1.0.0"}), ""));
    EXPECT_FALSE(vt::exists(old));
    EXPECT_EQ(said(run("uninstall org.example.tool", {}, limited)),
              Said(0, "uninstalled org.example.tool\n", ""));
    EXPECT_EQ(packageFolders(mDev), "org.example.other ");
}

// A running app that reads no control messages (no FIFO, or a link in its place) is ended
// by SIGTERM. A pid file left by an app killed outright names whatever process has that
// pid now: it is removed, and that process left alone. An upgrade, and an uninstall,
// first end the package's running app, so the next launch runs what is installed.
TEST_F(DeviceTool, TerminateEndsOnlyARunningApp) {
    using Self = std::remove_pointer_t<decltype(this)>;
    vt::PackageSpec ui = toolPackage("1.0.0");
    ui.apps[0].exec = "vornix";  // a UI app: it runs until it is ended
    ui.copies["bin/vornix"] = vt::binaryDir() + "/vornix";
    const std::string v1 = folder("1", ui), v2 = folder("2", (ui.version = "2.0.0", ui));
    struct Change {
        Self* t;
        std::string command;
        vt::ProcessResult r;
        int left;  // the app's pid once the change is done
    };
    for (const std::string& command : Words{"install " + v2, "uninstall org.example.tool"}) {
        Change c{this, command, {}, -1};
        ASSERT_EQ(run("install " + v1).status, 0);
        vt::ProcessResult app = tool(
            mDev + " launch org.example.tool",
            {"ELM_ENGINE=buffer", "ECORE_NO_SYSTEM_MODULES=1", "VORNIX_DLOG_STDERR=0"}, {},
            [](int, void* data) {
                auto* c = static_cast<Change*>(data);
                devkit::waitFor(
                    [c] { return device::runningPid(c->t->mDev, "org.example.tool") != 0; }, 20000);
                c->r = c->t->run(c->command);
                c->left = device::runningPid(c->t->mDev, "org.example.tool");
            },
            &c);
        EXPECT_EQ(c.r.status, 0) << command << c.r.err;
        EXPECT_EQ(c.left, 0) << command;
        EXPECT_EQ(app.status, 0) << command;
    }
    vt::ProcessResult r = vt::runProcess(
        {"/bin/sleep", "100"}, {}, "", 60000,
        [](int pid, void* self) {
            auto* t = static_cast<Self*>(self);
            t->announce(pid, true);
            EXPECT_EQ(said(t->run("terminate org.example.tool")),
                      Said(1, "", err("org.example.tool is not running")));
            EXPECT_FALSE(vt::exists(device::pidFile(t->mDev, "org.example.tool")));
            t->announce(pid);
            const std::string victim = t->mTmp.path() + "/victim";
            vt::writeFile(victim, "mine");
            symlink(victim.c_str(), device::controlFifo(t->mDev, "org.example.tool").c_str());
            EXPECT_EQ(said(t->run("resume org.example.tool")),
                      Said(1, "", err("org.example.tool reads no control messages")));
            EXPECT_EQ(said(t->run("terminate org.example.tool")), Said(0, "", ""));
            EXPECT_EQ(vt::readFile(victim), "mine");
        },
        this);
    EXPECT_EQ(r.signal, SIGTERM);
}

}  // namespace
