// SPDX-License-Identifier: Apache-2.0
#include "Bundle.h"

#include <qor/log.h>

using std::string;

Bundle::Bundle() {
    mBundleH = bundle_create();
    mOwnBundle = true;
}

Bundle::Bundle(bundle* b, bool own) {
    mBundleH = b;
    mOwnBundle = own;
}

Bundle::~Bundle() {
    if (mOwnBundle && mBundleH) bundle_free(mBundleH);
}

bundle* Bundle::getBundle() { return mBundleH; }

int Bundle::getCount() { return bundle_get_count(mBundleH); }

bool Bundle::remove(const char* key) { return bundle_del(mBundleH, key) == 0; }

bundle_type Bundle::getType(const char* key) {
    return static_cast<bundle_type>(bundle_get_type(mBundleH, key));
}

int Bundle::addBytes(const char* key, const void* b, size_t len) {
    return bundle_add_byte(mBundleH, key, b, len);
}

void* Bundle::getBytes(const char* key, size_t& len) {
    void* bytes = NULL;
    if (bundle_get_byte(mBundleH, key, &bytes, &len) != 0) return NULL;
    return bytes;
}

int Bundle::addString(const string& key, const string& str) {
    return bundle_add_str(mBundleH, key.c_str(), str.c_str());
}

int Bundle::addString(const char* key, const char* str) {
    return bundle_add_str(mBundleH, key, str);
}

string Bundle::getString(const char* key) {
    char* str = NULL;
    if (bundle_get_str(mBundleH, key, &str) != 0 || !str) return string();
    return string(str);
}

int Bundle::getString(const char* key, char** str) { return bundle_get_str(mBundleH, key, str); }

int Bundle::addStringArray(const char* key, const char** strArray, int len) {
    return bundle_add_str_array(mBundleH, key, strArray, len);
}

const char** Bundle::getStringArray(const char* key, int& len) {
    return bundle_get_str_array(mBundleH, key, &len);
}

bundle_raw* Bundle::encode(int& len) {
    len = 0;
    bundle_raw* raw = NULL;
    if (bundle_encode(mBundleH, &raw, &len) != 0) return NULL;
    return raw;
}

Bundle* Bundle::decode(const bundle_raw* enc, int len) {
    bundle* b = bundle_decode(enc, len);
    if (!b) {
        LOGE("Failed to decode bundle. err(%s)", get_error_message(get_last_result()));
        return NULL;
    }
    return new Bundle(b, true);
}

int Bundle::copyTo(IBundleKeyValueListener* l) {
    bundle_foreach(mBundleH, bundle_iterator_cb, l);
    return get_last_result();
}

int Bundle::copy(bundle* b) {
    bundle_foreach(b, bundle_iterator_cb, this);
    return get_last_result();
}

void Bundle::onStringAdded(const char* key, const char* str) { addString(key, str); }

void Bundle::onStringArrayAdded(const char* key, const char** strArray, int len) {
    addStringArray(key, strArray, len);
}

void Bundle::onBytesAdded(const char* key, const void* bytes, size_t len) {
    addBytes(key, bytes, len);
}

void Bundle::bundle_iterator_cb(const char* key, int type, const bundle_keyval_t* kv,
                                void* user_data) {
    IBundleKeyValueListener* listener = static_cast<IBundleKeyValueListener*>(user_data);
    if (!listener) {
        LOGE("User data in callback is NULL");
        return;
    }
    // The platform takes non-const entries although it hands them out as const.
    bundle_keyval_t* entry = const_cast<bundle_keyval_t*>(kv);
    switch (type) {
        case BUNDLE_TYPE_STR: {
            void* value = NULL;
            size_t size = 0;
            int ret = bundle_keyval_get_basic_val(entry, &value, &size);
            if (ret == 0) {
                listener->onStringAdded(key, static_cast<const char*>(value));
            } else {
                const char* why = get_error_message(ret);
                LOGE("Failed to get basic string for key(%s). err(%s)", key, why);
            }
            break;
        }
        case BUNDLE_TYPE_STR_ARRAY: {
            void** array = NULL;
            unsigned int count = 0;
            size_t* sizes = NULL;
            int ret = bundle_keyval_get_array_val(entry, &array, &count, &sizes);
            if (ret == 0) {
                LOGI("Found string Array. Key(%s) number of strings(%d)", key, (int)count);
                for (unsigned int i = 0; i < count; ++i)
                    LOGI("Str(%d) = %s", (int)i, static_cast<const char*>(array[i]));
                const char** strings = const_cast<const char**>(reinterpret_cast<char**>(array));
                listener->onStringArrayAdded(key, strings, (int)count);
            } else {
                const char* why = get_error_message(ret);
                LOGE("Failed to get string array for key(%s). err(%s)", key, why);
            }
            break;
        }
        case BUNDLE_TYPE_BYTE: {
            void* value = NULL;
            size_t size = 0;
            int ret = bundle_keyval_get_basic_val(entry, &value, &size);
            if (ret == 0)
                listener->onBytesAdded(key, value, size);
            else
                LOGE("Failed to get bytes for key(%s). err(%s)", key, get_error_message(ret));
            break;
        }
        default:
            LOGE("Unsupported type(%d)", type);
            break;
    }
}
