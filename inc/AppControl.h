// SPDX-License-Identifier: Apache-2.0
#ifndef VORNIX_APP_CONTROL_H
#define VORNIX_APP_CONTROL_H

#include <app_control.h>
#include <bundle.h>

#include <string>

#include "Bundle.h"

// An owning or borrowing wrapper over a request to another application. Never copied;
// clone() gives an independent request, which the caller deletes.
//
// Out-pointers: each `char**` getter hands out a copy that the caller frees with free()
// (it may be null when the request has no such field); getExtraDataArray() hands out an
// array whose strings and the array itself the caller frees with free(). On an error code
// nothing is handed out and nothing needs freeing. The std::string getters free their copy
// themselves. getExtraDataAsBundle() gives a new bundle the caller releases with bundle_free().
//
// Some names (copyExtaDataFromBundle, isReplyReqested) are spelt as the interface shared
// with the layer's callers has them, and are kept so.
class AppControl : public IBundleKeyValueListener {
public:
    AppControl();
    AppControl(app_control_h app_control, bool own);
    virtual ~AppControl();

    bool isValid();
    const char* getErrorMessage();
    AppControl* clone();

    std::string getAppId();
    int getAppId(char** appid);
    std::string getCallerAppId();
    int getCallerAppId(char** id);
    std::string getCategory();
    int getCategory(char** category);
    std::string getMime();
    int getMime(char** mime);
    std::string getOperation();
    int getOperation(char** operation);
    std::string getUri();
    int getUri(char** uri);
    std::string getExtraData(const char* key);
    int getExtraData(const char* key, char** value);

    int setAppId(const char* appid);
    int setCategory(const char* category);
    int setMime(const char* mime);
    int setOperation(const char* operation);
    int setUri(const char* uri);
    void setGroupLaunch(bool groupMode);

    int addExtraData(const char* key, const char* value);
    int addExtraDataArray(const char* key, const char** value, int length);
    int getExtraDataArray(const char* key, char*** value, int* length);
    bool isExtraDataArray(const char* key);
    int removeExtraData(const char* key);
    int getForeachExtraData(app_control_extra_data_cb callback, void* user_data);
    int getForeachAppMatched(app_control_app_matched_cb callback, void* user_data);
    bundle* getExtraDataAsBundle();
    void copyExtaDataFromBundle(bundle* b);
    static bool add_to_bundle(app_control_h app_control, const char* key, void* user_data);

    int sendLaunchRequest(app_control_reply_cb callback, void* user_data);
    int sendTerminateRequest();
    app_control_launch_mode_e getLaunchMode();
    bool isReplyReqested();
    int replyToLaunchRequest(app_control_h reply, app_control_result_e result);
    static int launchApplication(const char* appId, const char* operationId,
                                 app_control_reply_cb callback, void* user_data);

    void onStringAdded(const char* key, const char* str) override;
    void onStringArrayAdded(const char* key, const char** strArray, int len) override;
    void onBytesAdded(const char* key, const void* bytes, size_t len) override;

private:
    AppControl(const AppControl&) = delete;
    AppControl& operator=(const AppControl&) = delete;

    app_control_h m_hAppControl;
    bool m_bIsValid;
    bool mOwnAppControl;
    bool mGroupLaunch;
    char errMessage[1024];
};

#endif
