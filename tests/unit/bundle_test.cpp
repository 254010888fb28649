// The bundle service (bundle.h) and the Bundle wrapper with its walk.
#include <gtest/gtest.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Bundle.h"
#include "TestDevice.h"

using namespace std::string_literals;

namespace {

using Lines = std::vector<std::string>;
const int kSentinel = 4242;

// "<priority> <file>: <function>(<line>) > <message>": the tag depends on which app
// the process last ran as, so it is left out.
std::string body(const std::string& line) {
    size_t p = line.find("): ");
    return p == std::string::npos ? line : line.substr(0, 1) + " " + line.substr(p + 3);
}

std::string walkLine(char prio, const char* needle, const std::string& msg) {
    return body(vt::logLine(prio, "", "src/Bundle.cpp", "bundle_iterator_cb", needle, msg));
}

Lines captured(const vt::LogCapture& log) {
    Lines out;
    for (const std::string& l : log.lines())
        if (l.find("Bundle.cpp: ") != std::string::npos) out.push_back(body(l));
    return out;
}

using Entries = std::vector<std::pair<std::string, bundle_keyval_t*>>;

Entries entries(bundle* b) {
    Entries out;
    bundle_foreach(
        b,
        [](const char* key, int, const bundle_keyval_t* kv, void* d) {
            static_cast<Entries*>(d)->emplace_back(key, const_cast<bundle_keyval_t*>(kv));
        },
        &out);
    return out;
}

// Every entry as "<key>|<type>|<value>|<value>...", sizes included, in the bundle's order.
Lines dump(bundle* b) {
    Lines out;
    for (auto& [key, kv] : entries(b)) {
        void **vals = nullptr, *v = nullptr;
        unsigned int n = 0;
        size_t *sizes = nullptr, size = 0;
        out.push_back(key + "|" + std::to_string(bundle_keyval_get_type(kv)));
        if (bundle_keyval_get_array_val(kv, &vals, &n, &sizes) == 0)
            for (unsigned int i = 0; i < n; ++i)
                out.back() += "|" + std::string((char*)vals[i], sizes[i]);
        else if (bundle_keyval_get_basic_val(kv, &v, &size) == 0)
            out.back() += "|" + std::string((char*)v, size);
    }
    return out;
}

// The encoded layout built by hand: big-endian u32 fields, then base64.
struct Raw {
    std::string bytes = "VXB1";
    Raw& u32(uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) bytes += static_cast<char>(v >> s);
        return *this;
    }
    Raw& block(const std::string& s) {
        u32(s.size());
        return raw(s);
    }
    Raw& str(const std::string& k, const std::string& v) { return u32(1025).block(k).block(v); }
    Raw& raw(const std::string& s) {
        bytes += s;
        return *this;
    }
    std::string base64() const {
        const char* abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string out;
        for (size_t i = 0, n = bytes.size(); i < n; i += 3) {
            uint32_t v = (uint8_t)bytes[i] << 16 | (i + 1 < n ? (uint8_t)bytes[i + 1] << 8 : 0) |
                         (i + 2 < n ? (uint8_t)bytes[i + 2] : 0);
            out += {abc[v >> 18 & 63], abc[v >> 12 & 63], i + 1 < n ? abc[v >> 6 & 63] : '=',
                    i + 2 < n ? abc[v & 63] : '='};
        }
        return out;
    }
};

bundle* decode(const std::string& text) {
    return bundle_decode(reinterpret_cast<const bundle_raw*>(text.data()), text.size());
}

// One entry of each kind that bundle.h can add: "s", "a" (3 strings), "b" (4 bytes).
bundle* sample() {
    bundle* b = bundle_create();
    const char* arr[] = {"x", "yy", "zzz"};
    bundle_add_str(b, "s", "text");
    bundle_add_str_array(b, "a", arr, 3);
    bundle_add_byte(b, "b", "\x01\x00\x02\x03", 4);
    return b;
}

