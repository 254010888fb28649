// SPDX-License-Identifier: Apache-2.0
#include "MainForm.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <app.h>
#include <app_info.h>
#include <efl_extension.h>

#include <qor/QorAppControl.h>
#include <qor/log.h>

#include "App.h"

using std::string;

namespace {

// Ten seconds in the background end the app.
const double BACK_TIMEOUT_MS = 10000;

const char* const LABEL_OPEN = "<font_size=33><align=center><color=#FFFFFF>";
const char* const LABEL_CLOSE = "</color></font_size></align>";
const char* const INSTALL_TEXT =
    "<font_size=33><align=center><color=#FFFFFF> is an QOR enabled application:</br></br>QOR "
    "(Morvane) needs to be downloaded only once to enable all QOR-enabled free and paid apps "
    "from the Tizen Store.</color></font_size></align>";
const char* const UPGRADE_TEXT =
    "<font_size=33><align=center><color=#FFFFFF> requires a newer version of QOR:</br></br>We "
    "apologise but this app requires a newer version of QOR (Morvane) than what is currently "
    "installed.  You can upgrade for free at the Tizen store by following the button "
    "below.</color></font_size></align>";

const char* const FORM_PICTURE = "screen-density-high/download-QOR.png";
const char* const START_FILE = "/.qor-start";

// Grid cells (x, y, w, h of 100 x 100). The message ends where the button row begins, and
// its box holds its whole text on a 480x800 phone at scale 1.8 even in the upgrade wording
// with a 40-character host name; the icon takes the band above it.
const int ICON_CELL[4] = {38, 2, 25, 10};
const int LABEL_CELL[4] = {5, 12, 90, 75};

bool themeHasPopupStyle(const char* style) {
    string base = string("elm/popup/base/") + style;
    string buttons = string("elm/popup/buttons1/popup/") + style;
    return elm_theme_group_path_find(NULL, base.c_str()) != NULL &&
           elm_theme_group_path_find(NULL, buttons.c_str()) != NULL;
}

void fillAndExpand(Evas_Object* obj) {
    evas_object_size_hint_align_set(obj, EVAS_HINT_FILL, EVAS_HINT_FILL);
    evas_object_size_hint_weight_set(obj, EVAS_HINT_EXPAND, EVAS_HINT_EXPAND);
}

}  // namespace

MainForm::MainForm()
    : winObject(),
      qorService(),
      tizenStore(),
      closeApplication(false),
      versionQorTooLow(false),
      applicationInfo(NULL),
      backTimer() {
    qorService.setAppId(_QOR_APP_ID);
    tizenStore.setAppId(_TIZEN_STORE_ID);
    closeApplication = false;
    versionQorTooLow = false;
    backTimer.setListener(this);

    aplicationID = App::getAppId();
    applicationName = App::getAppName();

    if (app_info_create(aplicationID.c_str(), &applicationInfo) != 0) {
        LOGE("Could not get the application information");
        return;
    }
    char* path = NULL;
    if (app_info_get_icon(applicationInfo, &path) != 0) {
        LOGE("Could not get the application icon path");
        return;
    }
    if (path) {
        applicationIconPath = path;
        free(path);
    }
}

// The widgets belong to the window and applicationInfo lives as long as the process.
MainForm::~MainForm() {}

app_data_t* MainForm::getWindowObject() { return &winObject; }

void MainForm::setVersionTooLow(bool tooLow) { versionQorTooLow = tooLow; }

bool MainForm::app_create(void* user_data) {
    LOGI("app_create being called");
    if (user_data == NULL) {
        LOGE("NULL pointer exception");
        return false;
    }
    elm_app_base_scale_set(1.8);
    MainForm* form = static_cast<MainForm*>(user_data);
    if (!form->create_base_gui()) {
        LOGE("Could not create the base gui");
        return false;
    }
    return true;
}

bool MainForm::create_base_gui() {
    app_data_t* ad = &winObject;
    ad->win = elm_win_util_standard_add("Vornix", "Vornix");
    if (ad->win == NULL) {
        LOGE("Error creating main window");
        return false;
    }
    elm_win_conformant_set(ad->win, EINA_TRUE);
    elm_win_autodel_set(ad->win, EINA_TRUE);

    if (elm_win_wm_rotation_supported_get(ad->win)) {
        // The form is laid out for portrait only.
        int rotations[1] = {0};
        elm_win_wm_rotation_available_rotations_set(ad->win, rotations, 1);
    }
    eext_object_event_callback_add(ad->win, EEXT_CALLBACK_BACK, win_back_cb, this);

    ad->conformant = elm_conformant_add(ad->win);
    if (ad->conformant == NULL) {
        LOGE("Could not create window conform");
        return false;
    }
    elm_win_indicator_mode_set(ad->win, ELM_WIN_INDICATOR_SHOW);
    elm_win_indicator_opacity_set(ad->win, ELM_WIN_INDICATOR_OPAQUE);
    evas_object_size_hint_weight_set(ad->conformant, EVAS_HINT_EXPAND, EVAS_HINT_EXPAND);
    elm_win_resize_object_add(ad->win, ad->conformant);
    evas_object_show(ad->conformant);

    if (!download_form_view_create(ad, ad->conformant)) {
        LOGE("Coudl not create the download form");
        return false;
    }
    // The error popup is made on first use (showErrorPopup): most runs never need it,
    // and the first frame comes sooner without it.
    evas_object_show(ad->win);
    return true;
}

