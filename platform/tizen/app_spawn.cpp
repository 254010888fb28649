// SPDX-License-Identifier: Apache-2.0
// Starting an app that is not running: its own process, in a session of its own, with
// the launch environment a started app reads (vornix/device/environment.h).
#include <errno.h>
#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include <vornix/device/device.h>
#include <vornix/device/environment.h>
#include <vornix/device/scoped_fd.h>

#include "app_control_request.h"

extern char** environ;

namespace appctl {

namespace {

// Processes this process started, each with a handle on it (a pidfd, -1 once it ended):
// the handle names that process only, while its pid may belong to any other once it ended.
std::map<pid_t, int> gStarted;

// Started in a session of its own and not as this process's child (the middle
// process ends at once), so nothing has to reap it. Returns its pid, or 0; `handle`
// gets a pidfd on it, taken while the middle process lives, so that the pid is still the
// app's (-1 when the system has none). Neither library call does this: posix_spawn forks
// once (the app would be this process's child), and g_spawn's middle process has ended
// when it returns, so the app, init's by then, may have ended and its pid been reused.
pid_t spawn(const std::string& path, const std::vector<std::string>& env, int keepFd, int* handle) {
    std::vector<char*> argv = {const_cast<char*>(path.c_str()), nullptr};
    std::vector<char*> envp;
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    int status[2], hold[2];
    if (pipe2(status, O_CLOEXEC) != 0) return 0;
    if (pipe2(hold, O_CLOEXEC) != 0) {
        close(status[0]), close(status[1]);
        return 0;
    }
    pid_t middle = fork();
    if (middle == 0) {
        // Only async-signal-safe calls from here on.
        setsid();
        pid_t pid = fork();
        if (pid != 0) {
            close(hold[1]);
            if (write(status[1], &pid, sizeof pid) < 0) _exit(1);
            char done;
            while (read(hold[0], &done, 1) < 0 && errno == EINTR) {
            }
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
    close(hold[0]);
    pid_t pid = 0;
    int err = 0;
    *handle = -1;
    if (middle > 0 && read(status[0], &pid, sizeof pid) == sizeof pid && pid > 0)
        *handle = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    close(hold[1]);  // the middle process may end now
    if (middle > 0) {
        while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
        }
        // End of file without a word: the exec closed the pipe, so it succeeded.
        if (pid > 0 && read(status[0], &err, sizeof err) != 0) pid = 0;
    }
    close(status[0]);
    if (pid <= 0 && *handle >= 0) close(*handle);
    return pid > 0 ? pid : 0;
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
    vars.push_back(env::assignment(env::kDevice, dev));
    vars.push_back(env::assignment(env::kAppId, target));
    vars.push_back(env::assignment(env::kAppControl, request));
    if (replyFd >= 0) vars.push_back(env::assignment(env::kReplyFd, std::to_string(replyFd)));
    return vars;
}

}  // namespace

int terminateStarted(pid_t pid) {
    auto it = gStarted.find(pid);
    if (it == gStarted.end()) return APP_CONTROL_ERROR_PERMISSION_DENIED;
    if (it->second >= 0 && syscall(SYS_pidfd_send_signal, it->second, SIGTERM, nullptr, 0) == 0)
        return APP_CONTROL_ERROR_NONE;
    return APP_CONTROL_ERROR_INVALID_PARAMETER;
}

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
    int handle = -1;
    if (fits || !file.empty())
        pid = spawn(path, childEnvironment(dev, app.appId, request, sv[1]), sv[1], &handle);
    theirs.reset();
    if (pid <= 0) {
        if (!file.empty()) unlink(file.c_str());
        return APP_CONTROL_ERROR_LAUNCH_FAILED;
    }
    // Handles of started apps that ended are let go; a pid given again names the new one.
    for (auto& started : gStarted) {
        pollfd ended = {started.second, POLLIN, 0};
        if (started.second >= 0 && (started.first == pid || poll(&ended, 1, 0) != 0))
            close(started.second), started.second = -1;
    }
    gStarted[pid] = handle;
    h->launchPid = pid;
    if (cb) {
        fcntl(mine.get(), F_SETFL, O_NONBLOCK);
        // A reply being awaited owns the socket from here on.
        if (await(h, mine.get(), 0, cb, data)) mine.release();
    }
    return APP_CONTROL_ERROR_NONE;
}

}  // namespace appctl
