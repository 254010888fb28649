// SPDX-License-Identifier: Apache-2.0
// Version: parsing, ordering, text form, value semantics and the file reader.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "TestDevice.h"
#include "Version.h"

namespace {

int sign(int v) { return (v > 0) - (v < 0); }

TEST(VersionTest, ParsesTextIntoComponentsAndRemainder) {
    const struct {
        const char* text;
        const char* shown;    // toString()
        const char* numbers;  // the same components and no remainder; "": no components
        bool hasRemainder;
    } cases[] = {
        // clang-format off
        {"2.0.0", "2.0.0", "2.0.0", false},        {"2.0.0-beta", "2.0.0-beta", "2.0.0", true},
        {"2.0.0beta", "2.0.0-beta", "2.0.0", true}, {"2-0-0", "2.0.0", "2.0.0", false},
        {"V2", "-V2", "", true},                    {"", "", "", false},
        {"2.0.0\r\n", "2.0.0", "2.0.0", false},    {"2.0.0 ", "2.0.0- ", "2.0.0", true},
        {"2.0.0-rc 1\n\r\n", "2.0.0-rc 1", "2.0.0", true},
        {"\r\n", "", "", false},                    {"2..5", "2-.5", "2", true},
        {"2.", "2", "2", false},                    {"2-", "2", "2", false},
        {"2. 5", "2.5", "2.5", false},              {"2 5", "2.5", "2.5", false},
        {"  7", "7", "7", false},                   {"2 a", "2- a", "2", true},
        {"1.2.3.4.5.6.7.8.9.10.11.12", "1.2.3.4.5.6.7.8.9.10-11.12", "1.2.3.4.5.6.7.8.9.10", true},
        {"1.2.3.4.5.6.7.8.9.10", "1.2.3.4.5.6.7.8.9.10", "1.2.3.4.5.6.7.8.9.10", false},
        {"99999999999", "2147483647", "2147483647", false},
        {"-99999999999", "-2147483648", "-2147483648", false},
        {"-1", "-1", "-1", false},                  {"-1.-2", "-1.-2", "-1.-2", false},
        {"+3", "3", "3", false},                    {"1.+2", "1.2", "1.2", false},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("text \"") + c.text + "\"");
        Version v(c.text), numbers(c.numbers);
        EXPECT_STREQ(c.shown, v.toString());
        EXPECT_EQ(*c.numbers == '\0', v.empty());
        EXPECT_EQ(0, v.compare(numbers, false));
        EXPECT_EQ(c.hasRemainder ? 1 : 0, sign(v.compare(numbers, true)));
        std::string s = c.text;
        Version fromString(s);
        EXPECT_STREQ(c.shown, fromString.toString());
        EXPECT_EQ(0, fromString.compare(v, true));
    }
}

// Signs both ways; where nothing overflows, the value is the difference of the deciding
// pair (a missing component counts as -1).
TEST(VersionTest, OrdersBothWays) {
    const int kAny = 12345;  // only the sign is fixed
    const struct {
        const char *lhs, *rhs;
        bool checkRemainder;
        int sign, value;
    } cases[] = {
        // clang-format off
        {"2.0", "2.0.0", true, -1, -1},         {"2.0", "2.0.0", false, -1, kAny},
        {"10.0", "9.9", true, 1, kAny},         {"2.0.0", "2.0.0-beta", true, -1, -'b'},
        {"2.0.0", "2.0.0-beta", false, 0, kAny}, {"2.0.0-a", "2.0.0-b", true, -1, kAny},
        {"2.0.0-a", "2.0.0-b", false, 0, kAny}, {"2.0.0-beta", "2.0.0-beta", true, 0, kAny},
        {"V2", "2.0.0", true, -1, kAny},        {"V2", "2.0.0", false, -1, kAny},
        {"-1", "", true, 0, 0},                 {"-1", "V2", false, 0, kAny},
        {"-1", "V2", true, 0, kAny},  // the missing component decides, even when equal
        {"2.0.0", "2.0.0", true, 0, kAny},      {"1.9.9", "2", true, -1, kAny},
        {"2.0.0-\xff", "2.0.0-a", true, 1, kAny},  // remainder bytes compare unsigned
        {"2147483647", "-1", true, 1, kAny},    {"-2147483648", "1", true, -1, kAny},
        {"2147483647", "", true, 1, kAny},      {"-2147483648", "", true, -1, kAny},
        {"", "-2147483648", true, 1, kAny},     {"1.-2147483648", "1", true, -1, kAny},
        {"1.-2147483648", "1.2147483647", false, -1, kAny},
        {"99999999999", "-99999999999", false, 1, kAny},
        {"3", "1", true, 1, 2},                 {"2.0.5", "2.0", true, 1, 6},
        {"2.0", "2.0.5", false, -1, -6},        {"", "5", true, -1, -6},
        {"5", "", false, 1, 6},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.lhs) + " vs " + c.rhs + (c.checkRemainder ? " (rem)" : ""));
        Version a(c.lhs), b(c.rhs);
        EXPECT_EQ(c.sign, sign(a.compare(b, c.checkRemainder)));
        EXPECT_EQ(-c.sign, sign(b.compare(a, c.checkRemainder)));
        if (c.value != kAny) {
            EXPECT_EQ(c.value, a.compare(b, c.checkRemainder));
            EXPECT_EQ(-c.value, b.compare(a, c.checkRemainder));
        }
        if (!c.checkRemainder) continue;
        EXPECT_EQ(c.sign < 0, (a < b));
        EXPECT_EQ(c.sign > 0, (a > b));
        EXPECT_EQ(c.sign > 0, (b < a));
        EXPECT_EQ(c.sign < 0, (b > a));
    }
}

