// SPDX-License-Identifier: Apache-2.0
// Packages with many apps: `vornix-device install` (on a new device, then again as an
// upgrade) and `list` of one package whose manifest declares 4,000 and 32,000 apps
// (32,000 short ones fill the 1 MiB a manifest may have), from its database entry and,
// once its manifest is newer than the entry, from the manifest. Median wall times.
//   package_bench [runs]      (default 3 runs of each)
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

#include <fstream>
#include <string>
#include <vector>

#include "devkit.h"

namespace {

// Runs the device tool; its wall time in milliseconds.
double timed(const std::vector<std::string>& args) {
    std::vector<std::string> argv{std::string(VORNIX_BINARY_DIR) + "/vornix-device"};
    argv.insert(argv.end(), args.begin(), args.end());
    double ms = devkit::timedRun(argv, {});
    if (ms < 0) {
        fprintf(stderr, "vornix-device %s failed\n", args[1].c_str());
        exit(1);
    }
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? atoi(argv[1]) : 3;
    char tmpl[] = "/tmp/vornix-bench-XXXXXX";
    std::string dir = mkdtemp(tmpl), dev = dir + "/dev", pkg = dir + "/pkg";
    printf("one package of N apps, median of %d runs\n", runs);
    printf("%6s %9s %12s %12s %10s %14s\n", "apps", "manifest", "install ms", "upgrade ms",
           "list ms", "re-read ms");
    for (int apps : {4000, 32000}) {
        std::string xml = "<manifest package=\"org.bench.many\" version=\"1\">";
        char app[64];
        for (int i = 0; i < apps; ++i) {
            snprintf(app, sizeof app, "<ui-application appid=\"a%05d\"/>", i);
            xml += app;
        }
        xml += "</manifest>";
        devkit::makeDirs(pkg);
        std::ofstream(pkg + "/tizen-manifest.xml", std::ios::binary | std::ios::trunc) << xml;
        std::vector<double> install, upgrade, list, reread;
        for (int r = 0; r < runs; ++r) {
            devkit::removeTree(dev);
            timed({dev, "create"});
            install.push_back(timed({dev, "install", pkg}));
            upgrade.push_back(timed({dev, "install", pkg}));
            list.push_back(timed({dev, "list"}));
            // As after an edit by hand: the entry is older than the manifest.
            std::string manifest = device::packageDir(dev, "org.bench.many") + "tizen-manifest.xml";
            const struct timespec later[2] = {{time(nullptr) + 10, 0}, {time(nullptr) + 10, 0}};
            utimensat(AT_FDCWD, manifest.c_str(), later, 0);
            reread.push_back(timed({dev, "list"}));
        }
        printf("%6d %8zuB %12.1f %12.1f %10.1f %14.1f\n", apps, xml.size(), devkit::median(install),
               devkit::median(upgrade), devkit::median(list), devkit::median(reread));
    }
    devkit::removeTree(dir);
    return 0;
}
