// SPDX-License-Identifier: Apache-2.0
// The bundle: named string, string-array, byte and byte-array entries kept in
// insertion order.
//
// Encoded form (bundle_encode / bundle_decode). Integers are unsigned 32-bit,
// big-endian. The binary layout below is written out as base64 text (RFC 4648
// alphabet, "=" padding, no line breaks) with a terminating NUL that `len` does
// not count; the caller releases it with free().
//
//   magic    4 bytes  "VXB1" (layout version 1)
//   count    u32      number of entries
//   count times, in insertion order:
//     type   u32      1025 str, 1281 str array, 2 byte, 258 byte array
//     klen   u32      key length in bytes, at least 1; the key has no NUL byte
//     key    klen bytes
//     str, byte:      vlen u32, then vlen bytes (a str without its terminator)
//     arrays:         n u32, then n times: elen u32, then elen bytes
//   nothing after the last entry
//
// Strings (values and array elements) hold no NUL byte. Decoding takes its input
// as hostile: every count and length is checked against the bytes left before it
// is used, so nothing is allocated beyond what the input really carries; keys are
// unique. Anything else is refused with BUNDLE_ERROR_INVALID_PARAMETER. The base64
// text must be canonical (unused bits zero), so decode and encode are inverses.
#include <bundle.h>
#include <tizen.h>
#include <tizen_error.h>

#include <glib.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <climits>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

struct keyval_t {
    std::string key;
    int type = BUNDLE_TYPE_NONE;
    // A str holds one value with its terminator; arrays hold their elements, str
    // elements with terminators; a byte entry holds its bytes.
    std::vector<std::string> values;
    // Views handed out by the array getters, kept in step with `values`.
    std::vector<void*> pointers;
    std::vector<size_t> sizes;

    bool isArray() const { return (type & BUNDLE_TYPE_ARRAY) != 0; }
    void refreshViews() {
        pointers.clear();
        sizes.clear();
        for (std::string& v : values) {
            pointers.push_back(&v[0]);
            sizes.push_back(v.size());
        }
        pointers.push_back(nullptr);  // never an empty vector: data() stays non-null
    }
};

struct _bundle_t {
    std::vector<std::unique_ptr<keyval_t>> entries;
    std::unordered_map<std::string, keyval_t*> index;
};

namespace {

const char kMagic[4] = {'V', 'X', 'B', '1'};
const size_t kMinEntry = 4 + 4 + 1 + 4;  // type, klen, a one-byte key, a count or length

keyval_t* find(bundle* b, const char* key) {
    auto it = b->index.find(key);
    return it == b->index.end() ? nullptr : it->second;
}

bool validKey(const char* key) { return key && *key; }

int add(bundle* b, const char* key, int type, std::vector<std::string> values) {
    if (find(b, key)) return BUNDLE_ERROR_KEY_EXISTS;
    auto kv = std::unique_ptr<keyval_t>(new (std::nothrow) keyval_t);
    if (!kv) return BUNDLE_ERROR_OUT_OF_MEMORY;
    kv->key = key;
    kv->type = type;
    kv->values = std::move(values);
    kv->refreshViews();
    b->index[kv->key] = kv.get();
    b->entries.push_back(std::move(kv));
    return BUNDLE_ERROR_NONE;
}

std::string withTerminator(const char* s) { return std::string(s, strlen(s) + 1); }

// --- base64 (GLib's codec) ---

std::string toBase64(const std::string& in) {
    gchar* text = g_base64_encode((const guchar*)in.data(), in.size());
    std::string out(text);
    g_free(text);
    return out;
}

// Strict: GLib's decoder skips what is not base64, so the input is taken only when it
// is exactly the encoding of what it decodes to (whole quads, padding only at the very
// end, unused bits zero).
bool fromBase64(const unsigned char* in, size_t len, std::string* out) {
    if (len % 4 != 0) return false;
    out->resize(len / 4 * 3 + 3);
    gint state = 0;
    guint save = 0;
    out->resize(g_base64_decode_step((const gchar*)in, len, (guchar*)&(*out)[0], &state, &save));
    std::string again = toBase64(*out);
    return again.size() == len && memcmp(again.data(), in, len) == 0;
}

// --- binary layout ---

void putU32(std::string* out, uint32_t v) {
    char b[4] = {(char)(v >> 24), (char)(v >> 16), (char)(v >> 8), (char)v};
    out->append(b, 4);
}

void putBlock(std::string* out, const std::string& bytes) {
    putU32(out, (uint32_t)bytes.size());
    out->append(bytes);
}

// A read cursor that never passes the end of its input.
struct Reader {
    const std::string& in;
    size_t pos = 0;

