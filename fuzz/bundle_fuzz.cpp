// SPDX-License-Identifier: Apache-2.0
// Arbitrary bytes into bundle_decode. The first byte chooses how the rest is used:
// odd, as the binary layout (base64-encoded here, so the layout checks are reached
// often); even, as the encoded text itself. Whatever decodes must encode to the
// same text and decode again to an equal bundle.
#include <bundle.h>
#include <glib.h>

#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace {

std::string toBase64(const std::string& in) {
    gchar* text = g_base64_encode(reinterpret_cast<const guchar*>(in.data()), in.size());
    std::string out(text);
    g_free(text);
    return out;
}

std::vector<std::string> entries(bundle* b) {
    std::vector<std::string> out;
    bundle_foreach(
        b,
        [](const char* key, int type, const bundle_keyval_t* kv, void* data) {
            auto* e = const_cast<bundle_keyval_t*>(kv);
            std::string s = std::string(key) + '\x1f' + std::to_string(type);
            void** vals = nullptr;
            unsigned int n = 0;
            size_t* sizes = nullptr;
            void* v = nullptr;
            size_t size = 0;
            if (bundle_keyval_get_array_val(e, &vals, &n, &sizes) == 0) {
                for (unsigned int i = 0; i < n; ++i)
                    s += '\x1f' + std::string(static_cast<char*>(vals[i]), sizes[i]);
            } else if (bundle_keyval_get_basic_val(e, &v, &size) == 0) {
                s += '\x1f' + std::string(static_cast<char*>(v), size);
            } else {
                abort();
            }
            static_cast<std::vector<std::string>*>(data)->push_back(s);
        },
        &out);
    if (out.size() != static_cast<size_t>(bundle_get_count(b))) abort();
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1u << 20)) return 0;
    std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string text = (data[0] & 1) ? toBase64(rest) : rest;
    bundle* b = bundle_decode(reinterpret_cast<const bundle_raw*>(text.data()), text.size());
    if (!b) {
        if (get_last_result() != BUNDLE_ERROR_INVALID_PARAMETER) abort();
        return 0;
    }
    bundle_raw* raw = nullptr;
    int len = 0;
    if (bundle_encode(b, &raw, &len) != BUNDLE_ERROR_NONE) abort();
    if (std::string(reinterpret_cast<char*>(raw), len) != text) abort();
    bundle* again = bundle_decode(raw, len);
    if (!again || entries(again) != entries(b)) abort();
    free(raw);
    bundle_free(again);
    bundle_free(b);
    return 0;
}
