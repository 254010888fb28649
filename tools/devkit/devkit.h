// SPDX-License-Identifier: Apache-2.0
// vornix-devkit: what the device tool, the tests, the benchmarks, the fuzz targets and
// the demo store share besides the device model's own calls (vornix/device/): the
// helpers they would otherwise each write again.
#ifndef VORNIX_DEVKIT_H
#define VORNIX_DEVKIT_H

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <vornix/device/control_lines.h>
#include <vornix/device/device.h>
#include <vornix/device/environment.h>
#include <vornix/device/files.h>
#include <vornix/device/log_format.h>
#include <vornix/device/package_entry.h>

namespace devkit {

using device::makeDirs;
using device::removeTree;

// For a process in a mount namespace of its own: makes the folder `path` (absolute) exist
// without writing to the machine's file system. The missing folders are made on a scratch
// tmpfs mounted over the deepest folder there is, which keeps that folder's entries (each
// bound back in its place). False, with `why`, when that folder would be "/" or a mount fails.
bool makeMountPoint(const std::string& path, std::string* why);

// Text for an XML element or a quoted attribute value (GLib's markup escaping).
std::string escapeXml(const std::string& text);

// Asks `done` every `stepMs` until it answers true (then true) or `timeoutMs` have
// passed (then false, after one last ask).
bool waitFor(const std::function<bool()>& done, int timeoutMs, int stepMs = 20);

// For the benchmarks: runs `argv` with only `env` (NAME=value entries) as its
// environment and its output discarded, and answers its wall time in milliseconds, or
// -1 when it did not exit with status 0; `maxRssKb` gets its peak resident size.
double timedRun(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                long* maxRssKb = nullptr);
// The middle value of `v` (the mean of the two middle ones for an even count).
double median(std::vector<double> v);

// A package to install, as its manifest and files.
struct AppSpec {
    std::string appId;
    std::string kind = "ui-application";
    std::string exec;
    std::string label;  // no <label> when empty and noLabel is set
    bool noLabel = false;
    std::string icon;
};

struct PackageSpec {
    std::string pkgId;
    std::string version = "1.0.0";
    bool noVersion = false;
    std::string apiVersion = "4";
    std::vector<AppSpec> apps;
    std::vector<std::string> privileges;
    std::map<std::string, std::string> files;   // path inside the package -> content
    std::map<std::string, std::string> copies;  // path inside the package -> file to copy
};

std::string manifestXml(const PackageSpec& spec);

// The host app a launcher runs as: package and app "org.example.host" labelled `label`,
// icon host.png, with the privileges the launcher needs.
const char kHostId[] = "org.example.host";
PackageSpec hostPackage(const std::string& label = "Host App");
// The compatibility layer's package with its service app and, unless `runtime` is
// empty, the file copied in as shared/res/QorApplication.exe.
PackageSpec layerPackage(const std::string& version, const std::string& runtime);

// Writes the package folder `dir` (made when missing): its manifest, files and copies
// (copies get mode 0755). `err` gets a one-line reason on failure.
bool writePackage(const PackageSpec& spec, const std::string& dir, std::string* err);
// Installs `spec` on device `dev` from a scratch folder next to nothing else.
bool installPackage(const std::string& dev, const PackageSpec& spec, std::string* err);

// For the fuzz targets: everything a package holds, as one comparable text.
std::string describe(const device::Package& p);

}  // namespace devkit

#endif
