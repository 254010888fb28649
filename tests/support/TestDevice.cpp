// SPDX-License-Identifier: Apache-2.0
#include "TestDevice.h"

#include <ctype.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "devkit.h"

extern char** environ;

namespace vt {

std::string sourceDir() { return VORNIX_SOURCE_DIR; }
std::string binaryDir() { return VORNIX_BINARY_DIR; }
std::string launcher() {
    const char* given = getenv(env::kLauncher);
    return given && *given ? given : binaryDir() + "/vornix";
}

std::string makeTempDir(const std::string& prefix) {
    const char* base = getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    return buf.data();
}

void removeTree(const std::string& path) {
    if (path.size() < 6) return;  // never anything like "/" or "/tmp"
    // Whatever is left stays in the temporary folder; nothing else depends on it.
    devkit::removeTree(path);
}

void writeFile(const std::string& path, const std::string& content, int mode) {
    devkit::makeDirs(path.substr(0, path.rfind('/')));
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << content;
    f.close();
    chmod(path.c_str(), mode);
}

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

TestDevice::TestDevice() : mPath(makeTempDir("vornix-device")) {
    std::string err;
    if (device::createDevice(mPath, &err) != device::OK) throw std::runtime_error(err);
}

TestDevice::~TestDevice() {
    // A process left pointing at a removed device would fail the next test obscurely, even
    // when this one ended at a failed assertion.
    const char* active = getenv(env::kDevice);
    if (active && mPath == active) {
        unsetenv(env::kDevice);
        unsetenv(env::kAppId);
    }
    removeTree(mPath);
}

std::string TestDevice::packageRoot(const std::string& pkgId) const {
    return device::packageDir(mPath, pkgId);
}

void TestDevice::install(const PackageSpec& spec) {
    std::string err;
    if (!devkit::installPackage(mPath, spec, &err))
        throw std::runtime_error("install failed: " + err);
}

void TestDevice::uninstall(const std::string& pkgId) {
    std::string err;
    device::uninstallPackage(mPath, pkgId, &err);
}

void TestDevice::activate(const std::string& appId) const {
    setenv(env::kDevice, mPath.c_str(), 1);
    if (appId.empty())
        unsetenv(env::kAppId);
    else
        setenv(env::kAppId, appId.c_str(), 1);
}

std::vector<std::string> TestDevice::env(const std::string& appId) const {
    // No desktop services: the toolkit's system modules would only look for a bus.
    return {env::assignment(env::kDevice, mPath),
            env::assignment(env::kAppId, appId),
            env::assignment(env::kDlogFile, ""),
            env::assignment(env::kDlogStderr, "0"),
            "ELM_ENGINE=buffer",
            "ECORE_NO_SYSTEM_MODULES=1"};
}

static std::vector<std::string> splitLines(const std::string& s) {
    std::vector<std::string> lines;
    std::stringstream ss(s);
    std::string l;
    while (std::getline(ss, l)) lines.push_back(l);
    return lines;
}

std::vector<std::string> TestDevice::logLines() const {
    std::string text;  // none when no regular file is there: a FIFO would never end
    device::readSmallFile(device::logFile(mPath), 64 << 20, &text);
    return splitLines(text);
}

std::string TestDevice::journal() const { return readFile(device::journalFile(mPath)); }

static void drain(int fd, std::string* into) {
    char buf[4096];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) into->append(buf, n);
}

