// The bundle service (bundle.h) and the Bundle wrapper with its walk.
#include <gtest/gtest.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "Bundle.h"
#include "TestDevice.h"

using namespace std::string_literals;

namespace {

using Lines = std::vector<std::string>;

// "<priority> <file>: <function>(<line>) > <message>": the tag depends on which app
// the process last ran as, so it is left out.
std::string body(const std::string& line) {
    size_t p = line.find("): ");
    return p == std::string::npos ? line : line.substr(0, 1) + " " + line.substr(p + 3);
}

std::string expected(char prio, const char* needle, const std::string& msg) {
    return body(vt::logLine(prio, "", "src/Bundle.cpp", "bundle_iterator_cb", needle, msg));
}

Lines captured(const vt::LogCapture& log) {
    Lines out;
    for (const std::string& l : log.lines())
        if (l.find("Bundle.cpp: ") != std::string::npos) out.push_back(body(l));
    return out;
}

// Every entry as "<key>|<type>|<value>|<value>...", in the bundle's order.
Lines dump(bundle* b) {
    Lines out;
    bundle_foreach(
        b,
        [](const char* key, int type, const bundle_keyval_t* kv, void* data) {
            auto* e = const_cast<bundle_keyval_t*>(kv);
            std::string s = std::string(key) + "|" + std::to_string(type);
            void** vals = nullptr;
            unsigned int n = 0;
            size_t* sizes = nullptr;
            void* v = nullptr;
            size_t size = 0;
            if (bundle_keyval_get_array_val(e, &vals, &n, &sizes) == 0) {
                for (unsigned int i = 0; i < n; ++i)
                    s += "|" + std::string(static_cast<char*>(vals[i]), sizes[i]);
            } else if (bundle_keyval_get_basic_val(e, &v, &size) == 0) {
                s += "|" + std::string(static_cast<char*>(v), size);
            }
            static_cast<Lines*>(data)->push_back(s);
        },
        &out);
    return out;
}

// The encoded layout, built by hand: big-endian u32 fields, then base64.
struct Raw {
    std::string bytes = "VXB1";
    Raw& u32(uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) bytes += static_cast<char>(v >> s);
        return *this;
    }
    Raw& block(const std::string& s) {
        u32(s.size());
        bytes += s;
        return *this;
    }
    Raw& str(const std::string& k, const std::string& v) { return u32(1025).block(k).block(v); }
    std::string base64() const {
        const char* abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string out;
        for (size_t i = 0; i < bytes.size(); i += 3) {
            uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
            if (i + 1 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
            if (i + 2 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 2]);
            out += abc[v >> 18 & 63];
            out += abc[v >> 12 & 63];
            out += i + 1 < bytes.size() ? abc[v >> 6 & 63] : '=';
            out += i + 2 < bytes.size() ? abc[v & 63] : '=';
        }
        return out;
    }
};

bundle* decode(const std::string& text) {
    return bundle_decode(reinterpret_cast<const bundle_raw*>(text.data()), text.size());
}

// A bundle with one entry of each kind that the service can make.
bundle* sample() {
    bundle* b = bundle_create();
    const char* arr[] = {"x", "yy", "zzz"};
    bundle_add_str(b, "s", "text");
    bundle_add_str_array(b, "a", arr, 3);
    bundle_add_byte(b, "b", "\x01\x00\x02\x03", 4);
    return b;
}

const int kSentinel = 4242;

