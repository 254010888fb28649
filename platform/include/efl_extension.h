// SPDX-License-Identifier: Apache-2.0
/* Desktop stand-in for the EFL extension library. */
#ifndef __EFL_EXTENSION_H__
#define __EFL_EXTENSION_H__

#include <Elementary.h>
#include <efl_extension_events.h>

#endif
