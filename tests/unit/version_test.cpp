// Version: parsing, ordering, text form, value semantics and the file reader.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "TestDevice.h"
#include "Version.h"

namespace {

int sign(int v) { return (v > 0) - (v < 0); }

// Log lines compared without the pid field, whatever its width.
std::string noPid(const std::string& line) {
    size_t open = line.find('(');
    size_t close = line.find("): ", open);
    if (open == std::string::npos || close == std::string::npos) return line;
    return line.substr(0, open + 1) + line.substr(close);
}

// Runs as the host app so that log lines carry the tag "Host_App".
struct HostContext {
    vt::TestDevice device;
    HostContext() {
        device.install(vt::hostPackage("Host App"));
        device.activate("org.example.host");
    }
    ~HostContext() {
        unsetenv("VORNIX_DEVICE");
        unsetenv("VORNIX_APP_ID");
    }
};

struct ParseCase {
    const char* text;
    const char* shown;    // toString()
    bool empty;           // no components
    const char* numbers;  // a version with the same components and no remainder
    bool hasRemainder;
};

const ParseCase kParseCases[] = {
    {"2.0.0", "2.0.0", false, "2.0.0", false},
    {"2.0.0-beta", "2.0.0-beta", false, "2.0.0", true},
    {"2.0.0beta", "2.0.0-beta", false, "2.0.0", true},
    {"2-0-0", "2.0.0", false, "2.0.0", false},
    {"V2", "-V2", true, "", true},
    {"", "", true, "", false},
    {"2.0.0\r\n", "2.0.0", false, "2.0.0", false},
    {"2.0.0 ", "2.0.0- ", false, "2.0.0", true},
    {"2.0.0-rc 1\n\r\n", "2.0.0-rc 1", false, "2.0.0", true},
    {"\r\n", "", true, "", false},
    {"2..5", "2-.5", false, "2", true},
    {"2.", "2", false, "2", false},
    {"2-", "2", false, "2", false},
    {"2. 5", "2.5", false, "2.5", false},
    {"2 5", "2.5", false, "2.5", false},
    {"  7", "7", false, "7", false},
    {"2 a", "2- a", false, "2", true},
    {"1.2.3.4.5.6.7.8.9.10.11.12", "1.2.3.4.5.6.7.8.9.10-11.12", false, "1.2.3.4.5.6.7.8.9.10",
     true},
    {"1.2.3.4.5.6.7.8.9.10", "1.2.3.4.5.6.7.8.9.10", false, "1.2.3.4.5.6.7.8.9.10", false},
    {"99999999999", "2147483647", false, "2147483647", false},
    {"-99999999999", "-2147483648", false, "-2147483648", false},
    {"-1", "-1", false, "-1", false},
    {"-1.-2", "-1.-2", false, "-1.-2", false},
    {"+3", "3", false, "3", false},
    {"1.+2", "1.2", false, "1.2", false},
};

TEST(VersionTest, ParsesTextIntoComponentsAndRemainder) {
    for (const ParseCase& c : kParseCases) {
        SCOPED_TRACE(std::string("text \"") + c.text + "\"");
        Version v(c.text);
        EXPECT_STREQ(c.shown, v.toString());
        EXPECT_EQ(c.empty, v.empty());
        Version numbers(c.numbers);
        EXPECT_EQ(0, v.compare(numbers, false));
        EXPECT_EQ(c.hasRemainder ? 1 : 0, sign(v.compare(numbers, true)));

        std::string s = c.text;
        Version fromString(s);
        EXPECT_STREQ(c.shown, fromString.toString());
        EXPECT_EQ(0, fromString.compare(v, true));
    }
}

TEST(VersionTest, DefaultVersionIsEmpty) {
    Version v;
    EXPECT_TRUE(v.empty());
    EXPECT_STREQ("", v.toString());
    EXPECT_EQ(0, v.compare(Version(""), true));
}

struct OrderCase {
    const char* lhs;
    const char* rhs;
    bool checkRemainder;
    int sign;  // of lhs.compare(rhs)
};

const OrderCase kOrderCases[] = {
    {"2.0", "2.0.0", true, -1},
    {"2.0", "2.0.0", false, -1},
    {"10.0", "9.9", true, 1},
    {"2.0.0", "2.0.0-beta", true, -1},
    {"2.0.0", "2.0.0-beta", false, 0},
    {"2.0.0-a", "2.0.0-b", true, -1},
    {"2.0.0-a", "2.0.0-b", false, 0},
    {"2.0.0-beta", "2.0.0-beta", true, 0},
    {"V2", "2.0.0", true, -1},
    {"V2", "2.0.0", false, -1},
    {"-1", "", true, 0},
    {"-1", "V2", false, 0},
    {"-1", "V2", true, 0},  // the missing component decides, even when equal
    {"2.0.0", "2.0.0", true, 0},
    {"1.9.9", "2", true, -1},
    {"2.0.0-\xff", "2.0.0-a", true, 1},  // remainder bytes compare unsigned
    {"2147483647", "-1", true, 1},
    {"-2147483648", "1", true, -1},
    {"2147483647", "", true, 1},
    {"-2147483648", "", true, -1},
    {"", "-2147483648", true, 1},
    {"1.-2147483648", "1", true, -1},
    {"1.-2147483648", "1.2147483647", false, -1},
    {"99999999999", "-99999999999", false, 1},
};

TEST(VersionTest, OrdersBothWays) {
    for (const OrderCase& c : kOrderCases) {
        SCOPED_TRACE(std::string(c.lhs) + " vs " + c.rhs + (c.checkRemainder ? " (rem)" : ""));
        Version a(c.lhs), b(c.rhs);
        EXPECT_EQ(c.sign, sign(a.compare(b, c.checkRemainder)));
        EXPECT_EQ(-c.sign, sign(b.compare(a, c.checkRemainder)));
        if (c.checkRemainder) {
            EXPECT_EQ(c.sign < 0, (a < b));
            EXPECT_EQ(c.sign > 0, (a > b));
            EXPECT_EQ(c.sign > 0, (b < a));
            EXPECT_EQ(c.sign < 0, (b > a));
        }
    }
}

// Where nothing overflows, the result is the difference of the deciding pair.
TEST(VersionTest, CompareGivesTheDecidingDifference) {
    const struct {
        const char* lhs;
        const char* rhs;
        bool checkRemainder;
        int value;
    } cases[] = {
        {"3", "1", true, 2},
        {"1", "3", true, -2},
        {"2.0", "2.0.0", true, -1},  // missing component counts as -1: -(0) - 1
        {"2.0.5", "2.0", true, 6},   // 5 + 1
        {"2.0", "2.0.5", false, -6},
        {"", "5", true, -6},
        {"5", "", false, 6},
        {"2.0.0", "2.0.0-beta", true, -'b'},
        {"2.0.0-beta", "2.0.0", true, 'b'},
        {"-1", "", true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.lhs) + " vs " + c.rhs);
        EXPECT_EQ(c.value, Version(c.lhs).compare(Version(c.rhs), c.checkRemainder));
    }
}