TEST(VersionTest, TextFormKeepsAtMost31Characters) {
    const std::string rem = "1-abcdefghijklmnopqrstuvwxyz0123456789", x40(40, 'x');
    const std::pair<std::string, std::string> cases[] = {
        {"1000000000.2000000000.1000000000.4", "1000000000.2000000000.1000000000.4"},
        {rem, rem},
        {"-" + x40, "--" + x40},
        {"1.2.3.4.5.6.7.8.9.10.11.12.13.14", "1.2.3.4.5.6.7.8.9.10-11.12.13.14"},
        {"1000000000.2000000000.100000000", "1000000000.2000000000.100000000"},  // exactly 31
    };
    for (const auto& [text, full] : cases) {
        SCOPED_TRACE(text);
        // On the heap, so that a write past the object is caught by the sanitizer build.
        auto v = std::make_unique<Version>(text.c_str());
        std::string first(v->toString());
        EXPECT_EQ(full.substr(0, 31), first);
        EXPECT_EQ(first, v->toString());
        EXPECT_EQ(first, static_cast<const char*>(*v));  // the conversions give the same
        EXPECT_EQ(first, static_cast<char*>(*v));
    }
}

TEST(VersionTest, CopiesKeepTheWholeRemainderAndAreIndependent) {
    const std::string text = "1.2-" + std::string(40, 'r') + "A";
    // Equal to `text`, and before a version that differs past the 31 shown characters.
    auto holdsText = [&](const Version& v) {
        Version later((text.substr(0, text.size() - 1) + "B").c_str());
        return v.compare(Version(text.c_str()), true) == 0 && v.compare(later, true) < 0;
    };
    Version original(text.c_str()), copy(original), assigned("9"), other("4.5-x");
    EXPECT_TRUE(holdsText(copy));
    EXPECT_STREQ(original.toString(), copy.toString());
    assigned = original;
    EXPECT_TRUE(holdsText(assigned));
    Version& self = assigned;
    assigned = self;
    EXPECT_TRUE(holdsText(assigned));
    copy = Version("3");
    EXPECT_STREQ("3", copy.toString());
    EXPECT_TRUE(holdsText(original));
    swap(original, other);
    EXPECT_STREQ("4.5-x", original.toString());
    EXPECT_TRUE(holdsText(other));

    Version none, noneCopy(none), remainderOnly("V2"), remainderCopy(remainderOnly);
    EXPECT_TRUE(none.empty() && noneCopy.empty() && remainderCopy.empty());
    EXPECT_STREQ("", none.toString());
    EXPECT_EQ(0, none.compare(Version(""), true));
    EXPECT_EQ(0, noneCopy.compare(none, true));
    EXPECT_STREQ("-V2", remainderCopy.toString());
}

// The first line, or an empty version and one log line (with the host's tag).
TEST(VersionTest, CreateFromFile) {
    vt::TestDevice device;
    device.install(vt::hostPackage());
    device.activate("org.example.host");
    const std::string dir = vt::makeTempDir("vornix-version");
    const struct {
        const char* file;
        const char* content;  // null: not written
        const char* shown;
        bool empty;
        const char* reason;  // null: nothing logged; "": whatever errno says
    } cases[] = {
        // clang-format off
        {"a", "2.1.3\n", "2.1.3", false, nullptr},  {"b", "2.1.3", "2.1.3", false, nullptr},
        {"c", "2.1.3\r\nmore\n4.5\n", "2.1.3", false, nullptr},
        {"d", "\n2.0\n", "", true, nullptr},         {"e", "beta\n2.0", "-beta", true, nullptr},
        {"f", "2.0.0 \n", "2.0.0- ", false, nullptr},
        {"missing", nullptr, "", true, "No such file or directory"},
        {"zero", "", "", true, ""},
        {"", nullptr, "", true, "is a directory, not a regular file"},  // the folder
        // Neither waits for a writer nor reads without end.
        {"fifo", nullptr, "", true, "not a regular file"},
        {"endless", nullptr, "", true, "not a regular file"},
        // clang-format on
    };
    mkfifo((dir + "/fifo").c_str(), 0600);
    symlink("/dev/zero", (dir + "/endless").c_str());
    for (const auto& c : cases) {
        std::string path = *c.file ? dir + "/" + c.file : dir;
        SCOPED_TRACE(path);
        if (c.content) vt::writeFile(path, c.content);
        vt::LogCapture log;
        Version v = Version::createFromFile(path);
        EXPECT_STREQ(c.shown, v.toString());
        EXPECT_EQ(c.empty, v.empty());
        std::vector<std::string> lines = log.lines();
        EXPECT_EQ(c.reason ? 1u : 0u, lines.size());
        if (!c.reason || lines.empty()) continue;
        std::string msg = "No version found in " + path + ", err: ";
        std::string expected =
            vt::withoutPid(vt::logLine('E', "Host_App", "src/Version.cpp", "createFromFile", msg));
        std::string got = vt::withoutPid(lines[0]);
        EXPECT_EQ(expected + c.reason, *c.reason ? got : got.substr(0, expected.size()));
    }
    vt::removeTree(dir);
    unsetenv("VORNIX_DEVICE");
    unsetenv("VORNIX_APP_ID");
}

}  // namespace
