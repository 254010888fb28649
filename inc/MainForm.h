// SPDX-License-Identifier: Apache-2.0
#ifndef VORNIX_MAIN_FORM_H
#define VORNIX_MAIN_FORM_H

#include <app.h>
#include <app_info.h>
#include <Elementary.h>

#include <string>

#include "AppControl.h"
#include "Timer.h"

// The widgets of the download form.
typedef struct _mainForm {
    Evas_Object* parent;
    Evas_Object* grid;
    Evas_Object* root_container;
    Evas_Object* background;
    Evas_Object* icon;
    Evas_Object* download_button;
    Evas_Object* cancel_button;
    Evas_Object* label;
    const char* name;
    Elm_Object_Item* navigationHandle;
} mainForm_t;

// The application's UI objects and its lifecycle callbacks. Borrowed pointers only:
// the widgets belong to the window's tree.
typedef struct _appdata {
    Evas_Object* win;
    Evas_Object* conformant;
    Evas_Object* naviFrame;
    Evas_Object* root_container;
    Evas_Object* background;
    Evas_Object* popupMessage;
    void* parentApplication;
    mainForm_t downloadForm;
    ui_app_lifecycle_callback_s lifecycle_cb;
} app_data_t;

// The one-screen app that asks the user to install or upgrade the compatibility layer.
class MainForm : public ITimerEventListener {
public:
    static const int ID_DOWNLOAD_QOR_BUTTON = 100;
    static const int ID_CANCEL_QOR_BUTTON = 101;

    MainForm();
    virtual ~MainForm();

    app_data_t* getWindowObject();
    void setVersionTooLow(bool tooLow);
    bool create_base_gui();

    static bool app_create(void* user_data);
    static void app_terminate(void* user_data);
    static void app_pause(void* user_data);
    static void app_resume(void* user_data);
    static void app_control(app_control_h app_control, void* user_data);

    void launchTizenStore();
    void tizenStoreLaunchFailed();
    void createApplicationStartFile();
    void showErrorPopup(std::string title, std::string message, Evas_Smart_Cb ok_button_cb,
                        bool closeAp);

private:
    friend class MainFormTestPeer;  // tests read the timer and strings through it

    MainForm(const MainForm&) = delete;
    MainForm& operator=(const MainForm&) = delete;

    void onTimerExpired(Timer& timer) override;

    static void win_back_cb(void* data, Evas_Object* obj, void* event_info);
    static void cancel_button_cb(void* data, Evas_Object* obj, void* event_info);
    static void download_button_cb(void* data, Evas_Object* obj, void* event_info);
    static void popup_ok_button_cb(void* data, Evas_Object* obj, void* event_info);

    bool download_form_view_create(app_data_t* app_data, Evas_Object* parent);
    std::string app_get_resource(const char* file_name);

    app_data_t winObject;
    AppControl qorService;
    AppControl tizenStore;
    bool closeApplication;
    bool versionQorTooLow;
    std::string aplicationID;  // spelt as the interface has it
    std::string applicationName;
    std::string applicationIconPath;
    app_info_h applicationInfo;
    Timer backTimer;
};

#endif
