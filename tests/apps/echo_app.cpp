// SPDX-License-Identifier: Apache-2.0
// A UI app that writes each request it receives to data/received.txt, and the
// descriptors it started with to data/fds.txt, then answers as the extra "reply" says
// ("cancel": CANCELED, "none": no answer, a number: that result, written as a reply line
// by hand; otherwise SUCCEEDED) and ends; "stay": no answer, and it waits for the next
// request.
#include <app.h>
#include <bundle.h>
#include <unistd.h>

#include <ctype.h>
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include <vornix/device/environment.h>

namespace {

int gReplyFd = -1;  // the reply channel, for replies written by hand

// Written whole and then renamed: a reader never sees half a file.
void save(const char* name, const std::string& text) {
    char* dir = app_get_data_path();
    std::string path = std::string(dir ? dir : "./") + name;
    free(dir);
    if (FILE* f = fopen((path + ".tmp").c_str(), "w")) {
        fputs(text.c_str(), f);
        fclose(f);
        rename((path + ".tmp").c_str(), path.c_str());
    }
}

std::string get(int (*field)(app_control_h, char**), app_control_h h) {
    char* s = nullptr;
    std::string out = field(h, &s) == APP_CONTROL_ERROR_NONE && s ? s : "(none)";
    free(s);
    return out;
}

std::string extra(app_control_h h, const char* key) {
    char* s = nullptr;
    std::string out = app_control_get_extra_data(h, key, &s) == APP_CONTROL_ERROR_NONE ? s : "";
    free(s);
    return out;
}

void onAppControl(app_control_h request, void*) {
    std::string how = extra(request, "reply");
    save("received.txt", "caller=" + get(app_control_get_caller, request) +
                             " operation=" + get(app_control_get_operation, request) +
                             " uri=" + get(app_control_get_uri, request) + " reply=" + how + "\n");
    if (how == "stay") return;
    app_control_h reply = nullptr;
    app_control_create(&reply);
    app_control_add_extra_data(reply, "echo", get(app_control_get_operation, request).c_str());
    bundle_raw* raw = nullptr;
    int len = 0;
    bundle* empty = bundle_create();
    if (isdigit(static_cast<unsigned char>(how[0])) && bundle_encode(empty, &raw, &len) == 0) {
        std::string line = how + " " + std::string(reinterpret_cast<char*>(raw), len) + "\n";
        if (write(gReplyFd, line.data(), line.size()) < 0) perror("reply");
    } else if (how != "none") {
        app_control_reply_to_launch_request(
            reply, request,
            how == "cancel" ? APP_CONTROL_RESULT_CANCELED : APP_CONTROL_RESULT_SUCCEEDED);
    }
    free(raw);
    bundle_free(empty);
    app_control_destroy(reply);
    ui_app_exit();
}

}  // namespace

int main(int argc, char** argv) {
    // Beyond the standard streams, only the reply channel is handed over on purpose.
    const char* replyFd = getenv(env::kReplyFd);
    gReplyFd = replyFd ? atoi(replyFd) : -1;
    std::string fds;
    DIR* d = opendir("/proc/self/fd");
    for (dirent* e; d && (e = readdir(d));) {
        int fd = atoi(e->d_name);
        if (e->d_name[0] != '.' && fd > 2 && fd != dirfd(d) && !(replyFd && fd == atoi(replyFd)))
            fds += std::string(e->d_name) + "\n";
    }
    if (d) closedir(d);
    save("fds.txt", fds);
    ui_app_lifecycle_callback_s cb = {};
    cb.create = [](void*) { return true; };
    cb.app_control = onAppControl;
    return ui_app_main(argc, argv, &cb, nullptr);
}
