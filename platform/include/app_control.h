// SPDX-License-Identifier: Apache-2.0
/* Desktop stand-in for the Tizen application control interface. */
#ifndef __TIZEN_APPFW_APP_CONTROL_H__
#define __TIZEN_APPFW_APP_CONTROL_H__

#include <tizen.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct _bundle_t bundle;
typedef unsigned char bundle_raw;

typedef struct app_control_s* app_control_h;

typedef enum {
    APP_CONTROL_ERROR_NONE = TIZEN_ERROR_NONE,
    APP_CONTROL_ERROR_INVALID_PARAMETER = TIZEN_ERROR_INVALID_PARAMETER,
    APP_CONTROL_ERROR_OUT_OF_MEMORY = TIZEN_ERROR_OUT_OF_MEMORY,
    APP_CONTROL_ERROR_APP_NOT_FOUND = TIZEN_ERROR_APPLICATION | 0x21,
    APP_CONTROL_ERROR_KEY_NOT_FOUND = TIZEN_ERROR_KEY_NOT_AVAILABLE,
    APP_CONTROL_ERROR_KEY_REJECTED = TIZEN_ERROR_KEY_REJECTED,
    APP_CONTROL_ERROR_INVALID_DATA_TYPE = TIZEN_ERROR_APPLICATION | 0x22,
    APP_CONTROL_ERROR_LAUNCH_REJECTED = TIZEN_ERROR_APPLICATION | 0x23,
    APP_CONTROL_ERROR_PERMISSION_DENIED = TIZEN_ERROR_PERMISSION_DENIED,
    APP_CONTROL_ERROR_LAUNCH_FAILED = TIZEN_ERROR_APPLICATION | 0x24,
    APP_CONTROL_ERROR_TIMED_OUT = TIZEN_ERROR_TIMED_OUT,
    APP_CONTROL_ERROR_IO_ERROR = TIZEN_ERROR_IO_ERROR,
} app_control_error_e;

typedef enum {
    APP_CONTROL_RESULT_APP_STARTED = 1,
    APP_CONTROL_RESULT_SUCCEEDED = 0,
    APP_CONTROL_RESULT_FAILED = -1,
    APP_CONTROL_RESULT_CANCELED = -2,
} app_control_result_e;

typedef enum {
    APP_CONTROL_LAUNCH_MODE_SINGLE = 0,
    APP_CONTROL_LAUNCH_MODE_GROUP = 1,
} app_control_launch_mode_e;

#define APP_CONTROL_OPERATION_MAIN "http://tizen.org/appcontrol/operation/main"
#define APP_CONTROL_OPERATION_DEFAULT "http://tizen.org/appcontrol/operation/default"
#define APP_CONTROL_OPERATION_EDIT "http://tizen.org/appcontrol/operation/edit"
#define APP_CONTROL_OPERATION_VIEW "http://tizen.org/appcontrol/operation/view"
#define APP_CONTROL_OPERATION_PICK "http://tizen.org/appcontrol/operation/pick"
#define APP_CONTROL_OPERATION_CREATE_CONTENT "http://tizen.org/appcontrol/operation/create_content"
#define APP_CONTROL_OPERATION_CALL "http://tizen.org/appcontrol/operation/call"
#define APP_CONTROL_OPERATION_SEND "http://tizen.org/appcontrol/operation/send"
#define APP_CONTROL_OPERATION_SEND_TEXT "http://tizen.org/appcontrol/operation/send_text"
#define APP_CONTROL_OPERATION_SHARE "http://tizen.org/appcontrol/operation/share"
#define APP_CONTROL_OPERATION_DIAL "http://tizen.org/appcontrol/operation/dial"
#define APP_CONTROL_OPERATION_SEARCH "http://tizen.org/appcontrol/operation/search"
#define APP_CONTROL_OPERATION_DOWNLOAD "http://tizen.org/appcontrol/operation/download"
#define APP_CONTROL_OPERATION_PRINT "http://tizen.org/appcontrol/operation/print"
#define APP_CONTROL_OPERATION_COMPOSE "http://tizen.org/appcontrol/operation/compose"

typedef void (*app_control_reply_cb)(app_control_h request, app_control_h reply,
                                     app_control_result_e result, void* user_data);
typedef bool (*app_control_extra_data_cb)(app_control_h app_control, const char* key,
                                          void* user_data);
typedef bool (*app_control_app_matched_cb)(app_control_h app_control, const char* appid,
                                           void* user_data);
typedef int (*app_control_host_res_fn)(void* data);

int app_control_create(app_control_h* app_control);
int app_control_destroy(app_control_h app_control);
int app_control_clone(app_control_h* clone, app_control_h app_control);
int app_control_set_operation(app_control_h app_control, const char* operation);
int app_control_get_operation(app_control_h app_control, char** operation);
int app_control_set_uri(app_control_h app_control, const char* uri);
int app_control_get_uri(app_control_h app_control, char** uri);
int app_control_set_mime(app_control_h app_control, const char* mime);
int app_control_get_mime(app_control_h app_control, char** mime);
int app_control_set_category(app_control_h app_control, const char* category);
int app_control_get_category(app_control_h app_control, char** category);
int app_control_set_app_id(app_control_h app_control, const char* app_id);
int app_control_get_app_id(app_control_h app_control, char** app_id);
int app_control_add_extra_data(app_control_h app_control, const char* key, const char* value);
int app_control_add_extra_data_array(app_control_h app_control, const char* key,
                                     const char* value[], int length);
int app_control_remove_extra_data(app_control_h app_control, const char* key);
int app_control_get_extra_data(app_control_h app_control, const char* key, char** value);
int app_control_get_extra_data_array(app_control_h app_control, const char* key, char*** value,
                                     int* length);
int app_control_is_extra_data_array(app_control_h app_control, const char* key, bool* array);
int app_control_foreach_extra_data(app_control_h app_control, app_control_extra_data_cb callback,
                                   void* user_data);
int app_control_foreach_app_matched(app_control_h app_control, app_control_app_matched_cb callback,
                                    void* user_data);
int app_control_send_launch_request(app_control_h app_control, app_control_reply_cb callback,
                                    void* user_data);
int app_control_send_terminate_request(app_control_h app_control);
int app_control_reply_to_launch_request(app_control_h reply, app_control_h request,
                                        app_control_result_e result);
int app_control_get_caller(app_control_h app_control, char** id);
int app_control_is_reply_requested(app_control_h app_control, bool* requested);
int app_control_set_launch_mode(app_control_h app_control, app_control_launch_mode_e mode);
int app_control_get_launch_mode(app_control_h app_control, app_control_launch_mode_e* mode);

#ifdef __cplusplus
}
#endif

#endif
