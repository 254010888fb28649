// SPDX-License-Identifier: Apache-2.0
/* Desktop stand-in for the Tizen base header. */
#ifndef __TIZEN_H__
#define __TIZEN_H__

#include <tizen_type.h>
#include <tizen_error.h>

#ifndef EXPORT_API
#define EXPORT_API __attribute__((visibility("default")))
#endif
#ifndef DEPRECATED_API
#define DEPRECATED_API __attribute__((deprecated))
#endif
#ifndef DEPRECATED_TYPE
#define DEPRECATED_TYPE __attribute__((deprecated))
#endif

#endif
