// SPDX-License-Identifier: Apache-2.0
/* Desktop stand-in for the Tizen bundle (key/value container). */
#ifndef __BUNDLE_H__
#define __BUNDLE_H__

#include <errno.h>
#include <stddef.h>
#include <tizen_error.h>

#ifdef __cplusplus
extern "C" {
#endif

#define API __attribute__((visibility("default")))
#define likely(x) __builtin_expect(x, 1)
#define unlikely(x) __builtin_expect(x, 0)

typedef enum {
    BUNDLE_ERROR_NONE = TIZEN_ERROR_NONE,
    BUNDLE_ERROR_OUT_OF_MEMORY = TIZEN_ERROR_OUT_OF_MEMORY,
    BUNDLE_ERROR_INVALID_PARAMETER = TIZEN_ERROR_INVALID_PARAMETER,
    BUNDLE_ERROR_KEY_NOT_AVAILABLE = TIZEN_ERROR_KEY_NOT_AVAILABLE,
    BUNDLE_ERROR_KEY_EXISTS = TIZEN_ERROR_BUNDLE | 0x01,
} bundle_error_e;

typedef struct _bundle_t bundle;
typedef unsigned char bundle_raw;

enum bundle_type_property {
    BUNDLE_TYPE_ARRAY = 0x0100,
    BUNDLE_TYPE_PRIMITIVE = 0x0200,
    BUNDLE_TYPE_MEASURABLE = 0x0400,
};

enum bundle_type {
    BUNDLE_TYPE_NONE = -1,
    BUNDLE_TYPE_ANY = 0,
    BUNDLE_TYPE_STR = 1 | BUNDLE_TYPE_MEASURABLE,
    BUNDLE_TYPE_STR_ARRAY = BUNDLE_TYPE_STR | BUNDLE_TYPE_ARRAY | BUNDLE_TYPE_MEASURABLE,
    BUNDLE_TYPE_BYTE = 2,
    BUNDLE_TYPE_BYTE_ARRAY = BUNDLE_TYPE_BYTE | BUNDLE_TYPE_ARRAY,
};

typedef struct keyval_t bundle_keyval_t;
typedef void (*bundle_iterator_t)(const char* key, const int type, const bundle_keyval_t* kv,
                                  void* user_data);

API bundle* bundle_create(void);
API int bundle_free(bundle* b);
API int bundle_add_str(bundle* b, const char* key, const char* str);
API int bundle_get_str(bundle* b, const char* key, char** str);
API int bundle_add_str_array(bundle* b, const char* key, const char** str_array, const int len);
API const char** bundle_get_str_array(bundle* b, const char* key, int* len);
API int bundle_add_byte(bundle* b, const char* key, const void* byte, const size_t size);
API int bundle_get_byte(bundle* b, const char* key, void** byte, size_t* size);
API int bundle_del(bundle* b, const char* key);
API int bundle_get_count(bundle* b);
API int bundle_get_type(bundle* b, const char* key);
API bundle* bundle_dup(bundle* b_from);
API void bundle_foreach(bundle* b, bundle_iterator_t iter, void* user_data);
API int bundle_keyval_get_type(bundle_keyval_t* kv);
API int bundle_keyval_type_is_array(bundle_keyval_t* kv);
API int bundle_keyval_get_basic_val(bundle_keyval_t* kv, void** val, size_t* size);
API int bundle_keyval_get_array_val(bundle_keyval_t* kv, void*** array_val, unsigned int* array_len,
                                    size_t** array_element_size);
API int bundle_encode(bundle* b, bundle_raw** r, int* len);
API bundle* bundle_decode(const bundle_raw* r, const int len);

#ifdef __cplusplus
}
#endif

#endif
