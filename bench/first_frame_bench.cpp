// SPDX-License-Identifier: Apache-2.0
// Time to first frame on the UI road: the launcher started on a device without the
// compatibility layer, against a floor program that shows one window with the same
// picture. Both run headless (buffer engine) with first_frame_probe preloaded, which
// reports the first drawn frame; the clock runs from fork to that report. Runs the two
// alternately (the order flips every pair) and reports medians and the median ratio.
//   first_frame_bench [pairs] [--plain]   (default 41 pairs, after 3 warm-up pairs)
// The floor opens Elementary's standard window, as the launcher does; --plain makes it
// open a bare window instead.
#include <Ecore_Evas.h>
#include <Elementary.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "devkit.h"

extern char** environ;

namespace {

using devkit::kHostId;

double now() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Milliseconds from fork to the probe's byte; negative when no frame came.
double runOnce(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv) {
    int p[2];
    if (pipe2(p, O_CLOEXEC) != 0) return -1;
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.push_back(*e);
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    double start = now();
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        // The write end becomes descriptor 3; everything else of ours closes on exec.
        if (p[1] == 3)
            fcntl(3, F_SETFD, 0);
        else
            dup2(p[1], 3);
        std::vector<char*> a, e;
        for (const std::string& s : argv) a.push_back(const_cast<char*>(s.c_str()));
        a.push_back(nullptr);
        for (const std::string& s : env) e.push_back(const_cast<char*>(s.c_str()));
        e.push_back(nullptr);
        execve(a[0], a.data(), e.data());
        _exit(127);
    }
    close(p[1]);
    struct pollfd fd = {p[0], POLLIN, 0};
    char c;
    bool framed = poll(&fd, 1, 20000) == 1 && read(p[0], &c, 1) == 1;
    double ms = now() - start;
    close(p[0]);
    kill(pid, SIGTERM);
    int status;
    if (!devkit::waitFor([&] { return waitpid(pid, &status, WNOHANG) != 0; }, 5000, 100)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    return framed ? ms : -1;
}

bool makeIcon(const std::string& path) {
    ecore_evas_init();
    std::vector<unsigned int> px(96 * 96, 0xff3070e0);
    Ecore_Evas* ee = ecore_evas_buffer_new(1, 1);
    Evas_Object* img = evas_object_image_filled_add(ecore_evas_get(ee));
    evas_object_image_size_set(img, 96, 96);
    evas_object_image_data_copy_set(img, px.data());
    bool ok = evas_object_image_save(img, path.c_str(), nullptr, nullptr);
    ecore_evas_free(ee);
    ecore_evas_shutdown();
    return ok;
}

bool makeDevice(const std::string& dev, std::string* err) {
    if (device::createDevice(dev, err) != device::OK) return false;
    std::string icon = dev + "/.host-icon.png";
    if (!makeIcon(icon)) {
        *err = "cannot prepare the host package";
        return false;
    }
    devkit::PackageSpec host = devkit::hostPackage();
    host.copies["res/screen-density-high/download-QOR.png"] =
        VORNIX_SOURCE_DIR "/resources/screen-density-high/download-QOR.png";
    host.copies["shared/res/host.png"] = icon;
    return devkit::installPackage(dev, host, err);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("EINA_LOG_LEVEL", "0", 0);
    int pairs = argc > 1 ? atoi(argv[1]) : 41;
    if (pairs < 1) pairs = 1;
    bool plain = argc > 2 && strcmp(argv[2], "--plain") == 0;
    std::string bin = VORNIX_BINARY_DIR;
    char tmpl[] = "/tmp/vornix-first-frame-XXXXXX";
    if (!mkdtemp(tmpl)) return perror("mkdtemp"), 1;
    std::string dev = tmpl;
    std::string err;
    if (!makeDevice(dev, &err)) return fprintf(stderr, "%s\n", err.c_str()), 1;

    std::vector<std::string> common = {"ELM_ENGINE=buffer", "EINA_LOG_LEVEL=0",
                                       "LD_PRELOAD=" + bin + "/bench/libfirst_frame_probe.so",
                                       "FIRST_FRAME_FD=3", env::assignment(env::kDlogStderr, "0")};
    std::vector<std::string> launcherEnv = common;
    launcherEnv.push_back(env::assignment(env::kDevice, dev));
    launcherEnv.push_back(env::assignment(env::kAppId, kHostId));
    std::vector<std::string> launcher = {bin + "/vornix"};
    std::vector<std::string> floor = {
        bin + "/bench/first_frame_floor",
        dev + "/opt/usr/apps/" + kHostId + "/res/screen-density-high/download-QOR.png"};
    if (plain) floor.push_back("--plain");

    std::vector<double> ui, base, ratios;
    const int warmup = 3;
    for (int i = 0; i < warmup + pairs; ++i) {
        bool floorFirst = i % 2 == 0;
        double f = 0, l = 0;
        for (int k = 0; k < 2; ++k) {
            if ((k == 0) == floorFirst)
                f = runOnce(floor, common);
            else
                l = runOnce(launcher, launcherEnv);
        }
        if (f < 0 || l < 0) {
            fprintf(stderr, "run %d: no first frame from the %s\n", i,
                    f < 0 ? "floor" : "launcher");
            return 1;
        }
        if (i < warmup) continue;
        base.push_back(f);
        ui.push_back(l);
        ratios.push_back(l / f);
    }
    std::string cmd = "rm -rf '" + dev + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "left %s behind\n", dev.c_str());

    printf("first frame, %d alternating pairs (ms)\n", pairs);
    printf("  %-22s median %8.1f  min %8.1f  max %8.1f\n",
           plain ? "floor (bare window)" : "floor (std window)", devkit::median(base),
           *std::min_element(base.begin(), base.end()),
           *std::max_element(base.begin(), base.end()));
    printf("  %-22s median %8.1f  min %8.1f  max %8.1f\n", "launcher UI road", devkit::median(ui),
           *std::min_element(ui.begin(), ui.end()), *std::max_element(ui.begin(), ui.end()));
    printf("  ratio of medians        %.3f\n", devkit::median(ui) / devkit::median(base));
    printf("  median of pair ratios   %.3f  (target <= 1.15)\n", devkit::median(ratios));
    return 0;
}
