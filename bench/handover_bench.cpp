// SPDX-License-Identifier: Apache-2.0
// Cost of the hand-over road: the launcher started on a device where the layer is
// installed, against a floor program that only loads and enters the same runtime.
// Runs the two alternately and reports median wall times, their ratio and peak RSS.
//   handover_bench [runs]     (default 41 runs of each)
#include <stdio.h>
#include <stdlib.h>

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
    Sample s;
    s.ms = devkit::timedRun({program, "--exit=0"}, env, &s.maxRssKb);
    if (s.ms < 0) {
        fprintf(stderr, "%s failed\n", program.c_str());
        exit(1);
    }
    return s;
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
    std::vector<std::string> env = {env::assignment(env::kDevice, dev),
                                    env::assignment(env::kAppId, devkit::kHostId),
                                    env::assignment(env::kDlogFile, "/dev/null"),
                                    env::assignment(env::kDlogStderr, "0"),
                                    "FLOOR_RUNTIME=" + runtime,
                                    "PATH=/usr/bin:/bin"};
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
    printf("  launcher: median %.2f ms, peak RSS %ld KiB\n", devkit::median(tl), rssL);
    printf("  floor:    median %.2f ms, peak RSS %ld KiB\n", devkit::median(tf), rssF);
    printf("  median of per-pair ratios: %.3f (target <= 1.10)\n", devkit::median(ratios));
    printf("  ratio of medians:          %.3f\n", devkit::median(tl) / devkit::median(tf));
    printf("  extra peak RSS: %ld KiB (target <= 1024)\n", rssL - rssF);
    devkit::removeTree(dev);
    return 0;
}