void MainForm::app_terminate(void* user_data) {
    MainForm* form = static_cast<MainForm*>(user_data);
    if (form == NULL) return;
    // Ended while in the background: the countdown must go with the main loop, not in the
    // destructor at process exit, when the toolkit it belongs to is already shut down.
    form->backTimer.cancel();
}

void MainForm::app_pause(void* user_data) {
    MainForm* form = static_cast<MainForm*>(user_data);
    if (form == NULL) return;
    // A second pause leaves the running countdown alone; the timer logs the refusal.
    form->backTimer.start(BACK_TIMEOUT_MS);
}

void MainForm::app_resume(void* user_data) {
    MainForm* form = static_cast<MainForm*>(user_data);
    if (form == NULL) return;
    form->backTimer.cancel();
}

// A relaunch while the form is up leaves it as it is.
void MainForm::app_control(app_control_h /*app_control*/, void* /*user_data*/) {}

void MainForm::onTimerExpired(Timer& timer) {
    if (timer == backTimer) ui_app_exit();
}

void MainForm::win_back_cb(void* /*data*/, Evas_Object* /*obj*/, void* /*event_info*/) {
    ui_app_exit();
}

void MainForm::cancel_button_cb(void* /*data*/, Evas_Object* /*obj*/, void* /*event_info*/) {
    ui_app_exit();
}

void MainForm::download_button_cb(void* data, Evas_Object* /*obj*/, void* /*event_info*/) {
    MainForm* form = static_cast<MainForm*>(data);
    if (form == NULL) return;
    form->launchTizenStore();
}

void MainForm::popup_ok_button_cb(void* data, Evas_Object* /*obj*/, void* /*event_info*/) {
    MainForm* form = static_cast<MainForm*>(data);
    if (form == NULL) return;
    if (form->winObject.popupMessage) evas_object_hide(form->winObject.popupMessage);
    if (form->closeApplication) {
        LOGI("Popup message requested close application");
        ui_app_exit();
    }
}

string MainForm::app_get_resource(const char* file_name) {
    return App::getAppResourcePath() + file_name;
}

bool MainForm::download_form_view_create(app_data_t* app_data, Evas_Object* parent) {
    mainForm_t* form = &app_data->downloadForm;
    elm_win_indicator_mode_set(app_data->win, ELM_WIN_INDICATOR_SHOW);
    form->parent = parent;
    form->name = "download_form";

    form->grid = elm_grid_add(parent);
    form->root_container = form->grid;
    if (form->grid == NULL) return false;
    fillAndExpand(form->grid);
    elm_grid_size_set(form->grid, 100, 100);

    form->background = elm_bg_add(form->grid);
    if (form->background) {
        fillAndExpand(form->background);
        // A picture that does not load leaves the plain background; nothing to report.
        elm_bg_file_set(form->background, app_get_resource(FORM_PICTURE).c_str(), NULL);
        elm_bg_option_set(form->background, ELM_BG_OPTION_SCALE);
        evas_object_show(form->background);
    }

    form->icon = elm_icon_add(form->grid);
    if (form->icon) {
        elm_icon_standard_set(form->icon, applicationIconPath.c_str());
        elm_image_smooth_set(form->icon, EINA_TRUE);
        evas_object_show(form->icon);
    }

    form->label = elm_label_add(form->grid);
    if (form->label) {
        fillAndExpand(form->label);
        // The name goes in as markup, unescaped.
        string message = string(LABEL_OPEN) + applicationName + LABEL_CLOSE +
                         (versionQorTooLow ? UPGRADE_TEXT : INSTALL_TEXT);
        elm_object_part_text_set(form->label, NULL, message.c_str());
        elm_label_line_wrap_set(form->label, ELM_WRAP_WORD);
        elm_label_ellipsis_set(form->label, EINA_FALSE);
        evas_object_show(form->label);
    }

    form->download_button = elm_button_add(form->grid);
    if (form->download_button) {
        fillAndExpand(form->download_button);
        elm_object_part_text_set(form->download_button, NULL,
                                 versionQorTooLow ? "Upgrade" : "Download");
        elm_object_style_set(form->download_button, "default");
        elm_button_autorepeat_set(form->download_button, EINA_FALSE);
        evas_object_smart_callback_add(form->download_button, "clicked", download_button_cb, this);
        evas_object_show(form->download_button);
    }

    form->cancel_button = elm_button_add(form->grid);
    if (form->cancel_button) {
        fillAndExpand(form->cancel_button);
        elm_object_part_text_set(form->cancel_button, NULL, "Decline");
        elm_object_style_set(form->cancel_button, "default");
        elm_button_autorepeat_set(form->cancel_button, EINA_FALSE);
        evas_object_smart_callback_add(form->cancel_button, "clicked", cancel_button_cb, this);
        // Only where it has a place: unplaced, it would be drawn at the window's corner.
        if (!versionQorTooLow) evas_object_show(form->cancel_button);
    }

    if (form->background) elm_grid_pack(form->grid, form->background, 0, 0, 100, 100);
    const int* i = ICON_CELL;
    const int* l = LABEL_CELL;
    if (form->icon) elm_grid_pack(form->grid, form->icon, i[0], i[1], i[2], i[3]);
    if (form->label) elm_grid_pack(form->grid, form->label, l[0], l[1], l[2], l[3]);
    if (versionQorTooLow) {
        // One centred Upgrade button; Decline exists but has no place on the form.
        if (form->download_button) elm_grid_pack(form->grid, form->download_button, 25, 87, 50, 5);
    } else {
        if (form->download_button) elm_grid_pack(form->grid, form->download_button, 10, 87, 35, 5);
        if (form->cancel_button) elm_grid_pack(form->grid, form->cancel_button, 55, 87, 35, 5);
    }

    evas_object_show(form->grid);
    elm_object_part_content_set(app_data->conformant, "elm.swallow.content", form->grid);
    return true;
}