// Calls that answer with a return code (as `value`) leave the last result alone; the
// others set it. None changes the bundle.
TEST(BundleService, ReturnCodesAndLastResults) {
    const char* one[] = {"x"};
    const char* withNull[] = {"x", nullptr};
    char* s = nullptr;
    void* v = nullptr;
    size_t size = 0;
    bundle_raw* raw = nullptr;
    int len = 0;
    auto iter = [](const char*, int, const bundle_keyval_t*, void*) {};
    auto created = [] {
        bundle* n = bundle_create();
        return bundle_free(n), n != nullptr;
    };
    struct Case {
        const char* name;
        std::function<long(bundle*)> call;  // pointers as true or false
        long value;
        int last;
    } cases[] = {
    // clang-format off
#define LR(call, value, last) {#call, [&](bundle* b) { return (void)b, long(call); }, value, last}
#define RC(call, code) LR(call, code, kSentinel)
        RC(bundle_add_str(nullptr, "k", "v"), -22), RC(bundle_add_str(b, nullptr, "v"), -22),
        RC(bundle_add_str(b, "", "v"), -22), RC(bundle_add_str(b, "k", nullptr), -22),
        RC(bundle_add_str(b, "a", "v"), BUNDLE_ERROR_KEY_EXISTS),
        RC(bundle_get_str(b, "k", &s), -126), RC(bundle_get_str(b, "a", &s), -22),
        RC(bundle_get_str(b, nullptr, &s), -22), RC(bundle_add_str_array(b, "k", one, -1), -22),
        RC(bundle_add_str_array(b, "k", nullptr, 2), -22),
        RC(bundle_add_str_array(b, "k", withNull, 2), -22),
        RC(bundle_add_str_array(b, "s", one, 1), -18350079),
        RC(bundle_add_byte(b, "k", nullptr, 3), -22), RC(bundle_add_byte(b, "", "x", 1), -22),
        RC(bundle_get_byte(b, "s", &v, &size), -22), RC(bundle_get_byte(b, "k", &v, &size), -126),
        RC(bundle_get_byte(nullptr, "b", &v, &size), -22), RC(bundle_del(b, "k"), -126),
        RC(bundle_del(b, nullptr), -22), RC(bundle_free(nullptr), -22),
        RC(bundle_encode(nullptr, &raw, &len), -22), RC(bundle_encode(b, nullptr, &len), -22),
        RC(bundle_keyval_get_basic_val(nullptr, &v, &size), -22),
        RC(bundle_keyval_get_array_val(nullptr, nullptr, nullptr, nullptr), -22),
        RC(bundle_get_count(nullptr), 0),  // no error reporting at all
        LR(created(), 1, 0), LR(bundle_get_str_array(b, "a", &len) != nullptr, 1, 0),
        LR(bundle_get_str_array(b, "s", &len) != nullptr, 0, -22),
        LR(bundle_get_str_array(b, "k", &len) != nullptr, 0, -126),
        LR(bundle_get_str_array(nullptr, "a", &len) != nullptr, 0, -22),
        LR(bundle_get_type(b, "s"), 1025, 0), LR(bundle_get_type(b, "a"), 1281, 0),
        LR(bundle_get_type(b, "b"), 2, 0), LR(bundle_get_type(b, "k"), -1, -126),
        LR(bundle_get_type(b, nullptr), -1, -22), LR(bundle_dup(nullptr) != nullptr, 0, -22),
        LR((bundle_foreach(nullptr, iter, nullptr), 0), 0, -22),
        LR((bundle_foreach(b, nullptr, nullptr), 0), 0, -22),
        LR((bundle_foreach(b, iter, nullptr), 0), 0, 0),
        LR(bundle_keyval_get_type(nullptr), -1, -22),
        LR(bundle_keyval_get_type(entries(b)[2].second), BUNDLE_TYPE_BYTE, 0),
        LR(bundle_keyval_type_is_array(nullptr), 0, -22),
        LR(bundle_keyval_type_is_array(entries(b)[1].second), 1, 0),
        LR(bundle_keyval_type_is_array(entries(b)[2].second), 0, 0),
        LR(bundle_decode(nullptr, 4) != nullptr, 0, -22),
#undef RC
#undef LR
        // clang-format on
    };
    for (const Case& c : cases) {
        bundle* b = sample();
        set_last_result(kSentinel);
        EXPECT_EQ(c.call(b), c.value) << c.name;
        EXPECT_EQ(get_last_result(), c.last) << c.name;
        EXPECT_EQ(dump(b).size(), 3u) << c.name;
        bundle_free(b);
    }
}

