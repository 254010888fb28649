// SPDX-License-Identifier: Apache-2.0
// Base error interface: the per-thread last result and the error texts.
#include <tizen.h>
#include <app_types.h>
#include <app_control.h>
#include <app_manager.h>
#include <bundle.h>
#include <package_manager.h>

namespace {
thread_local int lastResult = TIZEN_ERROR_NONE;

struct Text {
    int code;
    const char* text;
};

// Module codes first: they are distinct from the common ones.
const Text kTexts[] = {
    {TIZEN_ERROR_NONE, "Successful"},
    {TIZEN_ERROR_NOT_PERMITTED, "Operation not permitted"},
    {TIZEN_ERROR_NO_SUCH_FILE, "No such file or directory"},
    {TIZEN_ERROR_IO_ERROR, "I/O error"},
    {TIZEN_ERROR_TRY_AGAIN, "Try again"},
    {TIZEN_ERROR_OUT_OF_MEMORY, "Out of memory"},
    {TIZEN_ERROR_PERMISSION_DENIED, "Permission denied"},
    {TIZEN_ERROR_RESOURCE_BUSY, "Device or resource busy"},
    {TIZEN_ERROR_FILE_EXISTS, "File exists"},
    {TIZEN_ERROR_INVALID_PARAMETER, "Invalid parameter"},
    {TIZEN_ERROR_INVALID_OPERATION, "Function not implemented"},
    {TIZEN_ERROR_NO_DATA, "No data available"},
    {TIZEN_ERROR_CONNECTION_TIME_OUT, "Connection timed out"},
    {TIZEN_ERROR_ALREADY_IN_PROGRESS, "Operation already in progress"},
    {TIZEN_ERROR_CANCELED, "Operation canceled"},
    {TIZEN_ERROR_KEY_NOT_AVAILABLE, "Required key not available"},
    {TIZEN_ERROR_KEY_REJECTED, "Key was rejected by service"},
    {TIZEN_ERROR_UNKNOWN, "Unknown error"},
    {TIZEN_ERROR_TIMED_OUT, "Time out"},
    {TIZEN_ERROR_NOT_SUPPORTED, "Not supported"},
    {TIZEN_ERROR_USER_NOT_CONSENTED, "Not Consented"},
    {TIZEN_ERROR_DEVICE_POLICY_RESTRICTION, "Device policy restriction"},
    {TIZEN_ERROR_END_OF_COLLECTION, "End of collection"},
    {APP_ERROR_INVALID_CONTEXT, "Invalid application context"},
    {APP_CONTROL_ERROR_APP_NOT_FOUND, "The application is not found"},
    {APP_CONTROL_ERROR_INVALID_DATA_TYPE, "Invalid data type"},
    {APP_CONTROL_ERROR_LAUNCH_REJECTED, "The application cannot be launched now"},
    {APP_CONTROL_ERROR_LAUNCH_FAILED, "Internal launch error"},
    {APP_MANAGER_ERROR_NO_SUCH_APP, "No such application"},
    {APP_MANAGER_ERROR_DB_FAILED, "Database error"},
    {APP_MANAGER_ERROR_INVALID_PACKAGE, "Invalid package"},
    {APP_MANAGER_ERROR_APP_NO_RUNNING, "The application is not running"},
    {APP_MANAGER_ERROR_REQUEST_FAILED, "Internal request failed"},
    {PACKAGE_MANAGER_ERROR_NO_SUCH_PACKAGE, "No such package"},
    {PACKAGE_MANAGER_ERROR_SYSTEM_ERROR, "Severe system error"},
    {BUNDLE_ERROR_KEY_EXISTS, "Key exists"},
};
}  // namespace

extern "C" {

EXPORT_API int get_last_result(void) { return lastResult; }

EXPORT_API void set_last_result(int err) { lastResult = err; }

EXPORT_API char* get_error_message(int err) {
    for (const Text& t : kTexts)
        if (t.code == err) return const_cast<char*>(t.text);
    return const_cast<char*>("Unknown error");
}
}