void MainForm::launchTizenStore() {
    string uri = string(_VALUE_PRODUCT_DETAIL) + _QOR_PKG_ID;
    const char* op = _OPERATION_ID_TIZEN_STORE_VIEW;
    LOGI("Invoking AppControl %s, %s, uri=%s ", _TIZEN_STORE_ID, op, uri.c_str());
    tizenStore.setUri(uri.c_str());
    tizenStore.setOperation(op);
    tizenStore.setGroupLaunch(false);
    int result = tizenStore.sendLaunchRequest(NULL, NULL);
    if (result != 0) {
        const char* why = get_error_message(result);
        LOGE("Cannot send AppControl %s to %s: %s", op, _TIZEN_STORE_ID, why);
        tizenStoreLaunchFailed();
        return;
    }
    createApplicationStartFile();
}

void MainForm::createApplicationStartFile() {
    string path = App::getSystemMediaPath() + START_FILE;
    // The media folder is writable by every app: never follow a link planted there, never
    // wait on a FIFO planted there (no effect on a regular file), and empty only a regular
    // file of its own: a hard link planted there shares its content with another file.
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    struct stat st;
    const char* refused = NULL;
    if (fd < 0 || fstat(fd, &st) != 0)
        refused = strerror(errno);  // taken before the log call, which may change errno
    else if (!S_ISREG(st.st_mode))
        refused = "not a regular file";
    else if (st.st_nlink != 1)
        refused = "the file has other links";
    else if (ftruncate(fd, 0) != 0)
        refused = strerror(errno);
    if (refused) {
        LOGE("Failed to open %s: %s", path.c_str(), refused);
        if (fd >= 0) close(fd);
        return;
    }
    string id = App::getAppId();
    const char* p = id.data();
    size_t left = id.size();
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // not reported
        p += n;
        left -= static_cast<size_t>(n);
    }
    close(fd);
}

void MainForm::tizenStoreLaunchFailed() {
    showErrorPopup("QOR Download",
                   "We apologize but we encountered an unexpected error while trying to show the "
                   "QOR download page",
                   popup_ok_button_cb, true);
}

void MainForm::showErrorPopup(string title, string message, Evas_Smart_Cb ok_button_cb,
                              bool closeAp) {
    closeApplication = closeAp;
    Evas_Object*& popup = winObject.popupMessage;
    if (popup == NULL && winObject.win) popup = elm_popup_add(winObject.win);
    if (popup == NULL) return;  // no window yet: nothing to show it on

    elm_object_part_text_set(popup, "title,text", title.c_str());
    elm_object_part_text_set(popup, NULL, message.c_str());
    Evas_Object* okButton = elm_button_add(popup);
    // The toolkit accepts any style name; one the theme lacks leaves the buttons without a
    // size, so the popup keeps its style unless the theme has this one's groups.
    if (themeHasPopupStyle("popup")) elm_object_style_set(popup, "popup");
    if (okButton) {
        // Without a button the back key is still the way out.
        evas_object_size_hint_weight_set(okButton, EVAS_HINT_EXPAND, EVAS_HINT_EXPAND);
        elm_object_part_text_set(okButton, NULL, "OK");
        if (ok_button_cb) evas_object_smart_callback_add(okButton, "clicked", ok_button_cb, this);
        elm_object_part_content_set(popup, "button1", okButton);
    }
    evas_object_show(popup);
}