TEST(BundleService, EntriesKeepInsertionOrderAndSizes) {
    bundle* b = sample();
    EXPECT_EQ(bundle_del(b, "s"), 0);
    EXPECT_EQ(bundle_add_str(b, "s", "again"), 0);
    EXPECT_EQ(bundle_add_str_array(b, "empty", nullptr, 0), 0);
    // Strings are kept with their terminator.
    EXPECT_EQ(dump(b), (Lines{"a|1281|x\0|yy\0|zzz\0"s, "b|2|\x01\0\x02\x03"s, "s|1025|again\0"s,
                              "empty|1281"}));
    char* s = nullptr;
    EXPECT_EQ(bundle_get_str(b, "s", &s), 0);
    EXPECT_STREQ(s, "again");

    bundle* d = bundle_dup(b);  // deep: the original may change and go
    Lines before = dump(b);
    bundle_add_str(b, "new", "1");
    bundle_free(b);
    EXPECT_EQ(dump(d), before);
    bundle_free(d);
}

TEST(BundleService, EncodeDecodeRoundTrips) {
    const char* odd[] = {"", "line\nbreak", "\xc3\xa9t\xc3\xa9"};
    std::function<void(bundle*)> fill[] = {
        [](bundle*) {},
        [](bundle* b) { bundle_add_str(b, "empty", ""); },
        [](bundle* b) { bundle_add_str_array(b, "none", nullptr, 0); },
        [&](bundle* b) { bundle_add_str_array(b, "odd", odd, 3); },
        [](bundle* b) { bundle_add_byte(b, "zeros", "\0\0\0", 3); },
        [](bundle* b) {
            for (int i = 0; i < 200; ++i)
                bundle_add_str(b, ("k" + std::to_string(i)).c_str(), std::string(i, 'v').c_str());
        },
    };
    for (auto& f : fill) {
        bundle* b = sample();
        f(b);
        bundle_raw* raw = nullptr;
        int len = 0;
        ASSERT_EQ(bundle_encode(b, &raw, &len), 0);
        EXPECT_EQ(strlen((char*)raw), static_cast<size_t>(len));  // text, terminated
        bundle* back = bundle_decode(raw, len);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(dump(back), dump(b));
        free(raw);
        bundle_free(back);
        bundle_free(b);
    }
    // Byte arrays cannot be added through bundle.h; an encoded one decodes.
    bundle* b = decode(Raw().u32(1).u32(258).block("ba").u32(2).block("\0\1"s).block("").base64());
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(dump(b), Lines{"ba|258|\0\1|"s});
    bundle_free(b);
}

