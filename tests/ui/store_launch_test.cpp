// The Download button against device folders with and without the store, and the start
// marker it writes, in a private mount namespace.
#include <app_control.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "UiHarness.h"

namespace {

const char kMarker[] = "/opt/usr/media//.qor-start";

std::string request(int result) {
    return "launch caller=org.example.host target=org.tizen.tizenstore "
           "operation=http://tizen.org/appcontrol/operation/view "
           "uri=tizenstore://ProductDetail/QOR111TBNX mime= category= launch_mode=single "
           "reply=no extra={} result=" +
           std::to_string(result) + "\n";
}

std::string line(char prio, const char* func, const char* needle, const std::string& msg) {
    return std::string(1, prio) + " " +
           ui::body(vt::logLine(prio, "", "src/MainForm.cpp", func, needle, msg));
}

std::vector<std::string> lines(const vt::LogCapture& log) {
    std::vector<std::string> out;
    for (const std::string& l : log.lines()) out.push_back(l.substr(0, 1) + " " + ui::body(l));
    return out;
}

const std::string kInvoking =
    line('I', "launchTizenStore", "LOGI(\"Invoking AppControl",
         "Invoking AppControl org.tizen.tizenstore, http://tizen.org/appcontrol/operation/view, "
         "uri=tizenstore://ProductDetail/QOR111TBNX ");

// Presses Download `want` times with real clicks, each after the last was handled, then
// ends the loop.
struct Presser {
    Evas_Object* button;
    int want;
    int count = 0;

    static void pressed(void* data, Evas_Object*, void*) {
        auto* p = static_cast<Presser*>(data);
        if (++p->count < p->want)
            ecore_job_add([](void* d) { ui::click(static_cast<Presser*>(d)->button); }, p);
        else
            elm_exit();
    }
};

class StoreLaunch : public testing::Test {
protected:
    void start(bool store) {
        ui::Host host;
        host.store = store;
        ui::installHost(dev, host);
        form.reset(new MainForm);
        ad = form->getWindowObject();
        ASSERT_TRUE(MainForm::app_create(form.get()));
        evas_object_resize(ad->win, 720, 1280);
    }
    void TearDown() override {
        if (form) MainFormTestPeer::dispose(*form);
    }

