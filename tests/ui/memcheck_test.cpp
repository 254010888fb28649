// SPDX-License-Identifier: Apache-2.0
// One full run of the launcher's UI road under valgrind's memcheck.
#include <dlfcn.h>
#include <unistd.h>

#include <regex>
#include <sstream>

#include "UiHarness.h"
#include "devkit.h"

namespace {

struct Driver {
    std::string dev, snapshot;
};

// Waits for each step's effect before the next: the form drawn, the store request sent.
void drive(int, void* data) {
    auto* d = static_cast<Driver*>(data);
    auto waitFor = [](const std::function<bool()>& ready) { devkit::waitFor(ready, 120000, 100); };
    waitFor([d] { return vt::exists(d->snapshot + ".txt"); });
    device::sendControl(d->dev, ui::kHostId, "tap Download");
    std::string journal = device::journalFile(d->dev);
    waitFor([&] { return vt::readFile(journal).find("tizenstore") != std::string::npos; });
    device::sendControl(d->dev, ui::kHostId, "key XF86Back");
}

TEST(Memcheck, UiRoadHasNoInvalidAccessOrDefiniteLeakInProjectCode) {
    if (dlsym(RTLD_DEFAULT, "__asan_init")) GTEST_SKIP() << "memcheck cannot run a sanitized build";
    if (access("/usr/bin/valgrind", X_OK) != 0) GTEST_SKIP() << "valgrind is not installed";
    std::string launcher = vt::binaryDir() + "/vornix";
    if (access(launcher.c_str(), X_OK) != 0) GTEST_SKIP() << "no launcher built";

    vt::TestDevice dev;
    ui::installHost(dev, ui::Host());
    std::string tmp = vt::makeTempDir("vornix-memcheck");
    Driver d{dev.path(), tmp + "/shown"};
    std::string report = tmp + "/memcheck.txt";
    std::vector<std::string> env = dev.env(ui::kHostId);
    env.push_back("VORNIX_SNAPSHOT=" + d.snapshot);
    env.push_back("EINA_LOG_LEVEL=0");
    vt::ProcessResult r = vt::runProcess(
        {"/usr/bin/valgrind", "--tool=memcheck", "--leak-check=full", "--show-leak-kinds=definite",
         "--num-callers=40", "--fullpath-after=" + vt::sourceDir() + "/", "--log-file=" + report,
         launcher},
        env, "", 110000, drive, &d);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(0, r.status) << r.err;
    std::string text = vt::readFile(report);
    vt::removeTree(tmp);
    ASSERT_NE(std::string::npos, text.find("ERROR SUMMARY")) << text;
    EXPECT_NE(std::string::npos, dev.journal().find("uri=tizenstore://ProductDetail/QOR111TBNX"));

    // Valgrind's error blocks each end at a "==pid==" line with nothing after it. Frames of
    // the project's own code name their source folder. An invalid access counts when our
    // code is anywhere on its stack; a leak when our code made the allocation (the first
    // frame past the allocator), not when the toolkit leaks below our calls.
    std::regex blank("^==\\d+== ?$"), ours("\\((src|inc|platform|qor-service)/[^:]+:\\d+\\)");
    std::regex allocFn(
        ": (malloc|calloc|realloc|strn?dup|operator "
        "new(\\[\\])?\\(.*\\)|aligned_alloc|posix_memalign) \\(");
    std::regex frame("^==\\d+==\\s+(at|by) 0x[0-9A-F]+: .*$");
    std::istringstream in(text + "==0==\n");
    std::string l, block;
    while (std::getline(in, l)) {
        if (!std::regex_match(l, blank)) {
            block += l + "\n";
            continue;
        }
        bool bad = block.find("Invalid read") != std::string::npos ||
                   block.find("Invalid write") != std::string::npos;
        if (bad && std::regex_search(block, ours)) ADD_FAILURE() << "invalid access\n" << block;
        std::istringstream frames(block.find("definitely lost") != std::string::npos ? block : "");
        while (std::getline(frames, l)) {
            if (!std::regex_match(l, frame) || std::regex_search(l, allocFn) ||
                l.find("vgpreload") != std::string::npos)
                continue;
            if (std::regex_search(l, ours)) ADD_FAILURE() << "definite leak\n" << block;
            break;
        }
        block.clear();
    }
}

}  // namespace