TEST(BundleService, RefusesMalformedEncodings) {
    std::string good = Raw().u32(1).str("k", "v").base64();
    std::string unusedBits = Raw().u32(0).base64();  // 8 bytes: one padding character
    unusedBits[10] = 'B';
    std::string badMagic = Raw().u32(0).base64();
    badMagic[5] = 'Y';
    struct Case {
        const char* name;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"not base64", "VlhC!!AA"},
        {"length not a multiple of four", good.substr(1)},
        {"padding in the middle", "VlhCMQ==" + good},
        {"unused bits set", unusedBits},
        {"whitespace", good.substr(0, 4) + "\n" + good.substr(4)},
        {"terminator counted", good + '\0'},
        {"wrong magic", badMagic},
        {"no count", Raw().base64()},
        {"count beyond entries", Raw().u32(2).str("k", "v").base64()},
        {"huge count", Raw().u32(0xffffffff).str("k", "v").base64()},
        {"unknown type", Raw().u32(1).u32(3).block("k").block("v").base64()},
        {"type none", Raw().u32(1).u32(0).block("k").block("v").base64()},
        {"empty key", Raw().u32(1).str("", "v").base64()},
        {"key with NUL", Raw().u32(1).str("k\0x"s, "v").base64()},
        {"key past the end", Raw().u32(1).u32(1025).u32(50).raw("k").base64()},
        {"value past the end", Raw().u32(1).u32(1025).block("k").u32(0xffffffff).base64()},
        {"str with NUL", Raw().u32(1).str("k", "a\0b"s).base64()},
        {"huge array count", Raw().u32(1).u32(1281).block("k").u32(0x7fffffff).block("x").base64()},
        {"element past the end", Raw().u32(1).u32(1281).block("k").u32(1).u32(9).base64()},
        {"element with NUL", Raw().u32(1).u32(1281).block("k").u32(1).block("\0"s).base64()},
        {"duplicate key", Raw().u32(2).str("k", "v").str("k", "w").base64()},
        {"trailing bytes", Raw().u32(1).str("k", "v").raw("x").base64()},
    };
    bundle* ok = decode(good);
    ASSERT_NE(ok, nullptr) << "the hand-built layout itself decodes";
    bundle_free(ok);
    for (const Case& c : cases) {
        set_last_result(kSentinel);
        bundle* b = decode(c.text);
        EXPECT_EQ(b, nullptr) << c.name;
        EXPECT_EQ(get_last_result(), BUNDLE_ERROR_INVALID_PARAMETER) << c.name;
        if (b) bundle_free(b);
    }
}

// --- the wrapper ---

struct Recorder : IBundleKeyValueListener {
    Lines calls;
    void onStringAdded(const char* key, const char* str) override {
        calls.push_back("str "s + key + "=" + str);
    }
    void onStringArrayAdded(const char* key, const char** strArray, int len) override {
        calls.push_back("array "s + key + "=" + std::to_string(len));
        for (int i = 0; i < len; ++i) calls.back() += ","s + strArray[i];
    }
    void onBytesAdded(const char* key, const void* bytes, size_t len) override {
        calls.push_back("bytes "s + key + "=" + std::string((const char*)bytes, len));
    }
};

TEST(BundleWrapper, ForwardsToThePlatform) {
    Bundle b;
    const char* arr[] = {"x", "y"};
    EXPECT_EQ(b.addString("s"s, "text"s), 0);
    EXPECT_EQ(b.addString("s", "again"), BUNDLE_ERROR_KEY_EXISTS);
    EXPECT_EQ(b.addBytes("b", "\0\1", 2), 0);
    EXPECT_EQ(b.addStringArray("a", arr, 2), 0);
    EXPECT_EQ(b.getCount(), 3);
    EXPECT_EQ(b.getType("a"), BUNDLE_TYPE_STR_ARRAY);
    EXPECT_EQ(b.getString("s"), "text");
    char* s = nullptr;
    EXPECT_EQ(b.getString("s", &s), 0);
    EXPECT_STREQ(s, "text");
    size_t len = 0;
    char* bytes = static_cast<char*>(b.getBytes("b", len));
    EXPECT_EQ(std::string(bytes, len), "\0\1"s);
    int n = 0;
    EXPECT_STREQ(b.getStringArray("a", n)[1], "y");
    EXPECT_EQ(n, 2);
    // Missing keys and other kinds.
    EXPECT_EQ(b.getString("none"), "");
    EXPECT_EQ(b.getString("a"), "");
    EXPECT_FALSE(b.remove("none"));
    EXPECT_EQ(b.getBytes("none", len), nullptr);
    EXPECT_EQ(b.getType("none"), BUNDLE_TYPE_NONE);
    EXPECT_TRUE(b.remove("s"));
    EXPECT_EQ(b.getCount(), 2);
}

// The sanitizer build reports a bundle freed twice or never.
TEST(BundleWrapper, BorrowingNeverFreesOwningFreesOnce) {
    bundle* raw = bundle_create();
    delete new Bundle(raw, false);
    EXPECT_EQ(bundle_add_str(raw, "k", "v"), 0);  // still alive
    delete new Bundle(raw, true);
    Bundle none(nullptr, true);
    EXPECT_EQ(none.getCount(), 0);
    int len = 5;
    EXPECT_EQ(none.encode(len), nullptr);
    EXPECT_EQ(len, 0);
}

