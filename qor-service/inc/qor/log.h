// SPDX-License-Identifier: Apache-2.0
// Log tag and line format shared by the launcher and the compatibility layer's service.
// Every line reads "<file>: <function>(<line>) > <message>" under the app's name as tag.
#ifndef QOR_LOG_H
#define QOR_LOG_H

#include <app_common.h>
#include <dlog.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

// This source file's own cached tag: fetched at its first log line, never released.
static char* qor_tag __attribute__((unused)) = NULL;

// Replaces, in place, every byte outside 33..126 with '_'; returns `tag`.
static inline char* qor_clean_tag(char* tag) {
    for (unsigned char* p = (unsigned char*)tag; p && *p; ++p)
        if (*p < 33 || *p > 126) *p = '_';
    return tag;
}

// Leaves errno as it found it: a log line's arguments may read it (strerror(errno)) before
// or after this runs, and the name lookup may set it.
static inline const char* get_qor_tag(void) {
    if (qor_tag) return qor_tag;
    int saved = errno;
    char* name = NULL;
    if (app_get_name(&name) == APP_ERROR_NONE && name != NULL) qor_tag = qor_clean_tag(name);
    errno = saved;
    return qor_tag ? qor_tag : "UNKNOWN";
}

// The part after the last '/' of a build-time file name.
static inline const char* get_base_name(const char* path) {
    const char* slash = path ? strrchr(path, '/') : NULL;
    return slash ? slash + 1 : path;
}

// `fmt` must be a literal: untrusted text only ever goes in as an argument.
#define QOR_LOG(prio, fmt, ...)                                                             \
    dlog_print(prio, get_qor_tag(), "%s: %s(%d) > " fmt, get_base_name(__FILE__), __func__, \
               __LINE__, ##__VA_ARGS__)
// dlog.h brings its own LOGI and LOGE; these replace them.
#undef LOGI
#undef LOGE
#define LOGI(fmt, ...) QOR_LOG(DLOG_INFO, fmt, ##__VA_ARGS__)
#define LOGE(fmt, ...) QOR_LOG(DLOG_ERROR, fmt, ##__VA_ARGS__)

#endif
