// SPDX-License-Identifier: Apache-2.0
// The widget tree app_create builds, read back from the real toolkit.
#include <algorithm>
#include <array>
#include <cstring>

#include "UiHarness.h"
#include "devkit.h"

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
        // Decline is shown only where it has a place.
        EXPECT_EQ(b == f.download_button || !v.tooLow, evas_object_visible_get(b));
    }

    // Packed in this order, the picture first so it lies under everything else; the
    // upgrade variant leaves Decline out.
    std::vector<Evas_Object*> order = {f.background, f.icon, f.label, f.download_button};
    if (!v.tooLow) order.push_back(f.cancel_button);
    EXPECT_EQ(order, ui::gridKids(f.grid));
    std::vector<Cell> cells = {{0, 0, 100, 100},
                               {38, 2, 25, 10},
                               {5, 12, 90, 75},
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
    unsigned int p = px[700 * 720 + 10];
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
    Evas_Object* ok = elm_object_part_content_get(popup, "button1");
    EXPECT_EQ("OK", text(ok));
    EXPECT_TRUE(evas_object_visible_get(popup));
    // A style the theme has, so the OK button gets a size and can be tapped.
    const char* style = elm_object_style_get(popup);
    std::string group = std::string("elm/popup/base/") + (style ? style : "");
    EXPECT_NE(nullptr, elm_theme_group_path_find(nullptr, group.c_str())) << group;
    evas_smart_objects_calculate(evas_object_evas_get(popup));
    int okW = 0, okH = 0;
    evas_object_geometry_get(ok, nullptr, nullptr, &okW, &okH);
    EXPECT_TRUE(okW > 0 && okH > 0) << okW << "x" << okH;
    EXPECT_FALSE(MainFormTestPeer::closeApplication(*form));
    form->showErrorPopup("Again", "Other", nullptr, true);  // no OK handler: the back key
    EXPECT_TRUE(evas_object_visible_get(popup));
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

// Both variants on three phones, each at its own scale, with host names of 0 and 40
// characters (one with markup): the message fits its box clear of the icon and the
// buttons, and every shown widget of the form is placed, inside the window, with a size.
struct Screen {
    const char* size;
    int w, h;
};
struct LayoutCase {
    Screen screen;
    bool tooLow;
    const char* name;
};

class FormLayout : public ui::FormTest, public testing::WithParamInterface<LayoutCase> {
protected:
    ~FormLayout() override {
        unsetenv("VORNIX_SCREEN");
        int w, h;
        double scale;
        ui_screen(&w, &h, &scale);
        elm_config_scale_set(ui_toolkit_scale(scale));
    }
};

struct Box {
    int x, y, w, h;
    bool overlaps(const Box& o) const {
        return x < o.x + o.w && o.x < x + w && y < o.y + o.h && o.y < y + h;
    }
    bool inside(const Box& o) const {
        return x >= o.x && y >= o.y && x + w <= o.x + o.w && y + h <= o.y + o.h;
    }
};
std::ostream& operator<<(std::ostream& os, const Box& b) {
    return os << b.x << "," << b.y << " " << b.w << "x" << b.h;
}
bool isWidget(Evas_Object* o, const char* type) {
    return strcmp(evas_object_type_get(o), type) == 0;
}
Box boxOf(Evas_Object* o) {
    Box b{};
    evas_object_geometry_get(o, &b.x, &b.y, &b.w, &b.h);
    return b;
}

TEST_P(FormLayout, MessageIsNeitherCoveredNorCut) {
    const LayoutCase& c = GetParam();
    setenv("VORNIX_SCREEN", c.screen.size, 1);
    int w, h;
    double scale;
    ui_screen(&w, &h, &scale);
    ASSERT_TRUE(w == c.screen.w && h == c.screen.h);
    elm_config_scale_set(ui_toolkit_scale(scale));
    ui::Host host;
    host.label = c.name;
    start(host, c.tooLow, w, h);
    const mainForm_t& f = ad->downloadForm;

    // The text as the toolkit formats and places it inside the label's text part, once the
    // wrapped label's size has settled (each pass wraps at the width the last one gave).
    Evas_Object* tb = const_cast<Evas_Object*>(
        edje_object_part_object_get(elm_layout_edje_get(f.label), "elm.text"));
    ASSERT_NE(nullptr, tb);
    Ecore_Evas* ee = ecore_evas_ecore_evas_get(evas_object_evas_get(ad->win));
    Box part{}, label{-1, -1, -1, -1};
    int tw = 0, th = 0;
    for (int pass = 0; pass < 10; ++pass) {
        ecore_evas_manual_render(ee);
        Box now = boxOf(f.label);
        part = boxOf(tb);
        evas_object_textblock_size_formatted_get(tb, &tw, &th);
        if (now.x == label.x && now.y == label.y && now.w == label.w && now.h == label.h) break;
        label = now;
    }
    double valign = evas_object_textblock_valign_get(tb);
    Box textBox{part.x, part.y + static_cast<int>((part.h - th) * valign), part.w, th};
    EXPECT_TRUE(tw <= label.w && th <= label.h) << tw << "x" << th << " in " << label;
    EXPECT_TRUE(textBox.inside(label)) << textBox << " in " << label;
    EXPECT_FALSE(textBox.overlaps(boxOf(f.icon))) << textBox << " icon " << boxOf(f.icon);

    Box window{-1, -1, w + 2, h + 2};  // the grid rounds its units to a pixel either way
    std::vector<Evas_Object*> kids = ui::gridKids(f.grid);
    for (Evas_Object* o : {f.background, f.icon, f.label, f.download_button, f.cancel_button}) {
        if (!evas_object_visible_get(o)) continue;
        Box b = boxOf(o);
        SCOPED_TRACE(evas_object_type_get(o) + (" " + text(o)));
        EXPECT_NE(kids.end(), std::find(kids.begin(), kids.end(), o));  // placed
        EXPECT_TRUE(b.w > 0 && b.h > 0 && b.inside(window)) << b;
        if (isWidget(o, "elm_button")) {
            EXPECT_FALSE(b.overlaps(textBox)) << b << " text " << textBox;
        }
    }
}

const Screen kScreens[] = {
    {"720x1280", 720, 1280}, {"480x800", 480, 800}, {"1080x1920", 1080, 1920}};
const char* const kNames[] = {"", "Northwind Field Service Companion Pro 24",
                              "R&amp;D <b>Tools</b> Field Service Kit X"};
std::vector<LayoutCase> layoutCases() {
    std::vector<LayoutCase> out;
    for (const Screen& s : kScreens)
        for (bool tooLow : {false, true})
            for (const char* n : kNames) out.push_back({s, tooLow, n});
    return out;
}
INSTANTIATE_TEST_SUITE_P(Phones, FormLayout, testing::ValuesIn(layoutCases()),
                         [](const testing::TestParamInfo<LayoutCase>& i) {
                             const LayoutCase& c = i.param;
                             std::string n = std::string("S") + c.screen.size +
                                             (c.tooLow ? "Upgrade" : "Install") + "Name" +
                                             std::to_string(strlen(c.name)) +
                                             (strchr(c.name, '<') ? "Markup" : "");
                             n.erase(std::remove(n.begin(), n.end(), 'x'), n.end());
                             return n;
                         });

using FormView = ui::FormTest;

// The real toolkit and platform failing: a host that is not installed has no application
// information (the form comes without an icon); an engine the toolkit lacks makes no window.
TEST_F(FormView, NoHostInformationOrNoWindow) {
    auto line = [](char prio, const char* func, const char* msg) {
        return ui::formLine(prio, func, (std::string("(\"") + msg + "\")").c_str(), msg);
    };
    struct Row {
        const char* name;
        bool installed;
        const char* engine;
        std::vector<std::string> lines;
        bool created;
    } rows[] = {
        {"host not installed",
         false,
         nullptr,
         {line('E', "MainForm", "Could not get the application information"), creating()},
         true},
        {"no such engine",
         true,
         "vornix-no-such-engine",
         {creating(), line('E', "create_base_gui", "Error creating main window"),
          line('E', "app_create", "Could not create the base gui")},
         false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        vt::TestDevice device;
        if (r.installed) ui::installHost(device, ui::Host());
        device.activate(ui::kHostId);
        vt::LogCapture log;
        MainForm f;
        const char* had = elm_config_preferred_engine_get();
        std::string engine = had ? had : "";
        if (r.engine) elm_config_preferred_engine_set(r.engine);
        bool created = MainForm::app_create(&f);
        elm_config_preferred_engine_set(engine.empty() ? nullptr : engine.c_str());
        EXPECT_EQ(r.created, created);
        EXPECT_EQ(r.lines, ui::logged(log));
        app_data_t* data = f.getWindowObject();
        EXPECT_EQ(r.created, data->win != nullptr);
        if (created) {
            int iw = -1;
            elm_image_object_size_get(data->downloadForm.icon, &iw, nullptr);
            EXPECT_EQ(0, iw);  // no icon, the rest of the form
            EXPECT_NE(nullptr, data->downloadForm.label);
        } else {  // no window to show a popup on
            f.showErrorPopup("T", "M", MainFormTestPeer::okHandler(), true);
            EXPECT_EQ(nullptr, data->popupMessage);
            EXPECT_TRUE(MainFormTestPeer::closeApplication(f));
        }
        MainFormTestPeer::dispose(f);
    }
}

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

// The device's theme has a "popup" popup style, the desktop's has not: the popup takes
// the style only when the theme holds both its base and its button-row groups.
TEST_F(FormView, PopupTakesThePopupStyleOnlyWhereTheThemeHasIt) {
    const std::string base =
        "group { name: \"elm/popup/base/popup\"; parts { part { name: "
        "\"elm.swallow.content\"; type: SWALLOW; } } }\n";
    const std::string buttons =
        "group { name: \"elm/popup/buttons1/popup/popup\"; parts { part "
        "{ name: \"elm.swallow.content.button1\"; type: SWALLOW; } } }\n";
    const struct {
        std::string groups;
        const char* style;
    } rows[] = {{base + buttons, "popup"}, {base, "default"}};
    struct Dir {
        std::string path = vt::makeTempDir("vornix-theme");
        ~Dir() { vt::removeTree(path); }
    } tmp;
    const std::string& dir = tmp.path;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.style);
        std::string edj = dir + "/" + r.style + ".edj";
        vt::writeFile(dir + "/theme.edc", "collections {\n" + r.groups + "}\n");
        vt::ProcessResult built = vt::runProcess({"/usr/bin/edje_cc", dir + "/theme.edc", edj}, {});
        ASSERT_EQ(0, built.status) << built.err;
        elm_theme_extension_add(nullptr, edj.c_str());
        start();
        form->showErrorPopup("T", "M", MainFormTestPeer::okHandler(), false);
        elm_theme_extension_del(nullptr, edj.c_str());
        EXPECT_STREQ(r.style, elm_object_style_get(ad->popupMessage));
    }
}

}  // namespace
