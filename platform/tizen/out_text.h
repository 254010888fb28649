// SPDX-License-Identifier: Apache-2.0
// The getters' answer: a heap copy the caller frees, or the out-of-memory code. Every
// module's codes for these two are the platform's own (TIZEN_ERROR_*).
#ifndef VORNIX_PLATFORM_OUT_TEXT_H
#define VORNIX_PLATFORM_OUT_TEXT_H

#include <string.h>
#include <tizen_error.h>

#include <string>

inline int dupOut(const std::string& s, char** out) {
    char* c = strdup(s.c_str());
    if (!c) return TIZEN_ERROR_OUT_OF_MEMORY;
    *out = c;
    return TIZEN_ERROR_NONE;
}

#endif
