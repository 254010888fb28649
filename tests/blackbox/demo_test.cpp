// SPDX-License-Identifier: Apache-2.0
// The README's main command on a throw-away device folder, so the story cannot rot:
// besides demo.sh's own checks, what it leaves behind is checked here.
#include <gtest/gtest.h>

#include <string>

#include "TestDevice.h"

namespace {

TEST(Demo, TheStoryRunsAsTold) {
    vt::TestDevice tmp;  // a scratch folder, removed however the test ends
    const std::string dev = tmp.path() + "/dev", out = tmp.path() + "/out";
    vt::ProcessResult r = vt::runProcess(
        {"/bin/bash", vt::sourceDir() + "/demo.sh", "--no-build", "--build", vt::binaryDir(),
         "--launcher", vt::launcher(), "--device", dev, "--out", out},
        {"DISPLAY=", "WAYLAND_DISPLAY="}, "", 100000);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::pair<std::string, std::string> told[] = {
        {r.out,
         "Invoking AppControl org.tizen.tizenstore, http://tizen.org/appcontrol/operation/"
         "view, uri=tizenstore://ProductDetail/QOR111TBNX"},
        {r.out, "> QorApplication: argv[2]=[Hello, world]"},
        {r.out, "exit status: 3"},
        {r.out, "== The story ran as expected"},
        // The two forms as widget listings, and the tap's request as the platform saw it.
        {vt::readFile(out + "/form-install.txt"), "cell=55,87,35,5 style=default text=Decline\n"},
        {vt::readFile(out + "/form-upgrade.txt"), "cell=25,87,50,5 style=default text=Upgrade\n"},
        {vt::readFile(device::journalFile(dev)),
         "caller=org.example.hello target=org.tizen.tizenstore"},
    };
    for (const auto& [text, part] : told) EXPECT_NE(text.find(part), std::string::npos) << part;
    // The marker is the device's, and no app is left running.
    EXPECT_EQ(vt::readFile(device::mediaDir(dev) + ".qor-start"), "org.example.hello");
    EXPECT_EQ(device::runningPid(dev, "org.example.hello"), 0);
}

}  // namespace
