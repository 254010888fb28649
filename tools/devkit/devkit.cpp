// SPDX-License-Identifier: Apache-2.0
#include "devkit.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <glib.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace devkit {

std::string escapeXml(const std::string& text) {
    gchar* escaped = g_markup_escape_text(text.data(), static_cast<gssize>(text.size()));
    std::string out = escaped;
    g_free(escaped);
    return out;
}

bool makeMountPoint(const std::string& path, std::string* why) {
    std::string top = path;
    while (!top.empty() && !device::isDir(top)) top.erase(top.rfind('/'));
    if (top == path) return true;
    std::string missing = path.substr(0, path.find('/', top.size() + 1));
    if (top.empty()) {
        *why = "there is no " + missing + " and none is made on this system";
        return false;
    }
    // The entries of the folder hidden by the scratch mount are reached through this.
    DIR* under = opendir(top.c_str());
    struct stat st;
    if (!under || fstat(dirfd(under), &st) != 0) {
        *why = "cannot read " + top + ": " + strerror(errno);
        if (under) closedir(under);
        return false;
    }
    char mode[8];
    snprintf(mode, sizeof mode, "%o", st.st_mode & 07777);
    bool ok = mount("vornix", top.c_str(), "tmpfs", 0, ("mode=" + std::string(mode)).c_str()) == 0;
    *why = ok ? "" : "cannot mount a scratch folder on " + top + ": " + strerror(errno);
    std::string from = "/proc/self/fd/" + std::to_string(dirfd(under)) + "/";
    while (struct dirent* e = ok ? readdir(under) : nullptr) {
        std::string name = e->d_name, at = top + "/" + name;
        if (name == "." || name == ".." ||
            fstatat(dirfd(under), e->d_name, &st, AT_SYMLINK_NOFOLLOW))
            continue;
        char target[4096];
        ssize_t n =
            S_ISLNK(st.st_mode) ? readlinkat(dirfd(under), e->d_name, target, sizeof target) : 0;
        if (S_ISLNK(st.st_mode))
            ok = n > 0 && symlink(std::string(target, n).c_str(), at.c_str()) == 0;
        else if (S_ISDIR(st.st_mode) ? mkdir(at.c_str(), 0755) == 0
                                     : mknod(at.c_str(), S_IFREG | 0644, 0) == 0)
            ok = mount((from + name).c_str(), at.c_str(), nullptr, MS_BIND | MS_REC, nullptr) == 0;
        else
            ok = false;
        if (!ok) *why = "cannot keep " + at + " on the scratch folder: " + strerror(errno);
    }
    closedir(under);
    if (ok && !makeDirs(path)) *why = "cannot create " + path + ": " + strerror(errno);
    return why->empty();
}

bool waitFor(const std::function<bool()>& done, int timeoutMs, int stepMs) {
    timespec start, now;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        if (done()) return true;
        clock_gettime(CLOCK_MONOTONIC, &now);
        long elapsed = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        if (elapsed > timeoutMs) return done();
        timespec step = {stepMs / 1000, (stepMs % 1000) * 1000000L};
        nanosleep(&step, nullptr);
    }
}