ProcessResult runProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::string& cwd, int timeoutMs,
                         void (*onStarted)(int pid, void* data), void* data) {
    ProcessResult r;
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return r;
    std::vector<std::string> envs;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        bool replaced = false;
        for (const std::string& n : env)
            if (entry.substr(0, entry.find('=') + 1) == n.substr(0, n.find('=') + 1))
                replaced = true;
        if (!replaced) envs.push_back(entry);
    }
    for (const std::string& n : env)
        if (n.find('=') + 1 != n.size()) envs.push_back(n);  // "NAME=" removes NAME
    std::vector<char*> cargv, cenv;
    for (const std::string& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
    cargv.push_back(nullptr);
    for (const std::string& e : envs) cenv.push_back(const_cast<char*>(e.c_str()));
    cenv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        execve(cargv[0], cargv.data(), cenv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    std::thread actor;
    if (onStarted && pid > 0) actor = std::thread(onStarted, static_cast<int>(pid), data);
    // Read until the child has exited, not until its pipes close: a helper daemon the
    // toolkit starts (efreetd) inherits them and outlives the child.
    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    int st = 0;
    bool outOpen = true, errOpen = true;
    for (;;) {
        struct pollfd fds[2] = {{outOpen ? out[0] : -1, POLLIN, 0},
                                {errOpen ? err[0] : -1, POLLIN, 0}};
        if (poll(fds, 2, 20) > 0) {
            if (fds[0].revents & POLLIN) drain(out[0], &r.out);
            if (fds[1].revents & POLLIN) drain(err[0], &r.err);
            if ((fds[0].revents & POLLHUP) && !(fds[0].revents & POLLIN)) outOpen = false;
            if ((fds[1].revents & POLLHUP) && !(fds[1].revents & POLLIN)) errOpen = false;
        }
        if (waitpid(pid, &st, WNOHANG) == pid) break;
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        long elapsed = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        if (elapsed > timeoutMs) {
            r.timedOut = true;
            kill(pid, SIGKILL);
            waitpid(pid, &st, 0);
            break;
        }
    }
    if (actor.joinable()) actor.join();
    fcntl(out[0], F_SETFL, O_NONBLOCK);
    fcntl(err[0], F_SETFL, O_NONBLOCK);
    while (true) {
        size_t before = r.out.size() + r.err.size();
        drain(out[0], &r.out);
        drain(err[0], &r.err);
        if (r.out.size() + r.err.size() == before) break;
    }
    close(out[0]);
    close(err[0]);
    if (WIFEXITED(st)) r.status = WEXITSTATUS(st);
    if (WIFSIGNALED(st)) r.signal = WTERMSIG(st);
    return r;
}

std::string logLine(char prio, const std::string& tag, const std::string& file,
                    const std::string& func, const std::string& msg) {
    std::string base = file.substr(file.rfind('/') + 1);
    return logfmt::head(prio, tag, "") + base + ": " + func + "(#) > " + msg;
}

// "<file>: <func>(<digits>) > " at `from`: the digits become '#'.
static std::string lineNumberOut(const std::string& line, size_t from) {
    size_t close = line.find(") > ", from);
    size_t open = close == std::string::npos ? close : line.rfind('(', close);
    if (open == std::string::npos || open < from || open + 1 == close) return line;
    for (size_t i = open + 1; i < close; ++i)
        if (!isdigit(static_cast<unsigned char>(line[i]))) return line;
    return line.substr(0, open + 1) + "#" + line.substr(close);
}

std::string withoutPid(const std::string& line) {
    size_t open = line.find('(');
    size_t close = line.find("): ", open);
    if (open == std::string::npos || close == std::string::npos) return line;
    // Five wide, as logLine writes it, also for pids past 99999.
    std::string blanked = line.substr(0, open + 1) + std::string(5, ' ') + line.substr(close);
    return lineNumberOut(blanked, open + 7);
}

std::string logBody(const std::string& line) {
    size_t p = line.find("): ");
    return p == std::string::npos ? line
                                  : lineNumberOut(line.substr(0, 1) + " " + line.substr(p + 3), 2);
}

LogCapture::LogCapture() {
    struct stat st;
    const char* f = getenv(env::kDlogFile);
    mOffset = f && stat(f, &st) == 0 ? st.st_size : 0;
}

std::vector<std::string> LogCapture::lines() const {
    const char* f = getenv(env::kDlogFile);
    std::string all = f ? readFile(f) : "";
    return splitLines(all.size() > static_cast<size_t>(mOffset) ? all.substr(mOffset) : "");
}

}  // namespace vt
