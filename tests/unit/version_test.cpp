// SPDX-License-Identifier: Apache-2.0
// Version: parsing, ordering, text form and the file reader.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TestDevice.h"
#include "Version.h"

namespace {

int sign(int v) { return (v > 0) - (v < 0); }

TEST(VersionTest, ParsesTextIntoComponentsAndRemainder) {
    const struct {
        const char *text, *shown;  // shown: toString()
        const char* numbers;       // the same components and no remainder; "": no components
        bool hasRemainder;
    } cases[] = {
        // clang-format off
        {"2.0.0", "2.0.0", "2.0.0", false},        {"2.0.0-beta", "2.0.0-beta", "2.0.0", true},
        {"2.0.0beta", "2.0.0-beta", "2.0.0", true}, {"2-0-0", "2.0.0", "2.0.0", false},
        {"V2", "-V2", "", true},                    {"", "", "", false},
        {"2.0.0\r\n", "2.0.0", "2.0.0", false},    {"2.0.0 ", "2.0.0- ", "2.0.0", true},
        {"2..5", "2-.5", "2", true},                {"2-", "2", "2", false},
        {"2 5", "2.5", "2.5", false},              {"-1.-2", "-1.-2", "-1.-2", false},
        {"99999999999", "2147483647", "2147483647", false}, {"+3", "3", "3", false},
        // The text form keeps at most 31 characters.
        {"1.2.3.4.5.6.7.8.9.10.11.12.13.14", "1.2.3.4.5.6.7.8.9.10-11.12.13.1", "1.2.3.4.5.6.7.8.9.10", true},
        {"1-abcdefghijklmnopqrstuvwxyz0123456789", "1-abcdefghijklmnopqrstuvwxyz012", "1", true},
        {"1000000000.2000000000.100000000", "1000000000.2000000000.100000000", "1000000000.2000000000.100000000", false},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("text \"") + c.text + "\"");
        Version v(c.text), numbers(c.numbers);
        EXPECT_STREQ(c.shown, v.toString());
        EXPECT_EQ(*c.numbers == '\0', v.empty());
        EXPECT_EQ(0, v.compare(numbers, false));
        EXPECT_EQ(c.hasRemainder ? 1 : 0, sign(v.compare(numbers, true)));
    }
}

// Signs both ways (a missing component counts as -1).
TEST(VersionTest, OrdersBothWays) {
    const struct {
        const char *lhs, *rhs;
        bool checkRemainder;
        int sign;
    } cases[] = {
        // clang-format off
        {"2.0", "2.0.0", true, -1},         {"10.0", "9.9", true, 1},     {"2.0.0", "2.0.0-beta", true, -1},
        {"2.0.0", "2.0.0-beta", false, 0},  {"2.0.0-a", "2.0.0-b", true, -1}, {"V2", "2.0.0", false, -1},
        {"-1", "V2", true, 0},  // the missing component decides, even when equal
        {"2.0.0-\xff", "2.0.0-a", true, 1},  // remainder bytes compare unsigned
        {"2147483647", "-1", true, 1},      {"-2147483648", "", true, -1},
        {"1.-2147483648", "1.2147483647", false, -1}, {"2.0.5", "2.0", true, 1},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.lhs) + " vs " + c.rhs + (c.checkRemainder ? " (rem)" : ""));
        Version a(c.lhs), b(c.rhs);
        EXPECT_EQ(c.sign, sign(a.compare(b, c.checkRemainder)));
        EXPECT_EQ(-c.sign, sign(b.compare(a, c.checkRemainder)));
        if (!c.checkRemainder) continue;
        EXPECT_EQ(c.sign, (a > b) - (a < b));  // the operators check the remainder
    }
}

// The first line, or an empty version and one log line (with the host's tag). Neither
// waits for a writer nor reads without end.
TEST(VersionTest, CreateFromFile) {
    vt::TestDevice device;
    device.install(vt::hostPackage());
    device.activate("org.example.host");
    const std::string dir = device.path() + "/v/";
    vt::writeFile(dir + "a", "2.1.3\r\nmore\n4.5\n");
    vt::writeFile(dir + "b", "\n2.0\n");
    vt::writeFile(dir + "zero", "");
    mkfifo((dir + "fifo").c_str(), 0600);
    symlink("/dev/zero", (dir + "endless").c_str());
    const struct {
        const char *file, *shown, *reason;  // reason: null, nothing logged; "", whatever errno says
    } cases[] = {                           // clang-format off
        {"a", "2.1.3", nullptr}, {"b", "", nullptr}, {"missing", "", "No such file or directory"},
        {"zero", "", ""}, {"", "", "is a directory, not a regular file"},
        {"fifo", "", "not a regular file"}, {"endless", "", "not a regular file"}};
    // clang-format on
    for (const auto& c : cases) {
        std::string path = dir + c.file;
        SCOPED_TRACE(path);
        vt::LogCapture log;
        EXPECT_STREQ(c.shown, Version::createFromFile(path).toString());
        std::vector<std::string> lines = log.lines();
        EXPECT_EQ(c.reason ? 1u : 0u, lines.size());
        if (!c.reason || lines.size() != 1) continue;
        std::string want =
            vt::withoutPid(vt::logLine('E', "Host_App", "src/Version.cpp", "createFromFile",
                                       "No version found in " + path + ", err: "));
        EXPECT_EQ(want + c.reason,
                  vt::withoutPid(lines[0]).substr(0, *c.reason ? std::string::npos : want.size()));
    }
}

}  // namespace
