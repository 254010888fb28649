// SPDX-License-Identifier: Apache-2.0
// Replies this process awaits: each on its own socket, watched from the Ecore main
// loop. A reply is one line "<result> <reply text>"; the caller's callback gets a copy
// of the request as sent and the reply. A target that drops the request without
// replying closes the socket: the callback then gets APP_CONTROL_RESULT_FAILED and a
// null reply.
#include <Ecore.h>

#include <errno.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app_control_request.h"

namespace appctl {

namespace {

struct Pending {
    app_control_h request = nullptr;  // a copy of the request as sent
    app_control_reply_cb callback = nullptr;
    void* userData = nullptr;
    int fd = -1;
    pid_t peer = 0;  // while listening: the only process whose connection counts
    bool listening = false;
    std::string line;
};

// Reachable for the whole process: a reply may come at any later loop iteration.
std::vector<Pending*>* gPending = new std::vector<Pending*>;
Eina_Bool onReply(void* data, Ecore_Fd_Handler* handler);

bool watch(Pending* p) {
    static bool ready = ecore_init() > 0;
    return ready && ecore_main_fd_handler_add(
                        p->fd, static_cast<Ecore_Fd_Handler_Flags>(ECORE_FD_READ | ECORE_FD_ERROR),
                        onReply, p, nullptr, nullptr);
}

void finish(Pending* p) {
    for (auto it = gPending->begin(); it != gPending->end(); ++it)
        if (*it == p) {
            gPending->erase(it);
            break;
        }
    close(p->fd);
    app_control_h reply = nullptr;
    app_control_result_e result = APP_CONTROL_RESULT_FAILED;
    size_t space = p->line.find(' ');
    // Read whole, never cut to an int: a result past the int range is none of the results.
    char* end = nullptr;
    long code = strtol(p->line.c_str(), &end, 10);
    if (!p->line.empty() && p->line.back() == '\n' && space != std::string::npos &&
        end == p->line.c_str() + space) {
        std::string body = p->line.substr(space + 1, p->line.size() - space - 2);
        reply = newRequest(bundle_decode(reinterpret_cast<const bundle_raw*>(body.data()),
                                         static_cast<int>(body.size())));
        if (reply && (code == APP_CONTROL_RESULT_SUCCEEDED || code == APP_CONTROL_RESULT_CANCELED))
            result = static_cast<app_control_result_e>(code);
    }
    p->callback(p->request, reply, result, p->userData);
    app_control_destroy(reply);
    app_control_destroy(p->request);
    delete p;
}

Eina_Bool onReply(void* data, Ecore_Fd_Handler*) {
    auto* p = static_cast<Pending*>(data);
    if (p->listening) {
        int c = accept4(p->fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (c < 0) return ECORE_CALLBACK_RENEW;
        ucred cred = {};
        socklen_t len = sizeof cred;
        if (getsockopt(c, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.pid != p->peer) {
            close(c);
            return ECORE_CALLBACK_RENEW;
        }
        close(p->fd);
        p->fd = c;
        p->listening = false;
        if (!watch(p)) finish(p);
        return ECORE_CALLBACK_CANCEL;
    }
    char buf[4096];
    ssize_t n = read(p->fd, buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return ECORE_CALLBACK_RENEW;
    if (n > 0) {
        p->line.append(buf, n);
        size_t end = p->line.find('\n');
        if (end == std::string::npos && p->line.size() <= kMaxText) return ECORE_CALLBACK_RENEW;
        if (end != std::string::npos) p->line.resize(end + 1);
    }
    finish(p);
    return ECORE_CALLBACK_CANCEL;
}

}  // namespace

bool await(app_control_h request, int fd, pid_t peer, app_control_reply_cb cb, void* data) {
    auto* p = new Pending;
    p->callback = cb;
    p->userData = data;
    p->fd = fd;
    p->peer = peer;
    p->listening = peer > 0;
    if (app_control_clone(&p->request, request) != APP_CONTROL_ERROR_NONE || !watch(p)) {
        app_control_destroy(p->request);
        delete p;
        return false;
    }
    gPending->push_back(p);
    return true;
}

}  // namespace appctl