TEST(BundleService, ReturnCodesLeaveTheBundleAndTheLastResultAlone) {
    const char* one[] = {"x"};
    const char* withNull[] = {"x", nullptr};
    char* s = nullptr;
    void* v = nullptr;
    size_t size = 0;
    bundle_raw* raw = nullptr;
    int len = 0;
    struct Case {
        const char* name;
        std::function<int(bundle*)> call;
        int code;
    } cases[] = {
        {"add_str null bundle", [](bundle*) { return bundle_add_str(nullptr, "k", "v"); }, -22},
        {"add_str null key", [](bundle* b) { return bundle_add_str(b, nullptr, "v"); }, -22},
        {"add_str empty key", [](bundle* b) { return bundle_add_str(b, "", "v"); }, -22},
        {"add_str null value", [](bundle* b) { return bundle_add_str(b, "k", nullptr); }, -22},
        {"add_str existing key", [](bundle* b) { return bundle_add_str(b, "a", "v"); },
         BUNDLE_ERROR_KEY_EXISTS},
        {"get_str missing", [&](bundle* b) { return bundle_get_str(b, "k", &s); }, -126},
        {"get_str on array", [&](bundle* b) { return bundle_get_str(b, "a", &s); }, -22},
        {"get_str null key", [&](bundle* b) { return bundle_get_str(b, nullptr, &s); }, -22},
        {"add_str_array negative length",
         [&](bundle* b) { return bundle_add_str_array(b, "k", one, -1); }, -22},
        {"add_str_array null array",
         [](bundle* b) { return bundle_add_str_array(b, "k", nullptr, 2); }, -22},
        {"add_str_array null element",
         [&](bundle* b) { return bundle_add_str_array(b, "k", withNull, 2); }, -22},
        {"add_str_array existing key",
         [&](bundle* b) { return bundle_add_str_array(b, "s", one, 1); }, -18350079},
        {"add_byte null bytes", [](bundle* b) { return bundle_add_byte(b, "k", nullptr, 3); }, -22},
        {"add_byte empty key", [](bundle* b) { return bundle_add_byte(b, "", "x", 1); }, -22},
        {"get_byte on str", [&](bundle* b) { return bundle_get_byte(b, "s", &v, &size); }, -22},
        {"get_byte missing", [&](bundle* b) { return bundle_get_byte(b, "k", &v, &size); }, -126},
        {"get_byte null bundle", [&](bundle*) { return bundle_get_byte(nullptr, "b", &v, &size); },
         -22},
        {"del missing", [](bundle* b) { return bundle_del(b, "k"); }, -126},
        {"del null key", [](bundle* b) { return bundle_del(b, nullptr); }, -22},
        {"free null", [](bundle*) { return bundle_free(nullptr); }, -22},
        {"encode null bundle", [&](bundle*) { return bundle_encode(nullptr, &raw, &len); }, -22},
        {"encode null out", [&](bundle* b) { return bundle_encode(b, nullptr, &len); }, -22},
        {"basic_val null kv", [](bundle*) { return bundle_keyval_get_basic_val(nullptr, 0, 0); },
         -22},
        {"array_val null kv", [](bundle*) { return bundle_keyval_get_array_val(nullptr, 0, 0, 0); },
         -22},
    };
    for (const Case& c : cases) {
        bundle* b = sample();
        set_last_result(kSentinel);
        EXPECT_EQ(c.call(b), c.code) << c.name;
        EXPECT_EQ(get_last_result(), kSentinel) << c.name;
        EXPECT_EQ(bundle_get_count(b), 3) << c.name;
        bundle_free(b);
    }
}

