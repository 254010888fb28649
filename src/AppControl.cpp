// SPDX-License-Identifier: Apache-2.0
#include "AppControl.h"

#include <stdio.h>
#include <stdlib.h>

#include <qor/log.h>

using std::string;

namespace {

// Takes over a text the platform handed out: copied, then released.
string adopt(int ret, char* text) {
    string result;
    if (ret == 0 && text) result = text;
    if (ret == 0) free(text);
    return result;
}

}  // namespace

AppControl::AppControl() {
    m_hAppControl = NULL;
    mOwnAppControl = false;
    mGroupLaunch = true;
    errMessage[0] = '\0';
    int ret = app_control_create(&m_hAppControl);
    if (ret != 0) {
        m_hAppControl = NULL;
        m_bIsValid = false;
        snprintf(errMessage, sizeof(errMessage),
                 "Method app_control_create() failed. Ret code = %d", ret);
        return;
    }
    m_bIsValid = true;
    mOwnAppControl = true;
}

AppControl::AppControl(app_control_h app_control, bool own) {
    m_hAppControl = app_control;
    m_bIsValid = app_control != NULL;
    mOwnAppControl = app_control != NULL && own;
    mGroupLaunch = true;
    errMessage[0] = '\0';
}

AppControl::~AppControl() {
    if (mOwnAppControl && m_hAppControl) app_control_destroy(m_hAppControl);
}

bool AppControl::isValid() { return m_bIsValid; }

const char* AppControl::getErrorMessage() { return errMessage; }

AppControl* AppControl::clone() {
    app_control_h copy = NULL;
    if (app_control_clone(&copy, m_hAppControl) != 0 || !copy) return NULL;
    return new AppControl(copy, true);
}

string AppControl::getAppId() {
    char* text = NULL;
    int ret = app_control_get_app_id(m_hAppControl, &text);
    return adopt(ret, text);
}

int AppControl::getAppId(char** appid) { return app_control_get_app_id(m_hAppControl, appid); }

string AppControl::getCallerAppId() {
    char* text = NULL;
    int ret = app_control_get_caller(m_hAppControl, &text);
    return adopt(ret, text);
}

int AppControl::getCallerAppId(char** id) { return app_control_get_caller(m_hAppControl, id); }

string AppControl::getCategory() {
    char* text = NULL;
    int ret = app_control_get_category(m_hAppControl, &text);
    return adopt(ret, text);
}

int AppControl::getCategory(char** category) {
    return app_control_get_category(m_hAppControl, category);
}

string AppControl::getMime() {
    char* text = NULL;
    int ret = app_control_get_mime(m_hAppControl, &text);
    return adopt(ret, text);
}

int AppControl::getMime(char** mime) { return app_control_get_mime(m_hAppControl, mime); }

string AppControl::getOperation() {
    char* text = NULL;
    int ret = app_control_get_operation(m_hAppControl, &text);
    return adopt(ret, text);
}

int AppControl::getOperation(char** operation) {
    return app_control_get_operation(m_hAppControl, operation);
}

string AppControl::getUri() {
    char* text = NULL;
    int ret = app_control_get_uri(m_hAppControl, &text);
    return adopt(ret, text);
}

int AppControl::getUri(char** uri) { return app_control_get_uri(m_hAppControl, uri); }

string AppControl::getExtraData(const char* key) {
    char* text = NULL;
    int ret = app_control_get_extra_data(m_hAppControl, key, &text);
    return adopt(ret, text);
}

int AppControl::getExtraData(const char* key, char** value) {
    return app_control_get_extra_data(m_hAppControl, key, value);
}

int AppControl::setAppId(const char* appid) { return app_control_set_app_id(m_hAppControl, appid); }

int AppControl::setCategory(const char* category) {
    return app_control_set_category(m_hAppControl, category);
}

int AppControl::setMime(const char* mime) { return app_control_set_mime(m_hAppControl, mime); }

int AppControl::setOperation(const char* operation) {
    return app_control_set_operation(m_hAppControl, operation);
}

int AppControl::setUri(const char* uri) { return app_control_set_uri(m_hAppControl, uri); }

void AppControl::setGroupLaunch(bool groupMode) { mGroupLaunch = groupMode; }

int AppControl::addExtraData(const char* key, const char* value) {
    return app_control_add_extra_data(m_hAppControl, key, value);
}

