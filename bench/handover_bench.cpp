// SPDX-License-Identifier: Apache-2.0
// Cost of the hand-over road: the launcher started on a device where the layer is
// installed, against a floor program that only loads and enters the same runtime.
// Runs the two alternately and reports median wall times, their ratio and peak RSS.
//   handover_bench [runs]     (default 41 runs of each)
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <fcntl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "devkit.h"

namespace {

struct Sample {
    double ms;
    long maxRssKb;
};

Sample runOnce(const std::string& program, const std::vector<std::string>& env) {
    struct timespec a, b;
    clock_gettime(CLOCK_MONOTONIC, &a);
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        std::vector<char*> envp;
        for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("--exit=0"), nullptr};
        execve(program.c_str(), argv, envp.data());
        _exit(127);
    }
    int status = 0;
    struct rusage ru;
    wait4(pid, &status, 0, &ru);
    clock_gettime(CLOCK_MONOTONIC, &b);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "%s failed (status %d)\n", program.c_str(), status);
        exit(1);
    }
    return {(b.tv_sec - a.tv_sec) * 1e3 + (b.tv_nsec - a.tv_nsec) / 1e6, ru.ru_maxrss};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? atoi(argv[1]) : 41;
    std::string bin = VORNIX_BINARY_DIR;
    char tmpl[] = "/tmp/vornix-bench-XXXXXX";
    std::string dev = mkdtemp(tmpl);
    std::string err;
    if (device::createDevice(dev, &err) != device::OK)
        return fprintf(stderr, "%s\n", err.c_str()), 1;

    // A host app and the layer with its runtime, as on a device.
    devkit::PackageSpec host = devkit::hostPackage("Host");
    host.privileges = {"http://tizen.org/privilege/packagemanager.info"};
    host.files["shared/res/.android.apki"] = "min-qor-rev:2.1.0\n";
    if (!devkit::installPackage(dev, host, &err) ||
        !devkit::installPackage(
            dev, devkit::layerPackage("2.2.0", bin + "/runtime/QorApplication.exe"), &err))
        return fprintf(stderr, "%s\n", err.c_str()), 1;

    std::string runtime = device::packageDir(dev, "QOR111TBNX") + "shared/res/QorApplication.exe";
    std::vector<std::string> env = {"VORNIX_DEVICE=" + dev,       "VORNIX_APP_ID=org.example.host",
                                    "VORNIX_DLOG_FILE=/dev/null", "VORNIX_DLOG_STDERR=0",
                                    "FLOOR_RUNTIME=" + runtime,   "PATH=/usr/bin:/bin"};
    std::string launcher = bin + "/vornix", floor = bin + "/bench/handover_floor";

    runOnce(launcher, env);  // warm the page cache for both
    runOnce(floor, env);
    std::vector<double> tl, tf, ratios;
    long rssL = 0, rssF = 0;
    for (int i = 0; i < runs; ++i) {
        Sample l = runOnce(launcher, env), f = runOnce(floor, env);
        tl.push_back(l.ms);
        tf.push_back(f.ms);
        ratios.push_back(l.ms / f.ms);
        rssL = std::max(rssL, l.maxRssKb);
        rssF = std::max(rssF, f.maxRssKb);
    }
    printf("hand-over road, %d alternating runs each\n", runs);
    printf("  launcher: median %.2f ms, peak RSS %ld KiB\n", median(tl), rssL);
    printf("  floor:    median %.2f ms, peak RSS %ld KiB\n", median(tf), rssF);
    printf("  median of per-pair ratios: %.3f (target <= 1.10)\n", median(ratios));
    printf("  ratio of medians:          %.3f\n", median(tl) / median(tf));
    printf("  extra peak RSS: %ld KiB (target <= 1024)\n", rssL - rssF);
    devkit::removeTree(dev);
    return 0;
}
