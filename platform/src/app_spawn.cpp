// SPDX-License-Identifier: Apache-2.0
// Starting an app that is not running: its own process, in a session of its own, with
// the launch environment a started app reads (environment.h).
#include <errno.h>
#include <fcntl.h>
#include <linux/close_range.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "app_control_request.h"
#include "device.h"
#include "environment.h"
#include "scoped_fd.h"

extern char** environ;

namespace appctl {

namespace {

std::set<pid_t> gStarted;  // processes this process started

// Started in a session of its own and not as this process's child (the middle
// process ends at once), so nothing has to reap it. Returns its pid, or 0.
pid_t spawn(const std::string& path, const std::vector<std::string>& env, int keepFd) {
    std::vector<char*> argv = {const_cast<char*>(path.c_str()), nullptr};
    std::vector<char*> envp;
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    int status[2];
    if (pipe2(status, O_CLOEXEC) != 0) return 0;
    pid_t middle = fork();
    if (middle == 0) {
        // Only async-signal-safe calls from here on.
        setsid();
        pid_t pid = fork();
        if (pid != 0) {
            if (write(status[1], &pid, sizeof pid) < 0) _exit(1);
            _exit(0);
        }
        int null = open("/dev/null", O_RDONLY);
        if (null > 0) {
            dup2(null, STDIN_FILENO);
            close(null);
        }
        // Descriptors this process holds without close-on-exec (the toolkit's among them)
        // are not the started app's business.
        if (syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
            for (int fd = 3; fd < 65536; ++fd) fcntl(fd, F_SETFD, FD_CLOEXEC);  // older kernels
        if (keepFd >= 0) fcntl(keepFd, F_SETFD, 0);
        execve(argv[0], argv.data(), envp.data());
        int err = errno;
        if (write(status[1], &err, sizeof err) < 0) _exit(127);
        _exit(127);
    }
    close(status[1]);
    pid_t pid = 0;
    int err = 0;
    if (middle > 0) {
        while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
        }
        if (read(status[0], &pid, sizeof pid) != sizeof pid || pid <= 0) pid = 0;
        // End of file without a word: the exec closed the pipe, so it succeeded.
        if (pid > 0 && read(status[0], &err, sizeof err) != 0) pid = 0;
    }
    close(status[0]);
    return pid;
}

std::vector<std::string> childEnvironment(const std::string& dev, const std::string& target,
                                          const std::string& request, int replyFd) {
    const char* const drop[] = {env::kDevice, env::kAppId, env::kAppControl, env::kReplyFd,
                                env::kDlogFile};
    std::vector<std::string> vars;
    for (char** e = environ; e && *e; ++e) {
        bool keep = true;
        for (const char* d : drop)
            keep = keep && !(strncmp(*e, d, strlen(d)) == 0 && (*e)[strlen(d)] == '=');
        if (keep) vars.push_back(*e);
    }
    vars.push_back(std::string(env::kDevice) + "=" + dev);
    vars.push_back(std::string(env::kAppId) + "=" + target);
    vars.push_back(std::string(env::kAppControl) + "=" + request);
    if (replyFd >= 0) vars.push_back(std::string(env::kReplyFd) + "=" + std::to_string(replyFd));
    return vars;
}

}  // namespace

bool startedHere(pid_t pid) { return gStarted.count(pid) != 0; }

int startTarget(const std::string& dev, const device::Package& pkg, const device::AppEntry& app,
                app_control_h h, bundle* sent, app_control_reply_cb cb, void* data) {
    std::string path = pkg.root + "bin/" + app.exec;
    if (app.exec.empty() || app.exec.find('/') != std::string::npos ||
        access(path.c_str(), X_OK) != 0)
        return APP_CONTROL_ERROR_LAUNCH_FAILED;
    int sv[2] = {-1, -1};
    if (cb && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
        return APP_CONTROL_ERROR_LAUNCH_FAILED;
    ScopedFd mine(sv[0]), theirs(sv[1]);
    std::string request = encode(sent), file;
    bool fits = request.size() <= kMaxEnvText;
    if (!fits) {
        file = writeRequestFile(dev, request);
        request = "@" + file;
    }
    pid_t pid = 0;
    if (fits || !file.empty())
        pid = spawn(path, childEnvironment(dev, app.appId, request, sv[1]), sv[1]);
    theirs.reset();
    if (pid <= 0) {
        if (!file.empty()) unlink(file.c_str());
        return APP_CONTROL_ERROR_LAUNCH_FAILED;
    }
    gStarted.insert(pid);
    h->launchPid = pid;
    if (cb) {
        fcntl(mine.get(), F_SETFL, O_NONBLOCK);
        // A reply being awaited owns the socket from here on.
        if (await(h, mine.get(), 0, cb, data)) mine.release();
    }
    return APP_CONTROL_ERROR_NONE;
}

}  // namespace appctl
