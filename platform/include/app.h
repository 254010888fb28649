// SPDX-License-Identifier: Apache-2.0
/* Desktop stand-in for the Tizen UI application framework. */
#ifndef __TIZEN_APPFW_APP_H__
#define __TIZEN_APPFW_APP_H__

#include <tizen.h>
#include <app_control.h>
#include <app_common.h>
#include <app_types.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef bool (*app_create_cb)(void* user_data);
typedef void (*app_pause_cb)(void* user_data);
typedef void (*app_resume_cb)(void* user_data);
typedef void (*app_terminate_cb)(void* user_data);
typedef void (*app_control_cb)(app_control_h app_control, void* user_data);

typedef struct {
    app_create_cb create;
    app_terminate_cb terminate;
    app_pause_cb pause;
    app_resume_cb resume;
    app_control_cb app_control;
} ui_app_lifecycle_callback_s;

int ui_app_main(int argc, char** argv, ui_app_lifecycle_callback_s* callback, void* user_data);
void ui_app_exit(void);
int ui_app_add_event_handler(app_event_handler_h* event_handler, app_event_type_e event_type,
                             app_event_cb callback, void* user_data);
int ui_app_remove_event_handler(app_event_handler_h event_handler);
app_device_orientation_e app_get_device_orientation(void);

#ifdef __cplusplus
}
#endif

#endif