    size_t left() const { return in.size() - pos; }
    bool u32(uint32_t* v) {
        if (left() < 4) return false;
        const unsigned char* p = (const unsigned char*)in.data() + pos;
        *v = (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
        pos += 4;
        return true;
    }
    bool bytes(std::string* out) {
        uint32_t n;
        if (!u32(&n) || n > left()) return false;
        out->assign(in, pos, n);
        pos += n;
        return true;
    }
};

bool hasNul(const std::string& s) { return s.find('\0') != std::string::npos; }

bool knownType(uint32_t t) {
    return t == BUNDLE_TYPE_STR || t == BUNDLE_TYPE_STR_ARRAY || t == BUNDLE_TYPE_BYTE ||
           t == BUNDLE_TYPE_BYTE_ARRAY;
}

bool readEntry(Reader& r, bundle* b) {
    uint32_t type, n;
    std::string key;
    if (!r.u32(&type) || !knownType(type) || !r.bytes(&key) || key.empty() || hasNul(key) ||
        b->index.count(key))
        return false;
    bool isStr = type == BUNDLE_TYPE_STR || type == BUNDLE_TYPE_STR_ARRAY;
    std::vector<std::string> values;
    if (type & BUNDLE_TYPE_ARRAY) {
        if (!r.u32(&n) || n > r.left() / 4) return false;
        values.resize(n);
    } else {
        values.resize(1);
    }
    for (std::string& v : values) {
        if (!r.bytes(&v) || (isStr && hasNul(v))) return false;
        if (isStr) v.push_back('\0');
    }
    return add(b, key.c_str(), (int)type, std::move(values)) == BUNDLE_ERROR_NONE;
}

bundle* decodeLayout(const std::string& raw) {
    Reader r{raw};
    uint32_t count;
    if (raw.compare(0, 4, kMagic, 4) != 0) return nullptr;
    r.pos = 4;
    if (!r.u32(&count) || count > r.left() / kMinEntry) return nullptr;
    bundle* b = bundle_create();
    if (!b) return nullptr;
    for (uint32_t i = 0; i < count; ++i)
        if (!readEntry(r, b)) break;
    if (b->entries.size() != count || r.left() != 0) {
        bundle_free(b);
        return nullptr;
    }
    return b;
}

}  // namespace

extern "C" {

EXPORT_API bundle* bundle_create(void) {
    bundle* b = new (std::nothrow) _bundle_t;
    set_last_result(b ? BUNDLE_ERROR_NONE : BUNDLE_ERROR_OUT_OF_MEMORY);
    return b;
}

EXPORT_API int bundle_free(bundle* b) {
    if (!b) return BUNDLE_ERROR_INVALID_PARAMETER;
    delete b;
    return BUNDLE_ERROR_NONE;
}

EXPORT_API int bundle_add_str(bundle* b, const char* key, const char* str) {
    if (!b || !validKey(key) || !str) return BUNDLE_ERROR_INVALID_PARAMETER;
    return add(b, key, BUNDLE_TYPE_STR, {withTerminator(str)});
}

EXPORT_API int bundle_get_str(bundle* b, const char* key, char** str) {
    if (!b || !key) return BUNDLE_ERROR_INVALID_PARAMETER;
    keyval_t* kv = find(b, key);
    if (!kv) return BUNDLE_ERROR_KEY_NOT_AVAILABLE;
    if (kv->type != BUNDLE_TYPE_STR) return BUNDLE_ERROR_INVALID_PARAMETER;
    if (str) *str = &kv->values[0][0];
    return BUNDLE_ERROR_NONE;
}

// A null element would reach readers as a null string; such arrays are refused.
EXPORT_API int bundle_add_str_array(bundle* b, const char* key, const char** str_array,
                                    const int len) {
    if (!b || !validKey(key) || len < 0 || (len > 0 && !str_array))
        return BUNDLE_ERROR_INVALID_PARAMETER;
    std::vector<std::string> values;
    for (int i = 0; i < len; ++i) {
        if (!str_array[i]) return BUNDLE_ERROR_INVALID_PARAMETER;
        values.push_back(withTerminator(str_array[i]));
    }
    return add(b, key, BUNDLE_TYPE_STR_ARRAY, std::move(values));
}

EXPORT_API const char** bundle_get_str_array(bundle* b, const char* key, int* len) {
    if (len) *len = 0;
    if (!b || !key) {
        set_last_result(BUNDLE_ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    keyval_t* kv = find(b, key);
    if (!kv || kv->type != BUNDLE_TYPE_STR_ARRAY) {
        set_last_result(kv ? BUNDLE_ERROR_INVALID_PARAMETER : BUNDLE_ERROR_KEY_NOT_AVAILABLE);
        return nullptr;
    }
    if (len) *len = (int)kv->values.size();
    set_last_result(BUNDLE_ERROR_NONE);
    return (const char**)kv->pointers.data();
}

EXPORT_API int bundle_add_byte(bundle* b, const char* key, const void* byte, const size_t size) {
    if (!b || !validKey(key) || (!byte && size > 0)) return BUNDLE_ERROR_INVALID_PARAMETER;
    return add(b, key, BUNDLE_TYPE_BYTE, {std::string((const char*)byte, size)});
}

EXPORT_API int bundle_get_byte(bundle* b, const char* key, void** byte, size_t* size) {
    if (!b || !key) return BUNDLE_ERROR_INVALID_PARAMETER;
    keyval_t* kv = find(b, key);
    if (!kv) return BUNDLE_ERROR_KEY_NOT_AVAILABLE;
    if (kv->type != BUNDLE_TYPE_BYTE) return BUNDLE_ERROR_INVALID_PARAMETER;
    if (byte) *byte = &kv->values[0][0];
    if (size) *size = kv->values[0].size();
    return BUNDLE_ERROR_NONE;
}

EXPORT_API int bundle_del(bundle* b, const char* key) {
    if (!b || !key) return BUNDLE_ERROR_INVALID_PARAMETER;
    keyval_t* kv = find(b, key);
    if (!kv) return BUNDLE_ERROR_KEY_NOT_AVAILABLE;
    b->index.erase(kv->key);
    for (auto it = b->entries.begin(); it != b->entries.end(); ++it)
        if (it->get() == kv) {
            b->entries.erase(it);
            break;
        }
    return BUNDLE_ERROR_NONE;
}

EXPORT_API int bundle_get_count(bundle* b) { return b ? (int)b->entries.size() : 0; }

EXPORT_API int bundle_get_type(bundle* b, const char* key) {
    if (!b || !key) {
        set_last_result(BUNDLE_ERROR_INVALID_PARAMETER);
        return BUNDLE_TYPE_NONE;
    }
    keyval_t* kv = find(b, key);
    set_last_result(kv ? BUNDLE_ERROR_NONE : BUNDLE_ERROR_KEY_NOT_AVAILABLE);
    return kv ? kv->type : BUNDLE_TYPE_NONE;
}

EXPORT_API bundle* bundle_dup(bundle* b_from) {
    if (!b_from) {
        set_last_result(BUNDLE_ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    bundle* b = bundle_create();
    if (!b) return nullptr;
    for (const auto& kv : b_from->entries)
        if (add(b, kv->key.c_str(), kv->type, kv->values) != BUNDLE_ERROR_NONE) {
            bundle_free(b);
            set_last_result(BUNDLE_ERROR_OUT_OF_MEMORY);
            return nullptr;
        }
    set_last_result(BUNDLE_ERROR_NONE);
    return b;
}

EXPORT_API void bundle_foreach(bundle* b, bundle_iterator_t iter, void* user_data) {
    if (!b || !iter) {
        set_last_result(BUNDLE_ERROR_INVALID_PARAMETER);
        return;
    }
    // By index over the entries present at the start: the callback may add or delete.
    size_t n = b->entries.size();
    for (size_t i = 0; i < n && i < b->entries.size(); ++i) {
        keyval_t* kv = b->entries[i].get();
        iter(kv->key.c_str(), kv->type, kv, user_data);
    }
    set_last_result(BUNDLE_ERROR_NONE);
}

EXPORT_API int bundle_keyval_get_type(bundle_keyval_t* kv) {
    set_last_result(kv ? BUNDLE_ERROR_NONE : BUNDLE_ERROR_INVALID_PARAMETER);
    return kv ? kv->type : -1;
}

EXPORT_API int bundle_keyval_type_is_array(bundle_keyval_t* kv) {
    set_last_result(kv ? BUNDLE_ERROR_NONE : BUNDLE_ERROR_INVALID_PARAMETER);
    return kv && kv->isArray() ? 1 : 0;
}

EXPORT_API int bundle_keyval_get_basic_val(bundle_keyval_t* kv, void** val, size_t* size) {
    if (!kv || kv->isArray()) return BUNDLE_ERROR_INVALID_PARAMETER;
    if (val) *val = &kv->values[0][0];
    if (size) *size = kv->values[0].size();
    return BUNDLE_ERROR_NONE;
}

EXPORT_API int bundle_keyval_get_array_val(bundle_keyval_t* kv, void*** array_val,
                                           unsigned int* array_len, size_t** array_element_size) {
    if (!kv || !kv->isArray()) return BUNDLE_ERROR_INVALID_PARAMETER;
    if (array_val) *array_val = kv->pointers.data();
    if (array_len) *array_len = (unsigned int)kv->values.size();
    if (array_element_size) *array_element_size = kv->sizes.data();
    return BUNDLE_ERROR_NONE;
}

EXPORT_API int bundle_encode(bundle* b, bundle_raw** r, int* len) {
    if (!b || !r || !len) return BUNDLE_ERROR_INVALID_PARAMETER;
    std::string raw(kMagic, 4);
    putU32(&raw, (uint32_t)b->entries.size());
    for (const auto& kv : b->entries) {
        putU32(&raw, (uint32_t)kv->type);
        putBlock(&raw, kv->key);
        bool isStr = kv->type == BUNDLE_TYPE_STR || kv->type == BUNDLE_TYPE_STR_ARRAY;
        if (kv->isArray()) putU32(&raw, (uint32_t)kv->values.size());
        for (const std::string& v : kv->values)
            putBlock(&raw, isStr ? v.substr(0, v.size() - 1) : v);
    }
    std::string text = toBase64(raw);
    if (text.size() > INT_MAX) return BUNDLE_ERROR_OUT_OF_MEMORY;
    char* out = (char*)malloc(text.size() + 1);
    if (!out) return BUNDLE_ERROR_OUT_OF_MEMORY;
    memcpy(out, text.c_str(), text.size() + 1);
    *r = (bundle_raw*)out;
    *len = (int)text.size();
    return BUNDLE_ERROR_NONE;
}

EXPORT_API bundle* bundle_decode(const bundle_raw* r, const int len) {
    std::string raw;
    bundle* b = nullptr;
    if (r && len > 0 && fromBase64(r, (size_t)len, &raw)) b = decodeLayout(raw);
    set_last_result(b ? BUNDLE_ERROR_NONE : BUNDLE_ERROR_INVALID_PARAMETER);
    return b;
}
}