TEST(BundleService, LastResultCallsReportThroughTheSlot) {
    bundle* b = sample();
    int len = -1;
    struct Case {
        const char* name;
        std::function<long()> call;  // pointers as 0 (null) or 1
        long value;
        int last;
    } cases[] = {
        {"create",
         [] {
             bundle* n = bundle_create();
             bundle_free(n);
             return long(n != nullptr);
         },
         1, 0},
        {"get_str_array", [&] { return long(bundle_get_str_array(b, "a", &len) != nullptr); }, 1,
         0},
        {"get_str_array on str",
         [&] { return long(bundle_get_str_array(b, "s", &len) != nullptr); }, 0, -22},
        {"get_str_array missing",
         [&] { return long(bundle_get_str_array(b, "k", &len) != nullptr); }, 0, -126},
        {"get_str_array null",
         [&] { return long(bundle_get_str_array(nullptr, "a", &len) != nullptr); }, 0, -22},
        {"get_type str", [&] { return long(bundle_get_type(b, "s")); }, 1025, 0},
        {"get_type array", [&] { return long(bundle_get_type(b, "a")); }, 1281, 0},
        {"get_type byte", [&] { return long(bundle_get_type(b, "b")); }, 2, 0},
        {"get_type missing", [&] { return long(bundle_get_type(b, "k")); }, -1, -126},
        {"get_type null key", [&] { return long(bundle_get_type(b, nullptr)); }, -1, -22},
        {"dup null", [] { return long(bundle_dup(nullptr) != nullptr); }, 0, -22},
        {"foreach null bundle",
         [] {
             bundle_foreach(
                 nullptr, [](const char*, int, const bundle_keyval_t*, void*) {}, 0);
             return 0L;
         },
         0, -22},
        {"foreach null callback",
         [&] {
             bundle_foreach(b, nullptr, nullptr);
             return 0L;
         },
         0, -22},
        {"foreach", [&] { return long(dump(b).size()); }, 3, 0},
        {"keyval_get_type null", [] { return long(bundle_keyval_get_type(nullptr)); }, -1, -22},
        {"keyval_type_is_array null", [] { return long(bundle_keyval_type_is_array(nullptr)); }, 0,
         -22},
        {"decode null", [] { return long(bundle_decode(nullptr, 4) != nullptr); }, 0, -22},
        {"get_count null: no report", [] { return long(bundle_get_count(nullptr)); }, 0, kSentinel},
    };
    for (const Case& c : cases) {
        set_last_result(kSentinel);
        EXPECT_EQ(c.call(), c.value) << c.name;
        EXPECT_EQ(get_last_result(), c.last) << c.name;
    }
    bundle_free(b);
}

TEST(BundleService, EntriesKeepInsertionOrderAndTheirSizes) {
    bundle* b = sample();
    EXPECT_EQ(bundle_del(b, "s"), 0);
    EXPECT_EQ(bundle_add_str(b, "s", "again"), 0);
    const char* none[] = {nullptr};
    EXPECT_EQ(bundle_add_str_array(b, "empty", none, 0), 0);
    EXPECT_EQ(dump(b), (Lines{"a|1281|x\0|yy\0|zzz\0"s, "b|2|\x01\0\x02\x03"s, "s|1025|again\0"s,
                              "empty|1281"}));
    int len = -1;
    const char** strs = bundle_get_str_array(b, "a", &len);
    ASSERT_EQ(len, 3);
    EXPECT_STREQ(strs[2], "zzz");
    char* s = nullptr;
    EXPECT_EQ(bundle_get_str(b, "s", &s), 0);
    EXPECT_STREQ(s, "again");
    void* bytes = nullptr;
    size_t size = 0;
    EXPECT_EQ(bundle_get_byte(b, "b", &bytes, &size), 0);
    EXPECT_EQ(std::string(static_cast<char*>(bytes), size), "\x01\0\x02\x03"s);
    bundle_free(b);
}

// Keyval getters refuse the other kind of entry.
TEST(BundleService, KeyvalGettersMatchTheEntryKind) {
    bundle* b = sample();
    std::vector<bundle_keyval_t*> kvs;
    bundle_foreach(
        b,
        [](const char*, int, const bundle_keyval_t* kv, void* d) {
            static_cast<std::vector<bundle_keyval_t*>*>(d)->push_back(
                const_cast<bundle_keyval_t*>(kv));
        },
        &kvs);
    ASSERT_EQ(kvs.size(), 3u);  // s, a, b
    void* v = nullptr;
    void** vals = nullptr;
    size_t size = 0;
    unsigned int n = 0;
    size_t* sizes = nullptr;
    EXPECT_EQ(bundle_keyval_get_basic_val(kvs[0], &v, &size), 0);
    EXPECT_EQ(size, 5u);  // "text" and its terminator
    EXPECT_EQ(bundle_keyval_get_basic_val(kvs[1], &v, &size), -22);
    EXPECT_EQ(bundle_keyval_get_array_val(kvs[0], &vals, &n, &sizes), -22);
    EXPECT_EQ(bundle_keyval_get_array_val(kvs[1], &vals, &n, &sizes), 0);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(sizes[1], 3u);
    EXPECT_EQ(bundle_keyval_type_is_array(kvs[1]), 1);
    EXPECT_EQ(bundle_keyval_type_is_array(kvs[2]), 0);
    EXPECT_EQ(bundle_keyval_get_type(kvs[2]), BUNDLE_TYPE_BYTE);
    bundle_free(b);
}

