// SPDX-License-Identifier: Apache-2.0
// The Download button against device folders with and without the store, and the start
// marker it writes, in a private mount namespace.
#include <app_control.h>
#include <errno.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "UiHarness.h"

namespace {

std::string request(int result) {
    return "launch caller=org.example.host target=org.tizen.tizenstore "
           "operation=http://tizen.org/appcontrol/operation/view "
           "uri=tizenstore://ProductDetail/QOR111TBNX mime= category= launch_mode=single "
           "reply=no extra={} result=" +
           std::to_string(result) + "\n";
}

std::string invoking() {
    return ui::formLine(
        'I', "launchTizenStore", "LOGI(\"Invoking AppControl",
        "Invoking AppControl org.tizen.tizenstore, http://tizen.org/appcontrol/operation/view, "
        "uri=tizenstore://ProductDetail/QOR111TBNX ");
}

using StoreLaunch = ui::FormTest;

TEST_F(StoreLaunch, RefusedRequestShowsThePopupWhoseOkEndsTheApp) {
    start();
    vt::LogCapture log;
    std::string ok;  // set once the popup was seen
    Ecore_Timer* clicking = nullptr;
    std::function<void()> afterPress = [&] {
        Evas_Object* popup = ad->popupMessage;
        ASSERT_NE(nullptr, popup);
        EXPECT_TRUE(evas_object_visible_get(popup));
        EXPECT_EQ("QOR Download", ui::text(popup, "title,text"));
        EXPECT_EQ(
            "We apologize but we encountered an unexpected error while trying to show the QOR "
            "download page",
            ui::text(popup));
        Evas_Object* button = elm_object_part_content_get(popup, "button1");
        ASSERT_NE(nullptr, button);
        ok = ui::text(button);
        clicking = ui::clickEvery(button);
    };
    ui::afterClick(ad->downloadForm.download_button, &afterPress);
    EXPECT_TRUE(ui::runLoop([&] { ui::click(ad->downloadForm.download_button); }));
    if (clicking) ecore_timer_del(clicking);
    EXPECT_EQ("OK", ok);
    EXPECT_FALSE(evas_object_visible_get(ad->popupMessage));
    EXPECT_EQ(request(APP_CONTROL_ERROR_APP_NOT_FOUND), dev.journal());
    std::vector<std::string> expected = {
        invoking(),
        ui::formLine('E', "launchTizenStore", "LOGE(\"Cannot send AppControl",
                     "Cannot send AppControl http://tizen.org/appcontrol/operation/view to "
                     "org.tizen.tizenstore: The application is not found"),
        ui::formLine('I', "popup_ok_button_cb", "LOGI(\"Popup message requested",
                     "Popup message requested close application"),
    };
    EXPECT_EQ(expected, ui::logged(log));
}

// The marker's folder before three presses, and what they leave.
struct MarkerCase {
    const char* name;
    bool readOnly;
    // A FIFO nobody reads must not block; a full device must not make the write spin.
    enum { Nothing, OtherHost, Link, Fifo, Full } planted;
    const char* error;  // strerror text logged, null when the marker is written
    friend void PrintTo(const MarkerCase& c, std::ostream* os) { *os << c.name; }
};

class StartMarker : public ui::FormTest, public testing::WithParamInterface<MarkerCase> {};

TEST_P(StartMarker, EveryAcceptedPressWritesTheMarker) {
    const MarkerCase& c = GetParam();
    if (!ui::inPrivateMedia(c.readOnly)) return;
    std::string backing = ui::mediaBacking() + "/.qor-start";
    std::string victim = ui::mediaBacking() + "/precious";
    vt::writeFile(victim, "precious");
    if (c.planted == MarkerCase::OtherHost)
        vt::writeFile(backing, "org.other.host.with.a.longer.id\n");
    ASSERT_EQ(0, c.planted == MarkerCase::Link   ? symlink(victim.c_str(), backing.c_str())
                 : c.planted == MarkerCase::Fifo ? mkfifo(backing.c_str(), 0666)
                                                 : 0);
    if (c.planted == MarkerCase::Full) {
        vt::writeFile(backing, "");
        ASSERT_EQ(0, mount("/dev/full", "/opt/usr/media/.qor-start", nullptr, MS_BIND, nullptr))
            << strerror(errno);
    }

    start(ui::Host{"Host App", true, true, true});
    vt::LogCapture log;
    Evas_Object* download = ad->downloadForm.download_button;
    int presses = 0;
    std::function<void()> again = [&] { ++presses < 3 ? ui::click(download) : elm_exit(); };
    ui::afterClick(download, &again);
    EXPECT_TRUE(ui::runLoop([&] { ui::click(download); }));

    EXPECT_EQ(3, presses);
    EXPECT_EQ(request(0) + request(0) + request(0), dev.journal());
    std::vector<std::string> expected;
    for (int i = 0; i < 3; ++i) {
        expected.push_back(invoking());
        if (c.error)
            expected.push_back(
                ui::formLine('E', "createApplicationStartFile", "LOGE(\"Failed to open",
                             std::string("Failed to open /opt/usr/media//.qor-start: ") + c.error));
    }
    EXPECT_EQ(expected, ui::logged(log));
    EXPECT_EQ("precious", vt::readFile(victim));
    struct stat st;
    if (c.error || c.planted == MarkerCase::Full) {
        EXPECT_EQ(nullptr, ad->popupMessage);  // nothing shown to the user
        EXPECT_TRUE(evas_object_visible_get(ad->win));
        EXPECT_EQ(c.planted == MarkerCase::Link,
                  lstat(backing.c_str(), &st) == 0 && S_ISLNK(st.st_mode));
        if (c.planted == MarkerCase::Full) EXPECT_EQ("", vt::readFile(backing));  // hidden
    } else {
        EXPECT_EQ(ui::kHostId, vt::readFile(backing));  // 16 bytes, no line end
        ASSERT_EQ(0, lstat(backing.c_str(), &st));
        EXPECT_TRUE(S_ISREG(st.st_mode) && st.st_size == 16) << st.st_size;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Media, StartMarker,
    testing::Values(
        MarkerCase{"Fresh", false, MarkerCase::Nothing, nullptr},
        MarkerCase{"ReplacesOtherHost", false, MarkerCase::OtherHost, nullptr},
        MarkerCase{"ReadOnlyFolder", true, MarkerCase::Nothing, "Read-only file system"},
        MarkerCase{"PlantedLink", false, MarkerCase::Link, "Too many levels of symbolic links"},
        MarkerCase{"PlantedFifo", false, MarkerCase::Fifo, "No such device or address"},
        MarkerCase{"FullDevice", false, MarkerCase::Full, nullptr}),  // write failure not logged
    [](const testing::TestParamInfo<MarkerCase>& i) { return std::string(i.param.name); });

}  // namespace
