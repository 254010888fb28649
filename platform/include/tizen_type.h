// SPDX-License-Identifier: Apache-2.0
/* Desktop stand-in for the Tizen base types header. */
#ifndef __TIZEN_COMMON_TIZEN_TYPE_H__
#define __TIZEN_COMMON_TIZEN_TYPE_H__

#include <stdbool.h>

#ifndef NULL
#ifdef __cplusplus
#define NULL 0
#else
#define NULL ((void*)0)
#endif
#endif

#endif
