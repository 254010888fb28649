// SPDX-License-Identifier: Apache-2.0
// The bundle service (bundle.h) and the Bundle wrapper with its walk.
#include <gtest/gtest.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <memory>

#include "Bundle.h"
#include "TestDevice.h"

using namespace std::string_literals;

namespace {

using Lines = std::vector<std::string>;

// Every entry as "<key>|<type>|<value>|<value>...", sizes included, in the bundle's order.
Lines dump(bundle* b) {
    Lines out;
    auto one = [](const char* key, int, const bundle_keyval_t* entry, void* d) {
        auto* kv = const_cast<bundle_keyval_t*>(entry);
        Lines& out = *static_cast<Lines*>(d);
        void **vals = nullptr, *v = nullptr;
        unsigned int n = 0;
        size_t *sizes = nullptr, size = 0;
        out.push_back(key + "|"s + std::to_string(bundle_keyval_get_type(kv)));
        if (bundle_keyval_get_array_val(kv, &vals, &n, &sizes) == 0)
            for (unsigned int i = 0; i < n; ++i)
                out.back() += "|" + std::string((char*)vals[i], sizes[i]);
        else if (bundle_keyval_get_basic_val(kv, &v, &size) == 0)
            out.back() += "|" + std::string((char*)v, size);
    };
    bundle_foreach(b, one, &out);
    return out;
}

std::string logged(char prio, const std::string& msg, const char* func = "bundle_iterator_cb") {
    return vt::logBody(vt::logLine(prio, "", "src/Bundle.cpp", func, msg));
}

// The encoded layout by hand: "VXB1", a count and big-endian u32 fields, as base64 text.
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

TEST(BundleService, RefusesMalformedEncodings) {
    const std::string good = Raw(1).str("k", "v"), empty = Raw(0);  // 8 bytes: one "="
    const Raw str(1), arr = Raw(1).u32(1281).block("k");
    bundle* ok = decode(good);
    ASSERT_NE(ok, nullptr) << "the hand-built layout itself decodes";
    bundle_free(ok);
    const std::pair<const char*, std::string> cases[] = {
        // clang-format off
        {"empty", ""}, {"not base64", "VlhC!!AA"}, {"length not a multiple of four", good.substr(1)},
        {"padding in the middle", "VlhCMQ==" + good}, {"terminator counted", good + '\0'},
        {"unused bits set", empty.substr(0, 10) + "B" + empty.substr(11)},
        {"wrong magic", empty.substr(0, 5) + "Y" + empty.substr(6)}, {"no count", Raw()},
        {"count beyond entries", Raw(2).str("k", "v")}, {"huge count", Raw(0xffffffff).str("k", "v")},
        {"unknown type", Raw(str).u32(3).block("k").block("v")}, {"empty key", Raw(str).str("", "v")},
        {"key with NUL", Raw(str).str("k\0x"s, "v")}, {"str with NUL", Raw(str).str("k", "a\0b"s)},
        {"value past the end", Raw(str).u32(1025).block("k").u32(0xffffffff)},
        {"huge array count", Raw(arr).u32(0x7fffffff).block("x")},
        {"element past the end", Raw(arr).u32(1).u32(9)}, {"element with NUL", Raw(arr).u32(1).block("\0"s)},
        {"duplicate key", Raw(2).str("k", "v").str("k", "w")},
        {"trailing bytes", Raw(str).str("k", "v").raw("x")},
        // clang-format on
    };
    for (const auto& c : cases) {
        set_last_result(0);
        bundle* b = decode(c.second);
        EXPECT_EQ(b, nullptr) << c.first;
        EXPECT_EQ(get_last_result(), BUNDLE_ERROR_INVALID_PARAMETER) << c.first;
        if (b) bundle_free(b);
    }
}

// Copying walks every entry, logging arrays, and keeps sizes exactly, through encoding
// too; a key is held once.
TEST(BundleWrapper, WalkCopiesAndLogs) {
    const char* arr[] = {"", "x y", "\xc3\xa9t\xc3\xa9"};
    Bundle src;
    EXPECT_EQ(src.addString("s", "line\nbreak"), 0);
    EXPECT_EQ(src.addStringArray("a", arr, 3), 0);
    EXPECT_EQ(src.addBytes("b", "\x01\x00\x02", 3), 0);
    EXPECT_EQ(src.addString("a", "again"), BUNDLE_ERROR_KEY_EXISTS);
    const Lines entries = {"s|1025|line\nbreak\0"s, "a|1281|\0|x y\0|\xc3\xa9t\xc3\xa9\0"s,
                           "b|2|\x01\x00\x02"s};
    Bundle copied;
    vt::LogCapture log;
    EXPECT_EQ(copied.copy(src.getBundle()), 0);
    EXPECT_EQ(dump(copied.getBundle()), entries);
    Lines got;
    for (const std::string& l : log.lines()) got.push_back(vt::logBody(l));
    EXPECT_EQ(got, (Lines{logged('I', "Found string Array. Key(a) number of strings(3)"),
                          logged('I', "Str(0) = "), logged('I', "Str(1) = x y"),
                          logged('I', "Str(2) = \xc3\xa9t\xc3\xa9")}));
    src.addString("extra", "1");
    EXPECT_EQ(copied.copy(src.getBundle()), 0);  // the second time, only "extra" is new
    EXPECT_EQ(copied.getCount(), 4);
    int len = 0;
    bundle_raw* raw = copied.encode(len);
    std::unique_ptr<Bundle> back(copied.decode(raw, len));  // a decoded copy is owned
    free(raw);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(dump(back->getBundle()), dump(copied.getBundle()));
}

}  // namespace
