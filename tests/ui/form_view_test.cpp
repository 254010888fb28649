// The widget tree app_create builds, read back from the real toolkit.
#include <memory>

#include "UiHarness.h"

namespace {

const std::string kOpen = "<font_size=33><align=center><color=#FFFFFF>";
const std::string kClose = "</color></font_size></align>";
const std::string kInstall =
    "<font_size=33><align=center><color=#FFFFFF> is an QOR enabled application:</br></br>QOR "
    "(Morvane) needs to be downloaded only once to enable all QOR-enabled free and paid apps from "
    "the Tizen Store.</color></font_size></align>";
const std::string kUpgrade =
    "<font_size=33><align=center><color=#FFFFFF> requires a newer version of QOR:</br></br>We "
    "apologise but this app requires a newer version of QOR (Morvane) than what is currently "
    "installed.  You can upgrade for free at the Tizen store by following the button "
    "below.</color></font_size></align>";

struct Cell {
    int x, y, w, h;
    bool operator==(const Cell& o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
};

std::ostream& operator<<(std::ostream& os, const Cell& c) {
    return os << c.x << "," << c.y << "," << c.w << "," << c.h;
}

Cell cellOf(Evas_Object* obj) {
    Cell c{-1, -1, -1, -1};
    elm_grid_pack_get(obj, &c.x, &c.y, &c.w, &c.h);
    return c;
}

std::string text(Evas_Object* obj, const char* part = nullptr) {
    const char* t = elm_object_part_text_get(obj, part);
    return t ? t : "";
}

std::string plain(const std::string& markup) {
    char* s = elm_entry_markup_to_utf8(markup.c_str());
    std::string out = s ? s : "";
    free(s);
    return out;
}

void noop(void*, Evas_Object*, void*) {}

class FormView : public testing::Test {
protected:
    void build(const ui::Host& host, bool tooLow) {
        ui::installHost(dev, host);
        form.reset(new MainForm);
        form->setVersionTooLow(tooLow);
        ad = form->getWindowObject();
        ASSERT_TRUE(MainForm::app_create(form.get()));
        evas_object_resize(ad->win, 720, 1280);
        evas_smart_objects_calculate(evas_object_evas_get(ad->win));
    }
    void TearDown() override {
        if (form) MainFormTestPeer::dispose(*form);
    }