double timedRun(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                long* maxRssKb) {
    std::vector<char*> args, envp;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    args.push_back(nullptr), envp.push_back(nullptr);
    struct timespec a, b;
    clock_gettime(CLOCK_MONOTONIC, &a);
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    int status = 0;
    struct rusage ru = {};
    if (pid < 0 || wait4(pid, &status, 0, &ru) != pid) return -1;
    clock_gettime(CLOCK_MONOTONIC, &b);
    if (maxRssKb) *maxRssKb = ru.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return (b.tv_sec - a.tv_sec) * 1e3 + (b.tv_nsec - a.tv_nsec) / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty()      ? 0
           : v.size() % 2 ? v[v.size() / 2]
                          : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::string manifestXml(const PackageSpec& spec) {
    std::string x =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<manifest xmlns=\"http://tizen.org/ns/packages\" api-version=\"" +
        escapeXml(spec.apiVersion) + "\" package=\"" + escapeXml(spec.pkgId) + "\"";
    if (!spec.noVersion) x += " version=\"" + escapeXml(spec.version) + "\"";
    x += ">\n    <profile name=\"mobile\"/>\n";
    for (const AppSpec& a : spec.apps) {
        x += "    <" + a.kind + " appid=\"" + escapeXml(a.appId) + "\" exec=\"" +
             escapeXml(a.exec) + "\" type=\"capp\">\n";
        if (!a.noLabel) x += "        <label>" + escapeXml(a.label) + "</label>\n";
        if (!a.icon.empty()) x += "        <icon>" + escapeXml(a.icon) + "</icon>\n";
        x += "    </" + a.kind + ">\n";
    }
    x += "    <privileges>\n";
    for (const std::string& p : spec.privileges)
        x += "        <privilege>" + escapeXml(p) + "</privilege>\n";
    x += "    </privileges>\n</manifest>\n";
    return x;
}

PackageSpec hostPackage(const std::string& label) {
    PackageSpec p;
    p.pkgId = kHostId;
    p.apps.push_back({kHostId, "ui-application", "vornix", label, false, "host.png"});
    p.privileges = {"http://tizen.org/privilege/packagemanager.info",
                    "http://tizen.org/privilege/appmanager.launch"};
    return p;
}

PackageSpec layerPackage(const std::string& version, const std::string& runtime) {
    PackageSpec p;
    p.pkgId = "QOR111TBNX";
    p.version = version;
    p.apps.push_back(
        {"QOR111TBNX.QorService", "service-application", "qor-service", "QOR Service", false, ""});
    if (!runtime.empty()) p.copies["shared/res/QorApplication.exe"] = runtime;
    return p;
}

namespace {

bool writeFile(const std::string& path, const std::string& content, int mode, std::string* err) {
    std::string dir = path.substr(0, path.rfind('/'));
    std::ofstream f;
    if (makeDirs(dir)) f.open(path, std::ios::binary | std::ios::trunc);
    if (f) f << content;
    f.close();
    if (!f || chmod(path.c_str(), mode) != 0) {
        if (err) *err = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace

bool writePackage(const PackageSpec& spec, const std::string& dir, std::string* err) {
    if (!writeFile(dir + "/tizen-manifest.xml", manifestXml(spec), 0644, err)) return false;
    for (const auto& f : spec.files)
        if (!writeFile(dir + "/" + f.first, f.second, 0644, err)) return false;
    for (const auto& c : spec.copies) {
        std::ifstream in(c.second, std::ios::binary);
        std::stringstream data;
        data << in.rdbuf();
        if (!in) {
            if (err) *err = "cannot read " + c.second;
            return false;
        }
        if (!writeFile(dir + "/" + c.first, data.str(), 0755, err)) return false;
    }
    return true;
}

bool installPackage(const std::string& dev, const PackageSpec& spec, std::string* err) {
    const char* base = getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/vornix-pkg-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) {
        if (err) *err = std::string("cannot make a scratch folder: ") + strerror(errno);
        return false;
    }
    std::string src = buf.data();
    bool ok = writePackage(spec, src, err) &&
              device::installPackage(dev, src, nullptr, err) == device::OK;
    removeTree(src);
    return ok;
}

std::string describe(const device::Package& p) {
    std::string s = p.pkgId + '\0' + (p.hasVersion ? "v" : "-") + p.version + '\0' + p.apiVersion +
                    '\0' + p.label;
    for (const std::string& priv : p.privileges) s += std::string("\0p", 2) + priv;
    for (const device::AppEntry& a : p.apps)
        s += std::string("\0a", 2) + a.appId + '\0' + a.kind + '\0' + a.type + '\0' + a.exec +
             '\0' + (a.hasLabel ? "l" : "-") + a.label + '\0' + a.icon + '\0' +
             (a.nodisplay ? "n" : "-");
    return s;
}

}  // namespace devkit
