// SPDX-License-Identifier: Apache-2.0
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

/* What the device's dlog-internal.h brings to every file that includes dlog.h, so that a
   header redefining these macros warns here as it does there. */
typedef enum {
    LOG_ID_INVALID = -1,
    LOG_ID_MAIN,
    LOG_ID_RADIO,
    LOG_ID_SYSTEM,
    LOG_ID_APPS,
    LOG_ID_MAX
} log_id_t;

int __dlog_print(log_id_t log_id, int prio, const char* tag, const char* fmt, ...);
int __dlog_vprint(log_id_t log_id, int prio, const char* tag, const char* fmt, va_list ap);

#ifndef __MODULE__
#define __MODULE__ (strrchr(__FILE__, '/') ? strrchr(__FILE__, '/') + 1 : __FILE__)
#endif

#define LOG_(id, prio, tag, fmt, arg...) \
    (__dlog_print(id, prio, tag, "%s: %s(%d) > " fmt, __MODULE__, __func__, __LINE__, ##arg))
#define SECURE_LOG_(id, prio, tag, fmt, arg...)                                                    \
    (__dlog_print(id, prio, tag, "%s: %s(%d) > [SECURE_LOG] " fmt, __MODULE__, __func__, __LINE__, \
                  ##arg))
#define LOG_NOP(...) ((void)0)

#define LOGV(format, arg...) LOG_NOP(format, ##arg)
#define LOGD(format, arg...) LOG_(LOG_ID_MAIN, DLOG_DEBUG, LOG_TAG, format, ##arg)
#define LOGI(format, arg...) LOG_(LOG_ID_MAIN, DLOG_INFO, LOG_TAG, format, ##arg)
#define LOGW(format, arg...) LOG_(LOG_ID_MAIN, DLOG_WARN, LOG_TAG, format, ##arg)
#define LOGE(format, arg...) LOG_(LOG_ID_MAIN, DLOG_ERROR, LOG_TAG, format, ##arg)
#define LOGF(format, arg...) LOG_(LOG_ID_MAIN, DLOG_FATAL, LOG_TAG, format, ##arg)
#define SLOGV(format, arg...) LOG_NOP(format, ##arg)
#define SLOGD(format, arg...) LOG_(LOG_ID_SYSTEM, DLOG_DEBUG, LOG_TAG, format, ##arg)
#define SLOGI(format, arg...) LOG_(LOG_ID_SYSTEM, DLOG_INFO, LOG_TAG, format, ##arg)
#define SLOGW(format, arg...) LOG_(LOG_ID_SYSTEM, DLOG_WARN, LOG_TAG, format, ##arg)
#define SLOGE(format, arg...) LOG_(LOG_ID_SYSTEM, DLOG_ERROR, LOG_TAG, format, ##arg)
#define SLOGF(format, arg...) LOG_(LOG_ID_SYSTEM, DLOG_FATAL, LOG_TAG, format, ##arg)
#define SECURE_LOGD(format, arg...) SECURE_LOG_(LOG_ID_MAIN, DLOG_DEBUG, LOG_TAG, format, ##arg)
#define SECURE_LOGI(format, arg...) SECURE_LOG_(LOG_ID_MAIN, DLOG_INFO, LOG_TAG, format, ##arg)
#define SECURE_LOGW(format, arg...) SECURE_LOG_(LOG_ID_MAIN, DLOG_WARN, LOG_TAG, format, ##arg)
#define SECURE_LOGE(format, arg...) SECURE_LOG_(LOG_ID_MAIN, DLOG_ERROR, LOG_TAG, format, ##arg)
#define SECURE_LOGF(format, arg...) SECURE_LOG_(LOG_ID_MAIN, DLOG_FATAL, LOG_TAG, format, ##arg)
#define LOGD_IF(cond, format, arg...) ((cond) ? LOGD(format, ##arg) : (void)0)
#define LOGI_IF(cond, format, arg...) ((cond) ? LOGI(format, ##arg) : (void)0)
#define LOGW_IF(cond, format, arg...) ((cond) ? LOGW(format, ##arg) : (void)0)
#define LOGE_IF(cond, format, arg...) ((cond) ? LOGE(format, ##arg) : (void)0)
#define LOGF_IF(cond, format, arg...) ((cond) ? LOGF(format, ##arg) : (void)0)
#define LOG(priority, tag, format, arg...) LOG_(LOG_ID_MAIN, D##priority, tag, format, ##arg)
#define SLOG(priority, tag, format, arg...) LOG_(LOG_ID_SYSTEM, D##priority, tag, format, ##arg)

#ifdef __cplusplus
}
#endif

#endif