TEST(BundleWrapper, EncodeAndDecode) {
    Bundle b(sample(), true);
    int len = -1;
    bundle_raw* raw = b.encode(len);
    ASSERT_NE(raw, nullptr);
    vt::LogCapture log;
    Bundle* back = b.decode(raw, len);
    free(raw);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->getCount(), b.getCount());
    EXPECT_EQ(dump(back->getBundle()), dump(b.getBundle()));
    delete back;
    EXPECT_EQ(captured(log), Lines{});
    const bundle_raw junk[] = "not a bundle";
    EXPECT_EQ(b.decode(junk, sizeof junk - 1), nullptr);
    EXPECT_EQ(captured(log),
              Lines{body(vt::logLine('E', "", "src/Bundle.cpp", "decode", "Failed to decode bundle",
                                     "Failed to decode bundle. err(Invalid parameter)"))});
}

TEST(BundleWrapper, CopyTakesEveryEntryAndLogsArrays) {
    bundle* src = sample();
    Bundle b;
    vt::LogCapture log;
    EXPECT_EQ(b.copy(src), 0);
    EXPECT_EQ(dump(b.getBundle()), dump(src));
    Lines dumped = {
        walkLine('I', "Found string Array", "Found string Array. Key(a) number of strings(3)"),
        walkLine('I', "Str(%d) = %s", "Str(0) = x"), walkLine('I', "Str(%d) = %s", "Str(1) = yy"),
        walkLine('I', "Str(%d) = %s", "Str(2) = zzz")};
    EXPECT_EQ(captured(log), dumped);
    // An entry the bundle already holds is not copied again, silently.
    bundle_add_str(src, "extra", "1");
    vt::LogCapture again;
    EXPECT_EQ(b.copy(src), 0);
    EXPECT_EQ(b.getCount(), 4);
    EXPECT_EQ(captured(again), dumped);
    bundle_free(src);
}

TEST(BundleWrapper, WalkSkipsUnsupportedAndHandsOnEmptyArrays) {
    Raw r;
    r.u32(3).str("s", "v").u32(258).block("ba").u32(1).block("x").u32(1281).block("e").u32(0);
    Bundle b(decode(r.base64()), true);
    Recorder rec;
    vt::LogCapture log;
    EXPECT_EQ(b.copyTo(&rec), 0);
    EXPECT_EQ(rec.calls, (Lines{"str s=v", "array e=0"}));
    EXPECT_EQ(captured(log), (Lines{walkLine('E', "Unsupported type", "Unsupported type(258)"),
                                    walkLine('I', "Found string Array",
                                             "Found string Array. Key(e) number of strings(0)")}));

    vt::LogCapture none;
    EXPECT_EQ(b.copyTo(nullptr), 0);
    EXPECT_EQ(captured(none), Lines(3, walkLine('E', "User data in callback is NULL",
                                                "User data in callback is NULL")));
}

// Entries whose value cannot be read as their type says are logged and skipped.
TEST(BundleWrapper, UnreadableEntriesAreLogged) {
    bundle* b = sample();
    bundle_keyval_t* kv[] = {entries(b)[0].second, entries(b)[1].second};  // s, a
    struct Case {
        int type;
        bundle_keyval_t* kv;
        const char* needle;
        const char* what;
    } cases[] = {{BUNDLE_TYPE_STR, kv[1], "Failed to get basic string", "basic string for"},
                 {BUNDLE_TYPE_STR_ARRAY, kv[0], "Failed to get string array", "string array for"},
                 {BUNDLE_TYPE_BYTE, kv[1], "Failed to get bytes", "bytes for"}};
    for (const Case& c : cases) {
        Recorder rec;
        vt::LogCapture log;
        Bundle::bundle_iterator_cb("k", c.type, c.kv, &rec);
        EXPECT_EQ(rec.calls, Lines{}) << c.type;
        EXPECT_EQ(captured(log),
                  Lines{walkLine('E', c.needle,
                                 "Failed to get "s + c.what + " key(k). err(Invalid parameter)")})
            << c.type;
    }
    bundle_free(b);
}

}  // namespace
