// SPDX-License-Identifier: Apache-2.0
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

std::string logged(char prio, const char* func, const char* needle, const std::string& msg) {
    return vt::logBody(vt::logLine(prio, "", "src/Bundle.cpp", func, msg));
}
std::string walkLine(char prio, const char* needle, const std::string& msg) {
    return logged(prio, "bundle_iterator_cb", needle, msg);
}

Lines captured(const vt::LogCapture& log) {
    Lines out;
    for (const std::string& l : log.lines())
        if (l.find("Bundle.cpp: ") != std::string::npos) out.push_back(vt::logBody(l));
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

// The encoded layout built by hand: "VXB1", an entry count and big-endian u32 fields, as
// base64 text.
struct Raw {
    std::string bytes = "VXB1";
    Raw() = default;
    explicit Raw(uint32_t count) { u32(count); }
    Raw& u32(uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) bytes += static_cast<char>(v >> s);
        return *this;
    }
    Raw& raw(const std::string& s) { return bytes += s, *this; }
    Raw& block(const std::string& s) { return u32(s.size()).raw(s); }
    Raw& str(const std::string& k, const std::string& v) { return u32(1025).block(k).block(v); }
    operator std::string() const {
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
    const char *one[] = {"x"}, *withNull[] = {"x", nullptr};
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

// Entries keep their order and exact sizes, in a deep copy and through encoding.
TEST(BundleService, EntriesSurviveDupAndEncoding) {
    const char* odd[] = {"", "line\nbreak", "\xc3\xa9t\xc3\xa9"};
    std::function<void(bundle*)> fill[] = {
        [](bundle* b) {  // a key added again goes last
            bundle_del(b, "s");
            bundle_add_str(b, "s", "again");
            bundle_add_str_array(b, "empty", nullptr, 0);
        },
        [](bundle* b) { bundle_add_str(b, "empty", ""); },
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
        const Lines before = dump(b);
        bundle_raw* raw = nullptr;
        int len = 0;
        EXPECT_EQ(bundle_encode(b, &raw, &len), 0);
        EXPECT_EQ(strlen((char*)raw), static_cast<size_t>(len));  // text, terminated
        bundle* d = bundle_dup(b);  // deep: the original may change and go
        bundle_add_str(b, "new", "1");
        bundle_free(b);
        bundle* back = bundle_decode(raw, len);
        free(raw);
        EXPECT_EQ(dump(d), before);
        EXPECT_EQ(dump(back), before);
        bundle_free(d);
        bundle_free(back);
        // Strings are kept with their terminator.
        if (&f == fill) {
            EXPECT_EQ(before, (Lines{"a|1281|x\0|yy\0|zzz\0"s, "b|2|\x01\0\x02\x03"s,
                                     "s|1025|again\0"s, "empty|1281"}));
        }
    }
    // Byte arrays cannot be added through bundle.h; an encoded one decodes.
    bundle* b = decode(Raw(1).u32(258).block("ba").u32(2).block("\0\1"s).block(""));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(dump(b), Lines{"ba|258|\0\1|"s});
    bundle_free(b);
}

TEST(BundleService, RefusesMalformedEncodings) {
    const std::string good = Raw(1).str("k", "v"), empty = Raw(0);  // 8 bytes: one "="
    const Raw str(1), arr = Raw(1).u32(1281).block("k");
    bundle* ok = decode(good);
    ASSERT_NE(ok, nullptr) << "the hand-built layout itself decodes";
    bundle_free(ok);
    const std::pair<const char*, std::string> cases[] = {
        // clang-format off
        {"empty", ""}, {"not base64", "VlhC!!AA"},
        {"length not a multiple of four", good.substr(1)},
        {"padding in the middle", "VlhCMQ==" + good},
        {"unused bits set", empty.substr(0, 10) + "B" + empty.substr(11)},
        {"whitespace", good.substr(0, 4) + "\n" + good.substr(4)},
        {"terminator counted", good + '\0'},
        {"wrong magic", empty.substr(0, 5) + "Y" + empty.substr(6)}, {"no count", Raw()},
        {"count beyond entries", Raw(2).str("k", "v")},
        {"huge count", Raw(0xffffffff).str("k", "v")},
        {"unknown type", Raw(str).u32(3).block("k").block("v")},
        {"type none", Raw(str).u32(0).block("k").block("v")}, {"empty key", Raw(str).str("", "v")},
        {"key with NUL", Raw(str).str("k\0x"s, "v")}, {"str with NUL", Raw(str).str("k", "a\0b"s)},
        {"key past the end", Raw(str).u32(1025).u32(50).raw("k")},
        {"value past the end", Raw(str).u32(1025).block("k").u32(0xffffffff)},
        {"huge array count", Raw(arr).u32(0x7fffffff).block("x")},
        {"element past the end", Raw(arr).u32(1).u32(9)},
        {"element with NUL", Raw(arr).u32(1).block("\0"s)},
        {"duplicate key", Raw(2).str("k", "v").str("k", "w")},
        {"trailing bytes", Raw(str).str("k", "v").raw("x")},
        // clang-format on
    };
    for (const auto& c : cases) {
        set_last_result(kSentinel);
        bundle* b = decode(c.second);
        EXPECT_EQ(b, nullptr) << c.first;
        EXPECT_EQ(get_last_result(), BUNDLE_ERROR_INVALID_PARAMETER) << c.first;
        if (b) bundle_free(b);
    }
}

// --- the wrapper ---

TEST(BundleWrapper, ForwardsToThePlatform) {
    Bundle b;
    const char* arr[] = {"x", "y"};
    char* s = nullptr;
    size_t len = 0;
    int n = 0;
    EXPECT_EQ(b.addString("s"s, "text"s), 0);
    EXPECT_EQ(b.addString("s", "again"), BUNDLE_ERROR_KEY_EXISTS);
    EXPECT_EQ(b.addBytes("b", "\0\1", 2), 0);
    EXPECT_EQ(b.addStringArray("a", arr, 2), 0);
    EXPECT_EQ(b.getCount(), 3);
    EXPECT_EQ(b.getType("a"), BUNDLE_TYPE_STR_ARRAY);
    EXPECT_EQ(b.getString("s"), "text");
    EXPECT_EQ(b.getString("s", &s), 0);
    EXPECT_STREQ(s, "text");
    char* bytes = static_cast<char*>(b.getBytes("b", len));
    EXPECT_EQ(std::string(bytes, len), "\0\1"s);
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

// Borrowed bundles are never freed, owned ones once (the sanitizer build reports either);
// a decoded copy is owned.
TEST(BundleWrapper, OwnershipAndEncoding) {
    bundle* raw = bundle_create();
    delete new Bundle(raw, false);
    EXPECT_EQ(bundle_add_str(raw, "k", "v"), 0);  // still alive
    delete new Bundle(raw, true);
    Bundle none(nullptr, true);
    EXPECT_EQ(none.getCount(), 0);
    int len = 5;
    EXPECT_EQ(none.encode(len), nullptr);
    EXPECT_EQ(len, 0);

    Bundle b(sample(), true);
    bundle_raw* enc = b.encode(len);
    ASSERT_NE(enc, nullptr);
    vt::LogCapture log;
    Bundle* back = b.decode(enc, len);
    free(enc);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(dump(back->getBundle()), dump(b.getBundle()));
    delete back;
    const bundle_raw junk[] = "not a bundle";
    EXPECT_EQ(b.decode(junk, sizeof junk - 1), nullptr);
    EXPECT_EQ(captured(log), Lines{logged('E', "decode", "Failed to decode bundle",
                                          "Failed to decode bundle. err(Invalid parameter)")});
}

// Copying walks every entry, logging arrays. What the walk cannot hand on is logged and
// skipped: a kind it does not support, a value that cannot be read as its type says, a
// walk without a listener.
TEST(BundleWrapper, WalkCopiesAndLogs) {
    bundle* src = sample();
    Bundle copied;
    vt::LogCapture log;
    EXPECT_EQ(copied.copy(src), 0);
    EXPECT_EQ(dump(copied.getBundle()), dump(src));
    Lines arrays = {
        walkLine('I', "Found string Array", "Found string Array. Key(a) number of strings(3)"),
        walkLine('I', "Str(%d) = %s", "Str(0) = x"), walkLine('I', "Str(%d) = %s", "Str(1) = yy"),
        walkLine('I', "Str(%d) = %s", "Str(2) = zzz")};
    EXPECT_EQ(captured(log), arrays);
    // An entry the bundle already holds is not copied again, silently.
    bundle_add_str(src, "extra", "1");
    vt::LogCapture again;
    EXPECT_EQ(copied.copy(src), 0);
    EXPECT_EQ(copied.getCount(), 4);
    EXPECT_EQ(captured(again), arrays);

    Raw r(3);
    r.str("s", "v").u32(258).block("ba").u32(1).block("x").u32(1281).block("e").u32(0);
    Bundle b(decode(r), true), to;
    vt::LogCapture odd;
    EXPECT_EQ(b.copyTo(&to), 0);
    EXPECT_EQ(dump(to.getBundle()), (Lines{"s|1025|v\0"s, "e|1281"}));
    EXPECT_EQ(captured(odd), (Lines{walkLine('E', "Unsupported type", "Unsupported type(258)"),
                                    walkLine('I', "Found string Array",
                                             "Found string Array. Key(e) number of strings(0)")}));
    vt::LogCapture none;
    EXPECT_EQ(b.copyTo(nullptr), 0);
    EXPECT_EQ(captured(none), Lines(3, walkLine('E', "User data in callback is NULL",
                                                "User data in callback is NULL")));

    bundle_keyval_t *str = entries(src)[0].second, *arr = entries(src)[1].second;
    const struct {
        int type;
        bundle_keyval_t* kv;
        const char *needle, *what;
    } cases[] = {{BUNDLE_TYPE_STR, arr, "Failed to get basic string", "basic string for"},
                 {BUNDLE_TYPE_STR_ARRAY, str, "Failed to get string array", "string array for"},
                 {BUNDLE_TYPE_BYTE, arr, "Failed to get bytes", "bytes for"}};
    for (const auto& c : cases) {
        Bundle into;
        vt::LogCapture bad;
        Bundle::bundle_iterator_cb("k", c.type, c.kv, &into);
        EXPECT_EQ(into.getCount(), 0) << c.type;
        EXPECT_EQ(captured(bad),
                  Lines{walkLine('E', c.needle,
                                 "Failed to get "s + c.what + " key(k). err(Invalid parameter)")})
            << c.type;
    }
    bundle_free(src);
}

}  // namespace