TEST(BundleService, DupIsDeepAndIndependent) {
    bundle* b = sample();
    bundle* d = bundle_dup(b);
    ASSERT_NE(d, nullptr);
    Lines before = dump(b);
    EXPECT_EQ(dump(d), before);
    bundle_del(b, "a");
    bundle_add_str(b, "new", "1");
    bundle_free(b);
    EXPECT_EQ(dump(d), before);
    bundle_free(d);
}

TEST(BundleService, EncodeDecodeRoundTrips) {
    const char* none[] = {nullptr};
    const char* odd[] = {"", "line\nbreak", "\xc3\xa9t\xc3\xa9"};
    std::vector<std::function<void(bundle*)>> fill = {
        [](bundle*) {},
        [](bundle* b) { bundle_add_str(b, "empty", ""); },
        [&](bundle* b) { bundle_add_str_array(b, "none", none, 0); },
        [&](bundle* b) { bundle_add_str_array(b, "odd", odd, 3); },
        [](bundle* b) { bundle_add_byte(b, "zeros", "\0\0\0", 3); },
        [](bundle* b) {
            for (int i = 0; i < 200; ++i)
                bundle_add_str(b, ("k" + std::to_string(i)).c_str(), std::string(i, 'v').c_str());
        },
    };
    for (size_t i = 0; i < fill.size(); ++i) {
        bundle* b = sample();
        fill[i](b);
        bundle_raw* raw = nullptr;
        int len = 0;
        ASSERT_EQ(bundle_encode(b, &raw, &len), 0) << i;
        EXPECT_EQ(strlen(reinterpret_cast<char*>(raw)), static_cast<size_t>(len)) << i;
        set_last_result(kSentinel);
        bundle* back = bundle_decode(raw, len);
        EXPECT_EQ(get_last_result(), 0) << i;
        ASSERT_NE(back, nullptr) << i;
        EXPECT_EQ(dump(back), dump(b)) << i;
        free(raw);
        bundle_free(back);
        bundle_free(b);
    }
}

// Byte arrays cannot be added through bundle.h; an encoded one still decodes.
TEST(BundleService, DecodesAByteArray) {
    Raw r;
    r.u32(1).u32(258).block("ba").u32(2).block("\0\1"s).block("");
    bundle* b = decode(r.base64());
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(dump(b), Lines{"ba|258|\0\1"s + "|"});
    bundle_free(b);
}

TEST(BundleService, RefusesMalformedEncodings) {
    auto valid = [] { return Raw().u32(1).str("k", "v"); };
    std::string good = valid().base64();
    std::string noncanonical = Raw().u32(0).base64();  // "VlhCMQAAAAA=": 8 bytes
    noncanonical[10] = 'B';
    struct Case {
        const char* name;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"not base64", "VlhC!!AA"},
        {"length not a multiple of four", good.substr(0, good.size() - 1)},
        {"padding in the middle", "VlhCMQ==" + good},
        {"unused bits set", noncanonical},
        {"whitespace", good.substr(0, 4) + "\n" + good.substr(4)},
        {"terminator counted", good + '\0'},
        {"wrong magic",
         [] {
             Raw r;
             r.bytes = "VXB2";
             return r.u32(0).base64();
         }()},
        {"no count", Raw().base64()},
        {"count beyond entries", Raw().u32(2).str("k", "v").base64()},
        {"huge count", Raw().u32(0xffffffff).str("k", "v").base64()},
        {"unknown type", Raw().u32(1).u32(3).block("k").block("v").base64()},
        {"type none", Raw().u32(1).u32(0).block("k").block("v").base64()},
        {"empty key", Raw().u32(1).str("", "v").base64()},
        {"key with NUL", Raw().u32(1).str("k\0x"s, "v").base64()},
        {"key past the end",
         [] {
             Raw r;
             r.u32(1).u32(1025).u32(50).bytes += "k";
             return r.base64();
         }()},
        {"value past the end", Raw().u32(1).u32(1025).block("k").u32(0xffffffff).base64()},
        {"str with NUL", Raw().u32(1).str("k", "a\0b"s).base64()},
        {"array count huge", Raw().u32(1).u32(1281).block("k").u32(0x7fffffff).block("x").base64()},
        {"element past the end", Raw().u32(1).u32(1281).block("k").u32(1).u32(9).base64()},
        {"array element with NUL", Raw().u32(1).u32(1281).block("k").u32(1).block("\0"s).base64()},
        {"duplicate key", Raw().u32(2).str("k", "v").str("k", "w").base64()},
        {"trailing bytes",
         [&] {
             Raw r = valid();
             r.bytes += "x";
             return r.base64();
         }()},
    };
    bundle* ok = decode(good);
    ASSERT_NE(ok, nullptr) << "the hand-built layout itself must decode";
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
        calls.push_back(std::string("str ") + key + "=" + str);
    }
    void onStringArrayAdded(const char* key, const char** strArray, int len) override {
        std::string s = std::string("array ") + key + "=" + std::to_string(len);
        for (int i = 0; i < len; ++i) s += std::string(",") + strArray[i];
        calls.push_back(s);
    }
    void onBytesAdded(const char* key, const void* bytes, size_t len) override {
        calls.push_back(std::string("bytes ") + key + "=" +
                        std::string(static_cast<const char*>(bytes), len));
    }
};