    vt::TestDevice dev;
    std::unique_ptr<MainForm> form;
    app_data_t* ad = nullptr;
};

TEST_F(StoreLaunch, RefusedRequestShowsThePopupWhoseOkEndsTheApp) {
    start(false);
    vt::LogCapture log;
    std::string title, message, ok;
    bool shown = false;
    Evas_Object* download = ad->downloadForm.download_button;
    // Queued by the press, so it runs once the form has handled it: the popup is up.
    std::function<void()> afterPress = [&] {
        Evas_Object* popup = ad->popupMessage;
        ASSERT_NE(nullptr, popup);
        shown = evas_object_visible_get(popup);
        title = elm_object_part_text_get(popup, "title,text");
        message = elm_object_part_text_get(popup, nullptr);
        Evas_Object* button = elm_object_part_content_get(popup, "button1");
        ASSERT_NE(nullptr, button);
        ok = elm_object_part_text_get(button, nullptr);
        ui::pressOk(button);
    };
    evas_object_smart_callback_add(
        download, "clicked",
        [](void* data, Evas_Object*, void*) {
            ecore_job_add([](void* f) { (*static_cast<std::function<void()>*>(f))(); }, data);
        },
        &afterPress);
    EXPECT_TRUE(ui::runLoop([&] { ui::click(download); }));

    EXPECT_TRUE(shown);
    EXPECT_EQ("QOR Download", title);
    EXPECT_EQ(
        "We apologize but we encountered an unexpected error while trying to show the QOR "
        "download page",
        message);
    EXPECT_EQ("OK", ok);
    EXPECT_FALSE(evas_object_visible_get(ad->popupMessage));
    EXPECT_EQ(request(APP_CONTROL_ERROR_APP_NOT_FOUND), dev.journal());
    std::vector<std::string> expected = {
        kInvoking,
        line('E', "launchTizenStore", "LOGE(\"Cannot send AppControl",
             "Cannot send AppControl http://tizen.org/appcontrol/operation/view to "
             "org.tizen.tizenstore: The application is not found"),
        line('I', "popup_ok_button_cb", "LOGI(\"Popup message requested",
             "Popup message requested close application"),
    };
    EXPECT_EQ(expected, lines(log));
}

// The marker's folder before the presses, and what the presses leave.
struct MarkerCase {
    const char* name;
    bool readOnly;
    const char* before;  // marker content to plant, "" for none
    bool link;           // plant a link to a file outside instead
    bool fifo;           // plant a FIFO nobody reads: opening it must not block
    const char* error;   // strerror text logged, null when the marker is written
};

class StartMarker : public StoreLaunch, public testing::WithParamInterface<MarkerCase> {};

TEST_P(StartMarker, EveryAcceptedPressWritesTheMarker) {
    const MarkerCase& c = GetParam();
    if (!ui::inPrivateMedia(c.readOnly)) return;
    std::string backing = ui::mediaBacking() + "/.qor-start";
    std::string victimDir = vt::makeTempDir("vornix-victim");
    std::string victim = victimDir + "/precious";
    vt::writeFile(victim, "precious");
    if (*c.before) vt::writeFile(backing, c.before);
    if (c.link) {
        ASSERT_EQ(0, symlink(victim.c_str(), backing.c_str()));
    }
    if (c.fifo) {
        ASSERT_EQ(0, mkfifo(backing.c_str(), 0666));
    }

    start(true);
    vt::LogCapture log;
    Presser p{ad->downloadForm.download_button, 3};
    evas_object_smart_callback_add(p.button, "clicked", Presser::pressed, &p);
    EXPECT_TRUE(ui::runLoop([&] { ui::click(p.button); }));

    EXPECT_EQ(3, p.count);
    EXPECT_EQ(request(0) + request(0) + request(0), dev.journal());
    std::vector<std::string> expected;
    for (int i = 0; i < 3; ++i) {
        expected.push_back(kInvoking);
        if (c.error)
            expected.push_back(line('E', "createApplicationStartFile", "LOGE(\"Failed to open",
                                    std::string("Failed to open ") + kMarker + ": " + c.error));
    }
    EXPECT_EQ(expected, lines(log));
    EXPECT_EQ("precious", vt::readFile(victim));
    struct stat st;
    if (c.error) {
        EXPECT_EQ(nullptr, ad->popupMessage);  // nothing shown to the user
        EXPECT_TRUE(evas_object_visible_get(ad->win));
        EXPECT_EQ(c.link, lstat(backing.c_str(), &st) == 0 && S_ISLNK(st.st_mode));
    } else {
        EXPECT_EQ(ui::kHostId, vt::readFile(backing));  // 16 bytes, no line end
        ASSERT_EQ(0, lstat(backing.c_str(), &st));
        EXPECT_EQ(16, st.st_size);
        EXPECT_TRUE(S_ISREG(st.st_mode));
    }
    vt::removeTree(victimDir);
}

INSTANTIATE_TEST_SUITE_P(
    Media, StartMarker,
    testing::Values(MarkerCase{"Fresh", false, "", false, false, nullptr},
                    MarkerCase{"ReplacesOtherHost", false, "org.other.host.with.a.longer.id\n",
                               false, false, nullptr},
                    MarkerCase{"ReadOnlyFolder", true, "", false, false, "Read-only file system"},
                    MarkerCase{"PlantedLink", false, "", true, false,
                               "Too many levels of symbolic links"},
                    MarkerCase{"PlantedFifo", false, "", false, true, "No such device or address"}),
    [](const testing::TestParamInfo<MarkerCase>& i) { return std::string(i.param.name); });

}  // namespace
