// SPDX-License-Identifier: Apache-2.0
/* Desktop stand-in for the Tizen application information interface. */
#ifndef __TIZEN_APPFW_APP_INFO_H
#define __TIZEN_APPFW_APP_INFO_H

#include <tizen.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct app_info_s* app_info_h;

int app_info_create(const char* app_id, app_info_h* app_info);
int app_info_destroy(app_info_h app_info);
int app_info_clone(app_info_h* clone, app_info_h app_info);
int app_info_get_app_id(app_info_h app_info, char** app_id);
int app_info_get_exec(app_info_h app_info, char** exec);
int app_info_get_label(app_info_h app_info, char** label);
int app_info_get_icon(app_info_h app_info, char** path);
int app_info_get_package(app_info_h app_info, char** package);

#ifdef __cplusplus
}
#endif

#endif