TEST(BundleWrapper, MechanicalOperationsForward) {
    Bundle b;
    EXPECT_EQ(b.addString(std::string("s"), std::string("text")), 0);
    EXPECT_EQ(b.addString("s", "again"), BUNDLE_ERROR_KEY_EXISTS);
    EXPECT_EQ(b.addBytes("b", "\0\1", 2), 0);
    const char* arr[] = {"x", "y"};
    EXPECT_EQ(b.addStringArray("a", arr, 2), 0);
    EXPECT_EQ(b.getCount(), 3);
    EXPECT_EQ(b.getType("a"), BUNDLE_TYPE_STR_ARRAY);
    EXPECT_EQ(b.getString("s"), "text");
    char* s = nullptr;
    EXPECT_EQ(b.getString("s", &s), 0);
    EXPECT_STREQ(s, "text");
    size_t len = 0;
    void* bytes = b.getBytes("b", len);
    EXPECT_EQ(std::string(static_cast<char*>(bytes), len), "\0\1"s);
    int n = 0;
    EXPECT_STREQ(b.getStringArray("a", n)[1], "y");
    EXPECT_EQ(n, 2);
    EXPECT_EQ(b.getBundle(), b.getBundle());
    // Missing keys.
    EXPECT_EQ(b.getString("none"), "");
    EXPECT_EQ(b.getString("a"), "");  // not a string
    EXPECT_FALSE(b.remove("none"));
    len = 7;
    EXPECT_EQ(b.getBytes("none", len), nullptr);
    EXPECT_EQ(b.getType("none"), BUNDLE_TYPE_NONE);
    EXPECT_TRUE(b.remove("s"));
    EXPECT_EQ(b.getCount(), 2);
}

TEST(BundleWrapper, BorrowingNeverFreesOwningFreesOnce) {
    bundle* raw = bundle_create();
    {
        Bundle view(raw, false);
        view.addString("k", "v");
    }
    EXPECT_EQ(bundle_get_count(raw), 1);  // still alive and usable
    EXPECT_EQ(bundle_add_str(raw, "k2", "v"), 0);
    { Bundle owner(raw, true); }  // the sanitizer build reports a leak or a double free
    Bundle empty(nullptr, true);  // nothing to free
    EXPECT_EQ(empty.getCount(), 0);
}

TEST(BundleWrapper, EncodeAndDecode) {
    Bundle b;
    b.addString("s", "text");
    int len = -1;
    bundle_raw* raw = b.encode(len);
    ASSERT_NE(raw, nullptr);
    vt::LogCapture log;
    Bundle* back = b.decode(raw, len);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->getCount(), b.getCount());
    EXPECT_EQ(back->getString("s"), "text");
    delete back;
    free(raw);
    EXPECT_EQ(captured(log), Lines{});

    Bundle none(nullptr, false);
    len = 5;
    EXPECT_EQ(none.encode(len), nullptr);
    EXPECT_EQ(len, 0);
    const bundle_raw junk[] = "not a bundle";
    EXPECT_EQ(b.decode(junk, sizeof junk - 1), nullptr);
    EXPECT_EQ(captured(log),
              Lines{body(vt::logLine('E', "", "src/Bundle.cpp", "decode", "Failed to decode bundle",
                                     "Failed to decode bundle. err(Invalid parameter)"))});
}