    vt::TestDevice dev;
    std::unique_ptr<MainForm> form;
    app_data_t* ad = nullptr;
};

struct Variant {
    bool tooLow;
    const char* button;
    const std::string* text;
    Cell download;
    bool cancelPacked;
};

class FormVariant : public FormView, public testing::WithParamInterface<Variant> {};

TEST_P(FormVariant, WindowAndFormAreBuiltAsLaidOut) {
    const Variant& v = GetParam();
    vt::LogCapture log;
    build(ui::Host(), v.tooLow);
    const mainForm_t& f = ad->downloadForm;

    EXPECT_EQ(ui::body(vt::logLine('I', "", "src/MainForm.cpp", "app_create",
                                   "LOGI(\"app_create being called\")", "app_create being called")),
              ui::body(log.lines().at(0)));
    EXPECT_STREQ("Vornix", elm_win_title_get(ad->win));
    EXPECT_TRUE(evas_object_visible_get(ad->win));
    EXPECT_TRUE(elm_win_autodel_get(ad->win));
    EXPECT_EQ(ELM_WIN_INDICATOR_SHOW, elm_win_indicator_mode_get(ad->win));
    EXPECT_EQ(ELM_WIN_INDICATOR_OPAQUE, elm_win_indicator_opacity_get(ad->win));
    EXPECT_EQ(f.grid, elm_object_part_content_get(ad->conformant, "elm.swallow.content"));
    EXPECT_EQ(ad->conformant, f.parent);
    EXPECT_EQ(f.grid, f.root_container);
    EXPECT_STREQ("download_form", f.name);
    EXPECT_EQ(nullptr, ad->popupMessage);  // made on first use

    int gw = 0, gh = 0;
    elm_grid_size_get(f.grid, &gw, &gh);
    EXPECT_EQ(100, gw);
    EXPECT_EQ(100, gh);

    const char* file = nullptr;
    elm_bg_file_get(f.background, &file, nullptr);
    EXPECT_EQ(dev.packageRoot(ui::kHostId) + "res/screen-density-high/download-QOR.png",
              file ? file : "");
    EXPECT_EQ(ELM_BG_OPTION_SCALE, elm_bg_option_get(f.background));

    EXPECT_EQ(kOpen + "Host App" + kClose + *v.text, text(f.label));
    EXPECT_EQ(ELM_WRAP_WORD, elm_label_line_wrap_get(f.label));
    EXPECT_FALSE(elm_label_ellipsis_get(f.label));

    EXPECT_EQ(v.button, text(f.download_button));
    EXPECT_EQ("Decline", text(f.cancel_button));
    for (Evas_Object* b : {f.download_button, f.cancel_button}) {
        EXPECT_STREQ("default", elm_object_style_get(b));
        EXPECT_FALSE(elm_button_autorepeat_get(b));
        EXPECT_TRUE(evas_object_visible_get(b));
    }

    // Packed in this order, the picture first so it lies under everything else.
    std::vector<Evas_Object*> order = {f.background, f.icon, f.label, f.download_button};
    if (v.cancelPacked) order.push_back(f.cancel_button);
    Eina_List* kids = elm_grid_children_get(f.grid);
    std::vector<Evas_Object*> packed;
    Eina_List* it;
    void* kid;
    EINA_LIST_FOREACH(kids, it, kid) packed.push_back(static_cast<Evas_Object*>(kid));
    eina_list_free(kids);
    EXPECT_EQ(order, packed);

    EXPECT_EQ((Cell{0, 0, 100, 100}), cellOf(f.background));
    EXPECT_EQ((Cell{38, 40, 25, 25}), cellOf(f.icon));
    EXPECT_EQ((Cell{5, 62, 90, 50}), cellOf(f.label));
    EXPECT_EQ(v.download, cellOf(f.download_button));
    if (v.cancelPacked) {
        EXPECT_EQ((Cell{55, 87, 35, 5}), cellOf(f.cancel_button));
    }
    EXPECT_EQ(v.cancelPacked, ui::inGrid(f.grid, f.cancel_button));
}

INSTANTIATE_TEST_SUITE_P(
    BothVariants, FormVariant,
    testing::Values(Variant{false, "Download", &kInstall, {10, 87, 35, 5}, true},
                    Variant{true, "Upgrade", &kUpgrade, {25, 87, 50, 5}, false}));

TEST_F(FormView, HostNameGoesInAsMarkup) {
    struct Row {
        const char* name;
        const char* shown;  // the start of what the label reads
    } rows[] = {
        {"R&amp;D <b>Tools</b>", "R&D Tools is an QOR enabled application:"},
        {"", " is an QOR enabled application:"},
        {"Plain", "Plain is an QOR enabled application:"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        vt::TestDevice own;
        ui::installHost(own, ui::Host{r.name});
        MainForm f;
        ASSERT_TRUE(MainForm::app_create(&f));
        Evas_Object* label = f.getWindowObject()->downloadForm.label;
        EXPECT_EQ(kOpen + r.name + kClose + kInstall, text(label));
        EXPECT_EQ(0u, plain(text(label)).find(r.shown)) << plain(text(label));
        MainFormTestPeer::dispose(f);
    }
}

TEST_F(FormView, MissingIconOrPictureLeavesTheRestOfTheForm) {
    struct Row {
        bool icon, picture;
    } rows[] = {{true, true}, {false, true}, {true, false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "icon " << r.icon << " picture " << r.picture);
        vt::TestDevice own;
        ui::Host host;
        host.icon = r.icon;
        host.picture = r.picture;
        ui::installHost(own, host);
        vt::LogCapture log;
        MainForm f;
        ASSERT_TRUE(MainForm::app_create(&f));
        app_data_t* a = f.getWindowObject();
        evas_object_resize(a->win, 720, 1280);
        const mainForm_t& w = a->downloadForm;

        int iw = 0, ih = 0;
        elm_image_object_size_get(w.icon, &iw, &ih);
        EXPECT_EQ(r.icon ? 96 : 0, iw);
        EXPECT_EQ((Cell{38, 40, 25, 25}), cellOf(w.icon));

        // The picture is dark blue where the message sits; the theme's own background is grey.
        int rgb[3];
        ui::pixelAt(a->win, 10, 900, rgb);
        EXPECT_EQ(r.picture, rgb[2] - rgb[0] > 12) << rgb[0] << "," << rgb[1] << "," << rgb[2];

        EXPECT_EQ("Download", text(w.download_button));
        EXPECT_TRUE(ui::inGrid(w.grid, w.cancel_button));
        for (const std::string& l : log.lines())  // neither is reported
            EXPECT_EQ(std::string::npos, l.find("E/")) << l;
        MainFormTestPeer::dispose(f);
    }
}

TEST_F(FormView, NullUserDataMakesNoWindow) {
    ui::installHost(dev, ui::Host());
    Eina_List* before = ecore_evas_ecore_evas_list_get();
    vt::LogCapture log;
    EXPECT_FALSE(MainForm::app_create(nullptr));
    Eina_List* after = ecore_evas_ecore_evas_list_get();
    EXPECT_EQ(eina_list_count(before), eina_list_count(after));
    eina_list_free(before);
    eina_list_free(after);
    std::vector<std::string> lines = log.lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(ui::body(vt::logLine('E', "", "src/MainForm.cpp", "app_create",
                                   "LOGE(\"NULL pointer exception\")", "NULL pointer exception")),
              ui::body(lines[1]));
    EXPECT_EQ('E', lines[1][0]);
}

TEST_F(FormView, ErrorPopupBelongsToTheWindow) {
    build(ui::Host(), false);
    form->showErrorPopup("Title", "Message", noop, false);
    Evas_Object* popup = ad->popupMessage;
    ASSERT_NE(nullptr, popup);
    EXPECT_STREQ("elm_popup", evas_object_type_get(popup));
    EXPECT_EQ(ad->win, elm_object_top_widget_get(popup));
    EXPECT_EQ("Title", text(popup, "title,text"));
    EXPECT_EQ("Message", text(popup));
    Evas_Object* ok = elm_object_part_content_get(popup, "button1");
    ASSERT_NE(nullptr, ok);
    EXPECT_EQ("OK", text(ok));
    EXPECT_TRUE(evas_object_visible_get(popup));
    EXPECT_FALSE(MainFormTestPeer::closeApplication(*form));

    // Shown again: the same popup, still one OK button.
    form->showErrorPopup("Again", "Other", noop, true);
    EXPECT_EQ(popup, ad->popupMessage);
    EXPECT_EQ("Again", text(popup, "title,text"));
    EXPECT_EQ("OK", text(elm_object_part_content_get(popup, "button1")));
    EXPECT_EQ(nullptr, elm_object_part_content_get(popup, "button2"));
    EXPECT_TRUE(MainFormTestPeer::closeApplication(*form));
}

}  // namespace
