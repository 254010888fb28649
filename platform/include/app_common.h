// SPDX-License-Identifier: Apache-2.0
/* Desktop stand-in for the Tizen application framework queries. */
#ifndef __TIZEN_APPFW_APP_COMMON_H__
#define __TIZEN_APPFW_APP_COMMON_H__

#include <tizen.h>
#include <app_types.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct app_event_handler* app_event_handler_h;
typedef struct app_event_info* app_event_info_h;
typedef void (*app_event_cb)(app_event_info_h event_info, void* user_data);

typedef enum {
    APP_EVENT_LOW_MEMORY,
    APP_EVENT_LOW_BATTERY,
    APP_EVENT_LANGUAGE_CHANGED,
    APP_EVENT_DEVICE_ORIENTATION_CHANGED,
    APP_EVENT_REGION_FORMAT_CHANGED,
    APP_EVENT_SUSPENDED_STATE_CHANGED,
} app_event_type_e;

typedef enum {
    APP_DEVICE_ORIENTATION_0 = 0,
    APP_DEVICE_ORIENTATION_90 = 90,
    APP_DEVICE_ORIENTATION_180 = 180,
    APP_DEVICE_ORIENTATION_270 = 270,
} app_device_orientation_e;

int app_get_id(char** id);
int app_get_name(char** name);
int app_get_version(char** version);
char* app_get_data_path(void);
char* app_get_cache_path(void);
char* app_get_resource_path(void);
char* app_get_shared_data_path(void);
char* app_get_shared_resource_path(void);
char* app_get_shared_trusted_path(void);
char* app_get_external_data_path(void);
char* app_get_external_cache_path(void);
char* app_get_external_shared_data_path(void);
char* app_get_tep_resource_path(void);

#ifdef __cplusplus
}
#endif

#endif