TEST(BundleWrapper, CopyTakesEveryEntryAndLogsTheArray) {
    bundle* src = sample();
    Bundle b;
    vt::LogCapture log;
    EXPECT_EQ(b.copy(src), 0);
    EXPECT_EQ(dump(b.getBundle()), dump(src));
    EXPECT_EQ(captured(log), (Lines{expected('I', "Found string Array",
                                             "Found string Array. Key(a) number of strings(3)"),
                                    expected('I', "Str(%d) = %s", "Str(0) = x"),
                                    expected('I', "Str(%d) = %s", "Str(1) = yy"),
                                    expected('I', "Str(%d) = %s", "Str(2) = zzz")}));
    // Entries the bundle already holds are not copied again, silently.
    bundle_add_str(src, "extra", "1");
    vt::LogCapture again;
    b.copy(src);
    EXPECT_EQ(b.getCount(), 4);
    EXPECT_EQ(captured(again).size(), 4u);  // the array dump only
    bundle_free(src);
}

TEST(BundleWrapper, WalkSkipsUnsupportedAndHandsEmptyArrays) {
    Raw r;
    r.u32(3).str("s", "v").u32(258).block("ba").u32(1).block("x").u32(1281).block("e").u32(0);
    Bundle* b =
        Bundle().decode(reinterpret_cast<const bundle_raw*>(r.base64().c_str()), r.base64().size());
    ASSERT_NE(b, nullptr);
    Recorder rec;
    vt::LogCapture log;
    EXPECT_EQ(b->copyTo(&rec), 0);
    EXPECT_EQ(rec.calls, (Lines{"str s=v", "array e=0"}));
    EXPECT_EQ(captured(log), (Lines{expected('E', "Unsupported type", "Unsupported type(258)"),
                                    expected('I', "Found string Array",
                                             "Found string Array. Key(e) number of strings(0)")}));
    delete b;
}

TEST(BundleWrapper, WalkWithoutListenerLogsEachEntry) {
    Bundle b(sample(), true);
    vt::LogCapture log;
    EXPECT_EQ(b.copyTo(nullptr), 0);
    Lines line(3, expected('E', "User data in callback is NULL", "User data in callback is NULL"));
    EXPECT_EQ(captured(log), line);
}

// Entries whose value cannot be read as the type says are logged and skipped.
TEST(BundleWrapper, UnreadableEntriesAreLogged) {
    bundle* b = sample();
    std::vector<bundle_keyval_t*> kvs;
    bundle_foreach(
        b,
        [](const char*, int, const bundle_keyval_t* kv, void* d) {
            static_cast<std::vector<bundle_keyval_t*>*>(d)->push_back(
                const_cast<bundle_keyval_t*>(kv));
        },
        &kvs);
    struct Case {
        int type;
        bundle_keyval_t* kv;
        std::string line;
    } cases[] = {
        {BUNDLE_TYPE_STR, kvs[1],
         expected('E', "Failed to get basic string",
                  "Failed to get basic string for key(k). err(Invalid parameter)")},
        {BUNDLE_TYPE_STR_ARRAY, kvs[0],
         expected('E', "Failed to get string array",
                  "Failed to get string array for key(k). err(Invalid parameter)")},
        {BUNDLE_TYPE_BYTE, kvs[1],
         expected('E', "Failed to get bytes",
                  "Failed to get bytes for key(k). err(Invalid parameter)")},
    };
    for (const Case& c : cases) {
        Recorder rec;
        vt::LogCapture log;
        Bundle::bundle_iterator_cb("k", c.type, c.kv, &rec);
        EXPECT_EQ(rec.calls, Lines{}) << c.type;
        EXPECT_EQ(captured(log), Lines{c.line}) << c.type;
    }
    bundle_free(b);
}

}  // namespace
