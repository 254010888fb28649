// SPDX-License-Identifier: Apache-2.0
/* Desktop stand-in for the Tizen package information interface. */
#ifndef __TIZEN_APPFW_PACKAGE_INFO_H
#define __TIZEN_APPFW_PACKAGE_INFO_H

#include <tizen.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct package_info_s* package_info_h;

int package_info_create(const char* package, package_info_h* package_info);
int package_info_destroy(package_info_h package_info);
int package_info_get_package(package_info_h package_info, char** package);
int package_info_get_label(package_info_h package_info, char** label);
int package_info_get_version(package_info_h package_info, char** version);

#ifdef __cplusplus
}
#endif

#endif
