// One full run of the launcher's UI road under valgrind's memcheck.
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "UiHarness.h"
#include "device.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
const bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
const bool kSanitized = true;
#else
const bool kSanitized = false;
#endif
#else
const bool kSanitized = false;
#endif

// Valgrind's error blocks: each starts with a "==pid== <kind>" line and ends at a blank one.
std::vector<std::string> blocks(const std::string& report) {
    std::vector<std::string> out;
    std::istringstream in(report);
    std::string l, cur;
    std::regex blank("^==\\d+== ?$");
    while (std::getline(in, l)) {
        if (std::regex_match(l, blank)) {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur += l + "\n";
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

struct Driver {
    std::string dev;
    std::string snapshot;
};

// Waits for each step's effect before the next: the form drawn, the store request sent.
void drive(int, void* data) {
    auto* d = static_cast<Driver*>(data);
    auto waitFor = [](const std::function<bool()>& ready) {
        for (int i = 0; i < 1200 && !ready(); ++i) usleep(100 * 1000);
    };
    waitFor([d] { return vt::exists(d->snapshot + ".txt"); });
    device::sendControl(d->dev, ui::kHostId, "tap Download");
    std::string journal = device::journalFile(d->dev);
    waitFor([&] { return vt::readFile(journal).find("tizenstore") != std::string::npos; });
    device::sendControl(d->dev, ui::kHostId, "key XF86Back");
}

TEST(Memcheck, UiRoadHasNoInvalidAccessOrDefiniteLeakInProjectCode) {
    if (kSanitized) GTEST_SKIP() << "memcheck cannot run a sanitized build";
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
    ASSERT_NE(std::string::npos, text.find("ERROR SUMMARY")) << text;
    EXPECT_NE(std::string::npos, dev.journal().find("uri=tizenstore://ProductDetail/QOR111TBNX"));

    // Frames of the project's own code name their source folder. An invalid access counts
    // when our code is anywhere on its stack; a leak when our code made the allocation
    // (the first frame past the allocator), not when the toolkit leaks below our calls.
    std::regex ours("\\((src|inc|platform|qor-service)/[^:]+:\\d+\\)");
    std::regex allocFn(
        ": (malloc|calloc|realloc|strn?dup|operator "
        "new(\\[\\])?\\(.*\\)|aligned_alloc|posix_memalign) \\(");
    std::regex frame("^==\\d+==\\s+(at|by) 0x[0-9A-F]+: .*$");
    int invalid = 0, lost = 0;
    for (const std::string& b : blocks(text)) {
        bool bad = b.find("Invalid read") != std::string::npos ||
                   b.find("Invalid write") != std::string::npos;
        if (bad && std::regex_search(b, ours)) {
            ADD_FAILURE() << b;
            ++invalid;
        }
        if (b.find("definitely lost") == std::string::npos) continue;
        std::istringstream in(b);
        std::string l;
        while (std::getline(in, l)) {
            if (!std::regex_match(l, frame)) continue;
            bool allocator =
                std::regex_search(l, allocFn) || l.find("vgpreload") != std::string::npos;
            if (allocator) continue;
            if (std::regex_search(l, ours)) {
                ADD_FAILURE() << b;
                ++lost;
            }
            break;
        }
    }
    EXPECT_EQ(0, invalid);
    EXPECT_EQ(0, lost);
    vt::removeTree(tmp);
}

}  // namespace