TEST(VersionTest, TextFormKeepsAtMost31Characters) {
    const std::string longRemainder = "1-abcdefghijklmnopqrstuvwxyz0123456789";
    const struct {
        std::string text;
        std::string full;
    } cases[] = {
        {"1000000000.2000000000.1000000000.4", "1000000000.2000000000.1000000000.4"},
        {longRemainder, longRemainder},
        {"-" + std::string(40, 'x'), "--" + std::string(40, 'x')},
        {"1.2.3.4.5.6.7.8.9.10.11.12.13.14", "1.2.3.4.5.6.7.8.9.10-11.12.13.14"},
        {"1000000000.2000000000.100000000", "1000000000.2000000000.100000000"},  // exactly 31
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        // On the heap, so that a write past the object is caught by the sanitizer build.
        auto v = std::make_unique<Version>(c.text.c_str());
        std::string first(v->toString());
        EXPECT_EQ(c.full.substr(0, 31), first);
        EXPECT_EQ(first, v->toString());  // a second call gives the same text
    }
}

TEST(VersionTest, CopiesKeepTheWholeRemainderAndAreIndependent) {
    const std::string stem = "1.2-" + std::string(40, 'r');
    const std::string text = stem + "A";
    const Version later((stem + "B").c_str());

    Version original(text.c_str());
    Version copy(original);
    EXPECT_EQ(0, copy.compare(original, true));
    EXPECT_LT(copy.compare(later, true), 0);  // decided past the 31 shown characters
    EXPECT_STREQ(original.toString(), copy.toString());

    Version assigned("9");
    assigned = original;
    EXPECT_EQ(0, assigned.compare(original, true));
    EXPECT_LT(assigned.compare(later, true), 0);

    Version& self = assigned;
    assigned = self;  // self-assignment keeps the value
    EXPECT_EQ(0, assigned.compare(original, true));
    EXPECT_LT(assigned.compare(later, true), 0);

    copy = Version("3");
    EXPECT_STREQ("3", copy.toString());
    EXPECT_EQ(0, original.compare(Version(text.c_str()), true));

    Version other("4.5-x");
    swap(original, other);
    EXPECT_STREQ("4.5-x", original.toString());
    EXPECT_EQ(0, other.compare(Version(text.c_str()), true));
    EXPECT_LT(other.compare(later, true), 0);

    Version none;
    Version noneCopy(none);
    EXPECT_TRUE(noneCopy.empty());
    EXPECT_EQ(0, noneCopy.compare(none, true));
    Version remainderOnly("V2");
    Version remainderCopy(remainderOnly);
    EXPECT_TRUE(remainderCopy.empty());
    EXPECT_STREQ("-V2", remainderCopy.toString());
}