int AppControl::addExtraDataArray(const char* key, const char** value, int length) {
    return app_control_add_extra_data_array(m_hAppControl, key, value, length);
}

int AppControl::getExtraDataArray(const char* key, char*** value, int* length) {
    return app_control_get_extra_data_array(m_hAppControl, key, value, length);
}

bool AppControl::isExtraDataArray(const char* key) {
    bool array = false;
    app_control_is_extra_data_array(m_hAppControl, key, &array);
    return array;
}

int AppControl::removeExtraData(const char* key) {
    return app_control_remove_extra_data(m_hAppControl, key);
}

int AppControl::getForeachExtraData(app_control_extra_data_cb callback, void* user_data) {
    return app_control_foreach_extra_data(m_hAppControl, callback, user_data);
}

int AppControl::getForeachAppMatched(app_control_app_matched_cb callback, void* user_data) {
    return app_control_foreach_app_matched(m_hAppControl, callback, user_data);
}

bundle* AppControl::getExtraDataAsBundle() {
    bundle* b = bundle_create();
    if (!b) return NULL;
    app_control_foreach_extra_data(m_hAppControl, add_to_bundle, b);
    return b;
}

void AppControl::copyExtaDataFromBundle(bundle* b) {
    Bundle source(b, false);
    source.copyTo(this);
}

bool AppControl::add_to_bundle(app_control_h app_control, const char* key, void* user_data) {
    bundle* target = static_cast<bundle*>(user_data);
    if (!target) return false;
    AppControl request(app_control, false);
    if (!app_control) return false;
    if (request.isExtraDataArray(key)) {
        char** array = NULL;
        int length = 0;
        if (request.getExtraDataArray(key, &array, &length) != 0) return false;
        int ret = bundle_add_str_array(target, key, const_cast<const char**>(array), length);
        // The platform hands over the strings as well as the array.
        for (int i = 0; i < length; ++i) free(array[i]);
        free(array);
        return ret == 0;
    }
    char* value = NULL;
    if (request.getExtraData(key, &value) != 0) return false;
    int ret = bundle_add_str(target, key, value);
    free(value);
    return ret == 0;
}

int AppControl::sendLaunchRequest(app_control_reply_cb callback, void* user_data) {
    if (callback && mGroupLaunch)
        app_control_set_launch_mode(m_hAppControl, APP_CONTROL_LAUNCH_MODE_GROUP);
    return app_control_send_launch_request(m_hAppControl, callback, user_data);
}

int AppControl::sendTerminateRequest() { return app_control_send_terminate_request(m_hAppControl); }

app_control_launch_mode_e AppControl::getLaunchMode() {
    app_control_launch_mode_e mode = APP_CONTROL_LAUNCH_MODE_SINGLE;
    int ret = app_control_get_launch_mode(m_hAppControl, &mode);
    if (ret != 0) LOGE("Failed to get launch mode. err(%s)", get_error_message(ret));
    return mode;
}

bool AppControl::isReplyReqested() {
    bool requested = false;
    app_control_is_reply_requested(m_hAppControl, &requested);
    return requested;
}

int AppControl::replyToLaunchRequest(app_control_h reply, app_control_result_e result) {
    return app_control_reply_to_launch_request(reply, m_hAppControl, result);
}

int AppControl::launchApplication(const char* appId, const char* operationId,
                                  app_control_reply_cb callback, void* user_data) {
    AppControl request;
    int ret = request.setAppId(appId);
    if (ret != 0) {
        LOGE("Failed to set app id(%s)", get_error_message(ret));
        return ret;
    }
    if (operationId) {
        ret = request.setOperation(operationId);
        if (ret != 0) {
            LOGE("Failed to set operation id(%s)", get_error_message(ret));
            return ret;
        }
    }
    return request.sendLaunchRequest(callback, user_data);
}

void AppControl::onStringAdded(const char* key, const char* str) { addExtraData(key, str); }

void AppControl::onStringArrayAdded(const char* key, const char** strArray, int len) {
    addExtraDataArray(key, strArray, len);
}

void AppControl::onBytesAdded(const char* key, const void* bytes, size_t len) {
    // Byte entries are not carried into a request.
    (void)key;
    (void)bytes;
    (void)len;
}
