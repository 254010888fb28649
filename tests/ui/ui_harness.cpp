#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <vector>

#include "UiHarness.h"

namespace {

// One Elementary for the whole test program, on the buffer engine main() chose.
class ElementaryEnv : public testing::Environment {
public:
    void SetUp() override { elm_init(0, nullptr); }
    void TearDown() override { elm_shutdown(); }
};

testing::Environment* const gElementary = testing::AddGlobalTestEnvironment(new ElementaryEnv);

std::string gIcon;

// A 96x96 two-tone square, saved as PNG with Evas itself.
std::string iconFile() {
    if (!gIcon.empty()) return gIcon;
    std::string dir = vt::makeTempDir("vornix-icon");
    std::vector<unsigned int> px(96 * 96);
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 96; ++x) px[y * 96 + x] = x + y < 96 ? 0xffe0a030 : 0xff3070e0;
    Ecore_Evas* ee = ecore_evas_buffer_new(1, 1);
    Evas_Object* img = evas_object_image_filled_add(ecore_evas_get(ee));
    evas_object_image_size_set(img, 96, 96);
    evas_object_image_data_copy_set(img, px.data());
    gIcon = dir + "/host.png";
    evas_object_image_save(img, gIcon.c_str(), nullptr, nullptr);
    ecore_evas_free(ee);
    return gIcon;
}

struct Loop {
    std::function<void()> act;
    bool acted = false;
    bool watchdog = false;
};

Eina_Bool runAct(void* data) {
    auto* loop = static_cast<Loop*>(data);
    loop->acted = true;
    loop->act();
    return ECORE_CALLBACK_CANCEL;
}

Eina_Bool runWatchdog(void* data) {
    static_cast<Loop*>(data)->watchdog = true;
    elm_exit();
    return ECORE_CALLBACK_CANCEL;
}

}  // namespace

namespace ui {

void installHost(vt::TestDevice& dev, const Host& host) {
    vt::PackageSpec p = vt::hostPackage(host.label);
    if (host.icon) p.copies["shared/res/host.png"] = iconFile();
    if (host.picture)
        p.copies["res/screen-density-high/download-QOR.png"] =
            vt::sourceDir() + "/resources/screen-density-high/download-QOR.png";
    dev.install(p);
    if (host.store) {
        vt::PackageSpec store;
        store.pkgId = "org.tizen.tizenstore";
        store.apps.push_back(
            {"org.tizen.tizenstore", "ui-application", "store", "Store", false, ""});
        store.copies["bin/store"] = "/bin/true";
        dev.install(store);
    }
    dev.activate(kHostId);
}

bool runLoop(const std::function<void()>& act) {
    Loop loop{act};
    Ecore_Timer* start = ecore_timer_add(0.05, runAct, &loop);
    Ecore_Timer* guard = ecore_timer_add(30.0, runWatchdog, &loop);
    elm_run();
    // Whichever did not fire must not outlive `loop`.
    if (!loop.acted) ecore_timer_del(start);
    if (!loop.watchdog) ecore_timer_del(guard);
    return !loop.watchdog;
}

void click(Evas_Object* obj) {
    Evas* e = evas_object_evas_get(obj);
    evas_smart_objects_calculate(e);
    int x, y, w, h;
    evas_object_geometry_get(obj, &x, &y, &w, &h);
    unsigned int ts = static_cast<unsigned int>(ecore_loop_time_get() * 1000);
    evas_event_feed_mouse_move(e, x + w / 2, y + h / 2, ts, nullptr);
    evas_event_feed_mouse_down(e, 1, EVAS_BUTTON_NONE, ts + 1, nullptr);
    evas_event_feed_mouse_up(e, 1, EVAS_BUTTON_NONE, ts + 2, nullptr);
}

void pressOk(Evas_Object* ok) { evas_object_smart_callback_call(ok, "clicked", nullptr); }

void pressKey(Evas_Object* win, const char* key) {
    Evas* e = evas_object_evas_get(win);
    unsigned int ts = static_cast<unsigned int>(ecore_loop_time_get() * 1000);
    evas_event_feed_key_down(e, key, key, nullptr, nullptr, ts, nullptr);
    evas_event_feed_key_up(e, key, key, nullptr, nullptr, ts + 1, nullptr);
}

void pixelAt(Evas_Object* win, int x, int y, int rgb[3]) {
    Ecore_Evas* ee = ecore_evas_ecore_evas_get(evas_object_evas_get(win));
    int w = 0, h = 0;
    ecore_evas_geometry_get(ee, nullptr, nullptr, &w, &h);
    ecore_evas_manual_render(ee);
    auto* px = static_cast<const unsigned int*>(ecore_evas_buffer_pixels_get(ee));
    unsigned int p = px && x < w && y < h ? px[y * w + x] : 0;
    rgb[0] = (p >> 16) & 0xff;
    rgb[1] = (p >> 8) & 0xff;
    rgb[2] = p & 0xff;
}

bool inGrid(Evas_Object* grid, Evas_Object* obj) {
    Eina_List* kids = elm_grid_children_get(grid);
    bool found = eina_list_data_find(kids, obj) != nullptr;
    eina_list_free(kids);
    return found;
}

std::string body(const std::string& line) {
    size_t at = line.find("): ");
    return at == std::string::npos ? line : line.substr(at + 3);
}

// GTEST_SKIP returns from the function it stands in.
static void skip(const std::string& why) { GTEST_SKIP() << why; }

std::string mediaBacking() {
    const char* b = getenv("VORNIX_PRIVATE_MEDIA");
    return b ? b : "";
}

bool inPrivateMedia(bool readOnly) {
    if (!mediaBacking().empty()) return true;
    vt::ProcessResult probe =
        vt::runProcess({"/usr/bin/unshare", "-m", "--propagation", "private", "/bin/true"}, {});
    if (probe.status != 0) {
        skip("no private mount namespace: " + probe.err);
        return false;
    }
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        ADD_FAILURE() << "cannot find the test program";
        return false;
    }
    self[n] = '\0';
    std::string backing = vt::makeTempDir("vornix-media");
    // Where the device has no /opt/usr/media, a scratch /opt (seen only in the
    // namespace) gives the mount point, so nothing outside the test is touched.
    std::string script =
        "set -e\n"
        "if [ ! -d /opt/usr/media ]; then mkdir -p /opt; mount -t tmpfs vornix /opt;"
        " mkdir -p /opt/usr/media; fi\n"
        "mount --bind \"$VORNIX_PRIVATE_MEDIA\" /opt/usr/media\n";
    if (readOnly) script += "mount -o remount,bind,ro /opt/usr/media\n";
    script += "exec \"$@\"\n";
    const testing::TestInfo* t = testing::UnitTest::GetInstance()->current_test_info();
    std::string filter = std::string("--gtest_filter=") + t->test_suite_name() + "." + t->name();
    vt::ProcessResult r = vt::runProcess({"/usr/bin/unshare", "-m", "--propagation", "private",
                                          "/bin/sh", "-c", script, "sh", self, filter},
                                         {"VORNIX_PRIVATE_MEDIA=" + backing}, "", 60000);
    vt::removeTree(backing);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("[  PASSED  ] 1 test")) << r.out << r.err;
    return false;
}

}  // namespace ui