TEST(VersionTest, CreateFromFileReadsTheFirstLine) {
    HostContext host;
    const std::string dir = vt::makeTempDir("vornix-version");
    const struct {
        const char* content;
        const char* shown;
        bool empty;
    } cases[] = {
        {"2.1.3\n", "2.1.3", false},
        {"2.1.3", "2.1.3", false},
        {"2.1.3\r\nmore\n4.5\n", "2.1.3", false},
        {"\n2.0\n", "", true},
        {"beta\n2.0", "-beta", true},
        {"2.0.0 \n", "2.0.0- ", false},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        std::string path = dir + "/version" + std::to_string(n++);
        vt::writeFile(path, c.content);
        vt::LogCapture log;
        Version v = Version::createFromFile(path);
        EXPECT_STREQ(c.shown, v.toString());
        EXPECT_EQ(c.empty, v.empty());
        EXPECT_TRUE(log.lines().empty());
    }
    vt::removeTree(dir);
}

TEST(VersionTest, CreateFromFileLogsWhenNoLineCanBeRead) {
    HostContext host;
    const std::string dir = vt::makeTempDir("vornix-version");
    const std::string missing = dir + "/missing";
    const std::string zero = dir + "/zero";
    vt::writeFile(zero, "");
    const struct {
        std::string path;
        const char* reason;  // null: whatever errno says
    } cases[] = {{missing, "No such file or directory"}, {zero, nullptr}, {dir, nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string path = c.path;
        vt::LogCapture log;
        Version v = Version::createFromFile(path);
        EXPECT_TRUE(v.empty());
        EXPECT_STREQ("", v.toString());
        std::vector<std::string> lines = log.lines();
        ASSERT_EQ(1u, lines.size());
        std::string msg = "No version found in " + path + ", err: ";
        std::string expected = noPid(vt::logLine('E', "Host_App", "src/Version.cpp",
                                                 "createFromFile", "No version found in", msg));
        if (c.reason)
            EXPECT_EQ(expected + c.reason, noPid(lines[0]));
        else
            EXPECT_EQ(expected, noPid(lines[0]).substr(0, expected.size()));
    }
    vt::removeTree(dir);
}

}  // namespace
