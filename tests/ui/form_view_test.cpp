// The widget tree app_create builds, read back from the real toolkit.
#include <array>

#include "UiHarness.h"

namespace {

using ui::text;

const std::string kOpen = "<font_size=33><align=center><color=#FFFFFF>";
const std::string kClose = "</color></font_size></align>";
const std::string kInstall =
    kOpen + " is an QOR enabled application:</br></br>QOR (Morvane) needs to be downloaded only " +
    "once to enable all QOR-enabled free and paid apps from the Tizen Store." + kClose;
const std::string kUpgrade =
    kOpen + " requires a newer version of QOR:</br></br>We apologise but this app requires a " +
    "newer version of QOR (Morvane) than what is currently installed.  You can upgrade for free " +
    "at the Tizen store by following the button below." + kClose;
std::string creating() {
    return ui::formLine('I', "app_create", "LOGI(\"app_create being called\")",
                        "app_create being called");
}

using Cell = std::array<int, 4>;  // x, y, w, h on the 100x100 grid

Cell cellOf(Evas_Object* obj) {
    Cell c{-1, -1, -1, -1};
    elm_grid_pack_get(obj, &c[0], &c[1], &c[2], &c[3]);
    return c;
}

// The install and upgrade variants; the host's name goes in as markup, and a missing icon
// or picture leaves the rest of the form.
struct Variant {
    const char* name;
    ui::Host host;
    bool tooLow;
    const char* shown;  // the start of what the label reads
    friend void PrintTo(const Variant& v, std::ostream* os) { *os << v.name; }
};

class FormVariant : public ui::FormTest, public testing::WithParamInterface<Variant> {};

TEST_P(FormVariant, WindowFormAndPopupAreBuiltAsLaidOut) {
    const Variant& v = GetParam();
    vt::LogCapture log;
    start(v.host, v.tooLow);
    const mainForm_t& f = ad->downloadForm;
    EXPECT_EQ(std::vector<std::string>{creating()},
              ui::logged(log));  // nothing missing is reported
    EXPECT_STREQ("Vornix", elm_win_title_get(ad->win));
    EXPECT_TRUE(evas_object_visible_get(ad->win));
    EXPECT_TRUE(elm_win_autodel_get(ad->win));
    EXPECT_EQ(ELM_WIN_INDICATOR_SHOW, elm_win_indicator_mode_get(ad->win));
    EXPECT_EQ(ELM_WIN_INDICATOR_OPAQUE, elm_win_indicator_opacity_get(ad->win));
    EXPECT_EQ(f.grid, elm_object_part_content_get(ad->conformant, "elm.swallow.content"));
    EXPECT_EQ(ad->conformant, f.parent);
    EXPECT_EQ(f.grid, f.root_container);
    EXPECT_STREQ("download_form", f.name);
    int gw = 0, gh = 0;
    elm_grid_size_get(f.grid, &gw, &gh);
    EXPECT_TRUE(gw == 100 && gh == 100) << gw << "x" << gh;

    const char* file = nullptr;
    elm_bg_file_get(f.background, &file, nullptr);
    EXPECT_EQ(dev.packageRoot(ui::kHostId) + "res/screen-density-high/download-QOR.png",
              file ? file : "");
    EXPECT_EQ(ELM_BG_OPTION_SCALE, elm_bg_option_get(f.background));
    int iw = 0;
    elm_image_object_size_get(f.icon, &iw, nullptr);
    EXPECT_EQ(v.host.icon ? 128 : 0, iw);

    std::string label = text(f.label);
    EXPECT_EQ(kOpen + v.host.label + kClose + (v.tooLow ? kUpgrade : kInstall), label);
    char* shown = elm_entry_markup_to_utf8(label.c_str());
    EXPECT_EQ(0u, std::string(shown).find(v.shown)) << shown;
    free(shown);
    EXPECT_EQ(ELM_WRAP_WORD, elm_label_line_wrap_get(f.label));
    EXPECT_FALSE(elm_label_ellipsis_get(f.label));
    EXPECT_EQ(v.tooLow ? "Upgrade" : "Download", text(f.download_button));
    EXPECT_EQ("Decline", text(f.cancel_button));
    for (Evas_Object* b : {f.download_button, f.cancel_button}) {
        EXPECT_STREQ("default", elm_object_style_get(b));
        EXPECT_FALSE(elm_button_autorepeat_get(b));
        EXPECT_TRUE(evas_object_visible_get(b));
    }

    // Packed in this order, the picture first so it lies under everything else; the
    // upgrade variant leaves Decline out.
    std::vector<Evas_Object*> order = {f.background, f.icon, f.label, f.download_button};
    if (!v.tooLow) order.push_back(f.cancel_button);
    EXPECT_EQ(order, ui::gridKids(f.grid));
    std::vector<Cell> cells = {{0, 0, 100, 100},
                               {38, 40, 25, 25},
                               {5, 62, 90, 50},
                               v.tooLow ? Cell{25, 87, 50, 5} : Cell{10, 87, 35, 5},
                               {55, 87, 35, 5}};
    for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(cells[i], cellOf(order[i])) << i;

    // The picture is dark blue where the message sits; the theme's own background is grey.
    Ecore_Evas* ee = ecore_evas_ecore_evas_get(evas_object_evas_get(ad->win));
    int ww = 0, wh = 0;
    ecore_evas_geometry_get(ee, nullptr, nullptr, &ww, &wh);
    ecore_evas_manual_render(ee);
    auto* px = static_cast<const unsigned int*>(ecore_evas_buffer_pixels_get(ee));
    ASSERT_TRUE(px && ww == 720 && wh == 1280) << ww << "x" << wh;
    unsigned int p = px[900 * 720 + 10];
    EXPECT_EQ(v.host.picture, int(p & 0xff) - int((p >> 16) & 0xff) > 12) << std::hex << p;

    // The error popup is made on first use, on the window; shown again it is the same
    // popup with still one OK button.
    EXPECT_EQ(nullptr, ad->popupMessage);
    auto noop = [](void*, Evas_Object*, void*) {};
    form->showErrorPopup("Title", "Message", noop, false);
    Evas_Object* popup = ad->popupMessage;
    EXPECT_STREQ("elm_popup", evas_object_type_get(popup));
    EXPECT_EQ(ad->win, elm_object_top_widget_get(popup));
    EXPECT_EQ("Title", text(popup, "title,text"));
    EXPECT_EQ("Message", text(popup));
    EXPECT_EQ("OK", text(elm_object_part_content_get(popup, "button1")));
    EXPECT_TRUE(evas_object_visible_get(popup));
    EXPECT_FALSE(MainFormTestPeer::closeApplication(*form));
    form->showErrorPopup("Again", "Other", noop, true);
    EXPECT_EQ(popup, ad->popupMessage);
    EXPECT_EQ("Again", text(popup, "title,text"));
    EXPECT_EQ("OK", text(elm_object_part_content_get(popup, "button1")));
    EXPECT_EQ(nullptr, elm_object_part_content_get(popup, "button2"));
    EXPECT_TRUE(MainFormTestPeer::closeApplication(*form));
}

const Variant kVariants[] = {
    {"Install", ui::Host(), false, "Host App is an QOR enabled application:"},
    {"Upgrade", ui::Host(), true, "Host App requires a newer version of QOR:"},
    {"MarkupName", {"R&amp;D <b>Tools</b>"}, false, "R&D Tools is an QOR enabled application:"},
    {"EmptyName", {""}, false, " is an QOR enabled application:"},
    {"NoIcon", {"Plain", false}, false, "Plain is an QOR enabled application:"},
    {"NoPicture", {"Plain", true, false}, false, "Plain is an QOR enabled application:"},
};
INSTANTIATE_TEST_SUITE_P(Hosts, FormVariant, testing::ValuesIn(kVariants),
                         [](const testing::TestParamInfo<Variant>& i) {
                             return std::string(i.param.name);
                         });

using FormView = ui::FormTest;

TEST_F(FormView, NullUserDataMakesNoWindow) {
    ui::installHost(dev, ui::Host());
    auto windows = [] {
        Eina_List* all = ecore_evas_ecore_evas_list_get();
        unsigned int n = eina_list_count(all);
        eina_list_free(all);
        return n;
    };
    unsigned int before = windows();
    vt::LogCapture log;
    EXPECT_FALSE(MainForm::app_create(nullptr));
    EXPECT_EQ(before, windows());
    std::vector<std::string> expected = {
        creating(), ui::formLine('E', "app_create", "LOGE(\"NULL pointer exception\")",
                                 "NULL pointer exception")};
    EXPECT_EQ(expected, ui::logged(log));
}

}  // namespace
