// SPDX-License-Identifier: Apache-2.0
#include <stdlib.h>

#include <filesystem>

#include "UiHarness.h"
#include "devkit.h"

namespace {

// One Elementary for the whole test program, on the buffer engine main() chose, at the
// scale ui_app_main gives the default 720x1280 screen.
class ElementaryEnv : public testing::Environment {
public:
    void SetUp() override {
        elm_init(0, nullptr);
        int w, h;
        double scale;
        ui_screen(&w, &h, &scale);
        elm_config_scale_set(ui_toolkit_scale(scale));
    }
    void TearDown() override { elm_shutdown(); }
};

testing::Environment* const gElementary = testing::AddGlobalTestEnvironment(new ElementaryEnv);

}  // namespace

namespace ui {

void installHost(vt::TestDevice& dev, const Host& host) {
    vt::PackageSpec p = vt::hostPackage(host.label);
    if (host.icon)
        p.copies["shared/res/host.png"] =
            vt::sourceDir() + "/demo/packages/org.example.hello/shared/res/hello.png";
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

bool runLoop(const std::function<void()>& act, double seconds) {
    struct Loop {
        const std::function<void()>& act;
        Ecore_Timer *start, *guard;
    } loop{act, nullptr, nullptr};
    loop.start = ecore_timer_add(
        0.05,
        [](void* d) -> Eina_Bool {
            static_cast<Loop*>(d)->start = nullptr;
            static_cast<Loop*>(d)->act();
            return ECORE_CALLBACK_CANCEL;
        },
        &loop);
    loop.guard = ecore_timer_add(
        seconds,
        [](void* d) -> Eina_Bool {
            static_cast<Loop*>(d)->guard = nullptr;
            elm_exit();
            return ECORE_CALLBACK_CANCEL;
        },
        &loop);
    elm_run();
    bool ended = loop.guard != nullptr;
    for (Ecore_Timer* t : {loop.start, loop.guard})  // neither may outlive `loop`
        if (t) ecore_timer_del(t);
    return ended;
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

Ecore_Timer* clickEvery(Evas_Object* obj) {
    return ecore_timer_add(
        0.1,
        [](void* o) -> Eina_Bool {
            click(static_cast<Evas_Object*>(o));
            return ECORE_CALLBACK_RENEW;
        },
        obj);
}

void afterClick(Evas_Object* obj, std::function<void()>* fn) {
    evas_object_smart_callback_add(
        obj, "clicked",
        [](void* f, Evas_Object*, void*) {
            ecore_job_add([](void* g) { (*static_cast<std::function<void()>*>(g))(); }, f);
        },
        fn);
}

void pressKey(Evas_Object* win, const char* key) {
    Evas* e = evas_object_evas_get(win);
    unsigned int ts = static_cast<unsigned int>(ecore_loop_time_get() * 1000);
    evas_event_feed_key_down(e, key, key, nullptr, nullptr, ts, nullptr);
    evas_event_feed_key_up(e, key, key, nullptr, nullptr, ts + 1, nullptr);
}

std::vector<Evas_Object*> gridKids(Evas_Object* grid) {
    Eina_List* kids = elm_grid_children_get(grid);
    std::vector<Evas_Object*> out;
    for (Eina_List* l = kids; l; l = eina_list_next(l))
        out.push_back(static_cast<Evas_Object*>(eina_list_data_get(l)));
    eina_list_free(kids);
    return out;
}

std::string formLine(char prio, const char* func, const char* needle, const std::string& msg) {
    return vt::logBody(vt::logLine(prio, "", "src/MainForm.cpp", func, msg));
}

std::vector<std::string> logged(const vt::LogCapture& log) {
    std::vector<std::string> out;
    for (const std::string& l : log.lines()) out.push_back(vt::logBody(l));
    return out;
}

std::string mediaBacking() {
    const char* b = getenv("VORNIX_PRIVATE_MEDIA");
    return b ? b : "";
}

bool inPrivateMedia(bool readOnly) {
    if (!mediaBacking().empty()) return true;
    std::vector<std::string> cmd = {"/usr/bin/unshare", "-m", "--propagation", "private",
                                    "/bin/true"};
    vt::ProcessResult probe = vt::runProcess(cmd, {});
    if (probe.status != 0) {
        [&] { GTEST_SKIP() << "no private mount namespace: " << probe.err; }();
        return false;
    }
    std::string backing = vt::makeTempDir("vornix-media");
    // Where the device has no /opt/usr/media, a scratch /opt (seen only in the
    // namespace) gives the mount point, so nothing outside the test is touched.
    std::string script =
        "set -e\n"
        "if [ ! -d /opt/usr/media ]; then mkdir -p /opt; mount -t tmpfs vornix /opt;"
        " mkdir -p /opt/usr/media; fi\n"
        "mount --bind \"$VORNIX_PRIVATE_MEDIA\" /opt/usr/media\n";
    if (readOnly) script += "mount -o remount,bind,ro /opt/usr/media\n";
    const testing::TestInfo* t = testing::UnitTest::GetInstance()->current_test_info();
    cmd.back() = "/bin/sh";
    cmd.insert(cmd.end(),
               {"-c", script + "exec \"$@\"\n", "sh",
                std::filesystem::read_symlink("/proc/self/exe").string(),
                std::string("--gtest_filter=") + t->test_suite_name() + "." + t->name()});
    vt::ProcessResult r = vt::runProcess(cmd, {"VORNIX_PRIVATE_MEDIA=" + backing}, "", 60000);
    vt::removeTree(backing);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("[  PASSED  ] 1 test")) << r.out << r.err;
    return false;
}

}  // namespace ui
