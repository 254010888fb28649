// SPDX-License-Identifier: Apache-2.0
// Test support: throw-away device folders, packages, child processes and log reading.
#ifndef VORNIX_TEST_DEVICE_H
#define VORNIX_TEST_DEVICE_H

#include <map>
#include <string>
#include <vector>

#include "devkit.h"

namespace vt {

std::string makeTempDir(const std::string& prefix);
void removeTree(const std::string& path);
void writeFile(const std::string& path, const std::string& content, int mode = 0644);
std::string readFile(const std::string& path);
bool exists(const std::string& path);

// Packages to install are described as the device kit describes them.
using devkit::AppSpec;
using devkit::hostPackage;
using devkit::layerPackage;
using devkit::manifestXml;
using devkit::PackageSpec;

class TestDevice {
public:
    TestDevice();
    ~TestDevice();
    TestDevice(const TestDevice&) = delete;
    TestDevice& operator=(const TestDevice&) = delete;

    const std::string& path() const { return mPath; }
    std::string packageRoot(const std::string& pkgId) const;
    void install(const PackageSpec& spec);
    void uninstall(const std::string& pkgId);

    // Points this process at the device, running as `appId` (tests of platform calls), until
    // the device goes.
    void activate(const std::string& appId) const;
    // The environment a process started on this device as `appId` gets.
    std::vector<std::string> env(const std::string& appId) const;

    std::vector<std::string> logLines() const;
    std::string journal() const;

private:
    std::string mPath;
};

struct ProcessResult {
    int status = -1;  // exit status when exited
    int signal = 0;   // terminating signal, 0 when exited
    bool timedOut = false;
    std::string out;
    std::string err;
};

// Runs argv[0] with the current environment plus `env` (NAME=value entries).
// `onStarted` may act on the child while it runs (it gets the pid); it runs on its own
// thread while the child's output is collected.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::string& cwd = "", int timeoutMs = 30000,
                         void (*onStarted)(int pid, void* data) = nullptr, void* data = nullptr);

// The log line a launcher writes: "<L>/<tag padded to 8>(<pid>): <file>: <func>(<line>) > <msg>",
// with the pid blanked and the line number as '#', as withoutPid() and logBody() give them.
std::string logLine(char prio, const std::string& tag, const std::string& file,
                    const std::string& func, const std::string& msg);
// A log line with its pid field blanked and its line number, when it is one, as '#'; a line
// number that is no number stays, and then differs from logLine()'s.
std::string withoutPid(const std::string& line);
// A log line as "<priority> <the rest after the pid>": the tag depends on which app
// the process last ran as, so it is left out.
std::string logBody(const std::string& line);

// Log lines written by this process since the capture was made (in-process tests).
class LogCapture {
public:
    LogCapture();
    std::vector<std::string> lines() const;

private:
    long mOffset;
};

std::string sourceDir();
std::string binaryDir();
// The launcher under test: $VORNIX_LAUNCHER (the device build's, say), else this build's.
std::string launcher();

}  // namespace vt

#endif
