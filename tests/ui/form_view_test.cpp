// SPDX-License-Identifier: Apache-2.0
// The widget tree app_create builds, read back from the real toolkit.
#include <sstream>
#include <tuple>

#include "UiHarness.h"

namespace {

const std::string kOpen = "<font_size=33><align=center><color=#FFFFFF>";
const std::string kClose = "</color></font_size></align>";
const std::string kInstall =
    kOpen + " is an QOR enabled application:</br></br>QOR (Morvane) needs to be downloaded only " +
    "once to enable all QOR-enabled free and paid apps from the Tizen Store." + kClose;
const std::string kUpgrade =
    kOpen + " requires a newer version of QOR:</br></br>We apologise but this app requires a " +
    "newer version of QOR (Morvane) than what is currently installed.  You can upgrade for free " +
    "at the Tizen store by following the button below." + kClose;
const std::string kCreating = ui::formLine('I', "app_create", "app_create being called");

// Both variants, the name going in as markup, a missing icon or picture leaving the rest;
// on the tightest phone (480x800 at scale 1.8) with 40-character names, on the default
// one and on a large one, each at its own scale.
struct Variant {
    const char* name;
    ui::Host host;
    bool tooLow;
    const char* screen;
    friend void PrintTo(const Variant& v, std::ostream* os) { *os << v.name; }
};
const Variant kVariants[] = {
    {"Install", {}, false, "720x1280"},
    {"Upgrade", {}, true, "720x1280"},
    {"MarkupNameSmallPhone", {"R&amp;D <b>Tools</b> Field Service Kit X"}, false, "480x800"},
    {"UpgradeLongNameSmallPhone", {"Northwind Field Service Companion Pro 24"}, true, "480x800"},
    {"EmptyNameLargePhone", {""}, true, "1080x1920"},
    {"NoIcon", {"Plain", false}, false, "720x1280"},
    {"NoPicture", {"Plain", true, false}, false, "480x800"},
};

class FormVariant : public ui::FormTest, public testing::WithParamInterface<Variant> {};

// The widgets with a grid cell or a text, as the platform lists them in stacking order: each
// inside the window with a size, the label's text fitting its box (apart from the others).
TEST_P(FormVariant, IsBuiltAsLaidOutAndTheMessageFits) {
    const Variant& v = GetParam();
    vt::LogCapture log;
    start(v.host, v.tooLow, v.screen);
    EXPECT_EQ(std::vector<std::string>{kCreating}, ui::logged(log));  // nothing missing reported
    int iw = 0;
    elm_image_object_size_get(ad->downloadForm.icon, &iw, nullptr);
    EXPECT_EQ(v.host.icon ? 128 : 0, iw);

    // A wrapped label settles over a few passes, each wrapping at the width the last gave.
    Ecore_Evas* ee = ecore_evas_ecore_evas_get(evas_object_evas_get(ad->win));
    for (int pass = 0; pass < 10; ++pass) ecore_evas_manual_render(ee);
    std::string base = dev.path() + "/shown";
    ASSERT_TRUE(ui_inspect_snapshot(base.c_str()));
    std::istringstream listing(vt::readFile(base + ".txt"));
    std::string placed;
    for (std::string l; std::getline(listing, l);) {
        size_t cell = l.find(" cell="), text = l.find(" text="), size = l.find(" text_size=");
        if (cell == std::string::npos && text == std::string::npos) continue;
        placed += l.substr(0, l.find(' '));
        if (cell != std::string::npos) placed += l.substr(cell, l.find(' ', cell + 1) - cell);
        placed += (text == std::string::npos ? "" : l.substr(text)) + "\n";
        int x, y, bw, bh, tw = 0, th = 0;
        sscanf(l.c_str() + l.find(' '), " %d,%d %dx%d", &x, &y, &bw, &bh);
        if (size != std::string::npos) sscanf(l.c_str() + size, " text_size=%dx%d", &tw, &th);
        // Nothing starts above or left of the window; the grid rounds its units to a pixel.
        EXPECT_TRUE(bw > 0 && bh > 0 && x >= 0 && y >= 0 && x + bw <= w + 1 && y + bh <= h + 1)
            << l;
        EXPECT_TRUE(tw <= bw && th <= bh) << l;
    }
    // The upgrade variant has one centred button and no place for Decline: it is not shown.
    EXPECT_EQ("elm_bg cell=0,0,100,100\nelm_icon cell=38,2,25,10\nelm_label cell=5,12,90,75 text=" +
                  kOpen + v.host.label + kClose + (v.tooLow ? kUpgrade : kInstall) +
                  (v.tooLow ? "\nelm_button cell=25,87,50,5 text=Upgrade\n"
                            : "\nelm_button cell=10,87,35,5 text=Download\n"
                              "elm_button cell=55,87,35,5 text=Decline\n"),
              placed);

    // The picture is dark blue where the message sits; the theme's own background is grey.
    auto* px = static_cast<const unsigned int*>(ecore_evas_buffer_pixels_get(ee));
    ASSERT_NE(nullptr, px);
    unsigned int p = px[h * 55 / 100 * w + 10];
    EXPECT_EQ(v.host.picture, int(p & 0xff) - int((p >> 16) & 0xff) > 12) << std::hex << p;
}

INSTANTIATE_TEST_SUITE_P(Hosts, FormVariant, testing::ValuesIn(kVariants),
                         [](const testing::TestParamInfo<Variant>& i) {
                             return std::string(i.param.name);
                         });

using FormView = ui::FormTest;

// A host not installed has no application information (the form comes without its icon);
// no form or an engine the toolkit lacks makes no window, and then no popup either.
TEST_F(FormView, NoHostInformationNoFormOrNoWindow) {
    auto error = [](const char* func, const char* msg) { return ui::formLine('E', func, msg); };
    const struct {
        const char* name;
        bool installed, userData;
        const char* engine;
        std::vector<std::string> lines;
    } rows[] = {
        // clang-format off
        {"host not installed", false, true, nullptr,
         {error("MainForm", "Could not get the application information"), kCreating}},
        {"no form", true, false, nullptr, {kCreating, error("app_create", "NULL pointer exception")}},
        {"no such engine", true, true, "vornix-no-such-engine",
         {kCreating, error("create_base_gui", "Error creating main window"),
          error("app_create", "Could not create the base gui")}},
        // clang-format on
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        vt::TestDevice device;
        if (r.installed) ui::installHost(device);
        device.activate(ui::kHostId);
        vt::LogCapture log;
        MainForm f;
        std::string engine = elm_config_preferred_engine_get() ?: "";
        if (r.engine) elm_config_preferred_engine_set(r.engine);
        bool created = MainForm::app_create(r.userData ? &f : nullptr);
        elm_config_preferred_engine_set(engine.empty() ? nullptr : engine.c_str());
        EXPECT_EQ(r.userData && !r.engine, created);
        EXPECT_EQ(r.lines, ui::logged(log));
        f.showErrorPopup("T", "M", MainFormTestPeer::okHandler(), true);
        EXPECT_EQ(created, f.getWindowObject()->popupMessage != nullptr);
        MainFormTestPeer::dispose(f);
    }
}

// The screen's size is read whole or not at all (then the default 720x1280): a side past
// the range of an int is no size on 64 bits either.
TEST(Screen, SizeIsReadWholeOrNotAtAll) {
    const std::tuple<const char*, int, int> rows[] = {
        {"480x800", 480, 800},    {"1080x1920", 1080, 1920}, {"4294968016x1280", 720, 1280},
        {"720x1280x", 720, 1280}, {"0x800", 720, 1280},      {"16385x800", 720, 1280},
        {"-720x1280", 720, 1280}, {"480x+800", 720, 1280},
    };
    for (const auto& [screen, w, h] : rows) {
        setenv("VORNIX_SCREEN", screen, 1);
        int sw = 0, sh = 0;
        double scale = 0;
        ui_screen(&sw, &sh, &scale);
        EXPECT_EQ(std::make_pair(sw, sh), std::make_pair(w, h)) << screen;
    }
    unsetenv("VORNIX_SCREEN");
}

}  // namespace
