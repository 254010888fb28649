// SPDX-License-Identifier: Apache-2.0
/* Desktop stand-in for the EFL extension's hardware key events. */
#ifndef __EFL_EXTENSION_EVENTS_H__
#define __EFL_EXTENSION_EVENTS_H__

#include <Elementary.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum _Eext_Callback_Type {
    EEXT_CALLBACK_BACK,
    EEXT_CALLBACK_MORE,
    EEXT_CALLBACK_LAST
} Eext_Callback_Type;

typedef void (*Eext_Event_Cb)(void* data, Evas_Object* obj, void* event_info);

EAPI void eext_object_event_callback_add(Evas_Object* obj, Eext_Callback_Type type,
                                         Eext_Event_Cb func, void* data);
EAPI void* eext_object_event_callback_del(Evas_Object* obj, Eext_Callback_Type type,
                                          Eext_Event_Cb func);

#ifdef __cplusplus
}
#endif

#endif
