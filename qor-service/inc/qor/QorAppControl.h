// SPDX-License-Identifier: Apache-2.0
// Identifiers shared by the launcher and the compatibility layer.
#ifndef QOR_APP_CONTROL_H
#define QOR_APP_CONTROL_H

#include <app_control.h>

#define _QOR_PKG_ID "QOR111TBNX"
#define _QOR_APP_ID "QOR111TBNX.QorService"
#define _QOR_APPLICATION_EXE_NAME "QorApplication.exe"
#define _TIZEN_STORE_ID "org.tizen.tizenstore"
#define _OPERATION_ID_TIZEN_STORE_VIEW APP_CONTROL_OPERATION_VIEW
#define _VALUE_PRODUCT_DETAIL "tizenstore://ProductDetail/"

#endif
