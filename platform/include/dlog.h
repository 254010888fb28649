/* Desktop stand-in for the Tizen platform log. */
#ifndef _DLOG_H_
#define _DLOG_H_

#include <stdarg.h>
#include <string.h>
#include <tizen_error.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef LOG_TAG
#define LOG_TAG NULL
#endif

typedef enum {
    DLOG_ERROR_NONE = TIZEN_ERROR_NONE,
    DLOG_ERROR_INVALID_PARAMETER = TIZEN_ERROR_INVALID_PARAMETER,
    DLOG_ERROR_NOT_PERMITTED = TIZEN_ERROR_NOT_PERMITTED,
} dlog_error_e;

typedef enum {
    DLOG_UNKNOWN = 0,
    DLOG_DEFAULT,
    DLOG_VERBOSE,
    DLOG_DEBUG,
    DLOG_INFO,
    DLOG_WARN,
    DLOG_ERROR,
    DLOG_FATAL,
    DLOG_SILENT,
    DLOG_PRIO_MAX,
} log_priority;

int dlog_print(log_priority prio, const char* tag, const char* fmt, ...);
int dlog_vprint(log_priority prio, const char* tag, const char* fmt, va_list ap);

#ifdef __cplusplus
}
#endif

#endif
