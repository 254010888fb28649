// SPDX-License-Identifier: Apache-2.0
// Fuzzes the decoder of launch requests that reach a running app ("appcontrol <text>"
// control messages): any text decodes to a request whose every field reads back, or to
// nothing.
#include <app_control.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "platform_decoders.h"

namespace {

bool readExtra(app_control_h h, const char* key, void*) {
    bool array = false;
    if (app_control_is_extra_data_array(h, key, &array) != APP_CONTROL_ERROR_NONE) abort();
    if (array) {
        char** values = nullptr;
        int n = 0;
        if (app_control_get_extra_data_array(h, key, &values, &n) != APP_CONTROL_ERROR_NONE)
            abort();
        for (int i = 0; i < n; ++i) free(values[i]);
        free(values);
    } else {
        char* value = nullptr;
        int ret = app_control_get_extra_data(h, key, &value);
        if (ret != APP_CONTROL_ERROR_NONE && ret != APP_CONTROL_ERROR_INVALID_DATA_TYPE) abort();
        free(value);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);  // NUL-terminated copy
    app_control_h h = appcontrol_from_message(text.c_str());
    if (!h) return 0;
    for (int (*get)(app_control_h, char**) :
         {app_control_get_operation, app_control_get_uri, app_control_get_mime,
          app_control_get_category, app_control_get_app_id, app_control_get_caller}) {
        char* s = nullptr;
        get(h, &s);
        free(s);
    }
    bool requested = false;
    app_control_is_reply_requested(h, &requested);
    app_control_foreach_extra_data(h, readExtra, nullptr);
    app_control_h copy = nullptr;
    if (app_control_clone(&copy, h) != APP_CONTROL_ERROR_NONE) abort();
    app_control_destroy(copy);
    app_control_destroy(h);
    return 0;
}
