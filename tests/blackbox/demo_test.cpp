// SPDX-License-Identifier: Apache-2.0
// The README's main command on a throw-away device folder, so the story cannot rot:
// besides demo.sh's own checks, what it leaves behind is checked here.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestDevice.h"
#include "devkit.h"

namespace {

vt::ProcessResult demo(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"/bin/bash", vt::sourceDir() + "/demo.sh", "--no-build",
                                  "--build", vt::binaryDir()};
    argv.insert(argv.end(), args.begin(), args.end());
    return vt::runProcess(argv, {"DISPLAY=", "WAYLAND_DISPLAY="}, "", 100000);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(Demo, TheStoryRunsAsTold) {
    std::string tmp = vt::makeTempDir("vornix-demo");
    std::string dev = tmp + "/dev", out = tmp + "/out";
    vt::ProcessResult r = demo({"--device", dev, "--out", out});
    ASSERT_FALSE(r.timedOut) << r.out << r.err;
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    for (const char* told :
         {"== 1. org.example.hello starts with no compatibility layer installed",
          "== 2. Download is pressed", "== 3. org.example.hello starts again",
          "== 4. With the old layer installed instead", "== The story ran as expected",
          "Invoking AppControl org.tizen.tizenstore, http://tizen.org/appcontrol/operation/view, "
          "uri=tizenstore://ProductDetail/QOR111TBNX",
          "I/TIZENSTORE", "Installed QOR111TBNX 2.2.0 from the store",
          "> QorApplication: argv[1]=[--exit=3]", "> QorApplication: argv[2]=[Hello, world]",
          "exit status: 3", "installed QOR111TBNX 2.0.5 (replaced 2.2.0)"})
        EXPECT_TRUE(contains(r.out, told)) << told << "\n" << r.out;

    // The two forms, as pictures and as widget listings.
    for (const char* form : {"form-install", "form-upgrade"}) {
        std::string png = vt::readFile(out + "/" + form + ".png");
        EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n") << form;
        EXPECT_TRUE(contains(r.out, out + "/" + form + ".png")) << form;
    }
    std::string install = vt::readFile(out + "/form-install.txt");
    EXPECT_TRUE(contains(install, "cell=10,87,35,5 style=default text=Download\n"));
    EXPECT_TRUE(contains(install, "cell=55,87,35,5 style=default text=Decline\n"));
    std::string upgrade = vt::readFile(out + "/form-upgrade.txt");
    EXPECT_TRUE(contains(upgrade, "cell=25,87,50,5 style=default text=Upgrade\n"));
    EXPECT_FALSE(contains(upgrade, "text=Download"));

    // The tap reached the store through the platform, and the marker is the device's.
    EXPECT_EQ(vt::readFile(device::mediaDir(dev) + ".qor-start"), "org.example.hello");
    std::string journal = vt::readFile(device::journalFile(dev));
    EXPECT_TRUE(contains(journal, "caller=org.example.hello target=org.tizen.tizenstore"));
    EXPECT_TRUE(contains(journal, "uri=tizenstore://ProductDetail/QOR111TBNX"));
    // The story ends with the old layer installed, and no app left running.
    device::Package layer;
    setenv("VORNIX_DEVICE", dev.c_str(), 1);
    ASSERT_EQ(device::findPackage("QOR111TBNX", &layer), device::OK);
    unsetenv("VORNIX_DEVICE");
    EXPECT_EQ(layer.version, "2.0.5");
    EXPECT_EQ(device::runningPid(dev, "org.example.hello"), 0);
    vt::removeTree(tmp);
}

TEST(Demo, LeavesAFolderThatIsNoDeviceAlone) {
    std::string tmp = vt::makeTempDir("vornix-demo");
    vt::writeFile(tmp + "/mine/notes.txt", "keep me");
    vt::ProcessResult r = demo({"--device", tmp + "/mine", "--out", tmp + "/out"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, tmp + "/mine exists and is not a device folder; not touching it"))
        << r.err;
    EXPECT_EQ(vt::readFile(tmp + "/mine/notes.txt"), "keep me");
    vt::removeTree(tmp);
}

}  // namespace
