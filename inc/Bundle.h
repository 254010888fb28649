// SPDX-License-Identifier: Apache-2.0
#ifndef VORNIX_BUNDLE_H
#define VORNIX_BUNDLE_H

#include <bundle.h>

#include <string>

// Receives the entries of a bundle one at a time. What it is handed belongs to
// the bundle being walked: a listener copies whatever it keeps.
class IBundleKeyValueListener {
public:
    virtual ~IBundleKeyValueListener() {}
    virtual void onStringAdded(const char* key, const char* str) = 0;
    virtual void onStringArrayAdded(const char* key, const char** strArray, int len) = 0;
    virtual void onBytesAdded(const char* key, const void* bytes, size_t len) = 0;
};

// An owning or borrowing wrapper over a platform bundle. Never copied. getString(key, char**),
// getBytes() and getStringArray() lend the bundle's own data: not freed, valid while the entry
// is; encode() hands out text the caller frees with free(), decode() a new Bundle it deletes.
class Bundle : public IBundleKeyValueListener {
public:
    Bundle();
    Bundle(bundle* b, bool own);
    virtual ~Bundle();

    bundle* getBundle();
    int getCount();
    bool remove(const char* key);
    bundle_type getType(const char* key);

    int addBytes(const char* key, const void* b, size_t len);
    void* getBytes(const char* key, size_t& len);
    int addString(const std::string& key, const std::string& str);
    int addString(const char* key, const char* str);
    std::string getString(const char* key);
    int getString(const char* key, char** str);
    int addStringArray(const char* key, const char** strArray, int len);
    const char** getStringArray(const char* key, int& len);

    bundle_raw* encode(int& len);
    Bundle* decode(const bundle_raw* enc, int len);

    int copyTo(IBundleKeyValueListener* l);
    int copy(bundle* b);

    void onStringAdded(const char* key, const char* str) override;
    void onStringArrayAdded(const char* key, const char** strArray, int len) override;
    void onBytesAdded(const char* key, const void* bytes, size_t len) override;

    static void bundle_iterator_cb(const char* key, int type, const bundle_keyval_t* kv,
                                   void* user_data);

private:
    Bundle(const Bundle&) = delete;
    Bundle& operator=(const Bundle&) = delete;

    bundle* mBundleH;
    bool mOwnBundle;
};

#endif
