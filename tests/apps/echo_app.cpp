// SPDX-License-Identifier: Apache-2.0
// A UI app that writes every request it receives to data/<out> (extra "out", default
// "received.txt") and answers it. Extras steer it:
//   reply   "none": no answer; "later": answered from a copy after the callback;
//           "cancel": answered with CANCELED; otherwise answered with SUCCEEDED
//   stay    present: keeps running after the request (so does VORNIX_ECHO_STAY=1)
#include <app.h>

#include <Ecore.h>

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

bool gStay = false;

std::string field(int (*get)(app_control_h, char**), app_control_h h) {
    char* s = nullptr;
    int ret = get(h, &s);
    std::string out = ret != APP_CONTROL_ERROR_NONE ? "<" + std::to_string(ret) + ">"
                      : s                           ? s
                                                    : "(null)";
    free(s);
    return out;
}

std::string extra(app_control_h h, const char* key) {
    char* s = nullptr;
    if (app_control_get_extra_data(h, key, &s) != APP_CONTROL_ERROR_NONE) return "";
    std::string out = s;
    free(s);
    return out;
}

bool listExtra(app_control_h h, const char* key, void* data) {
    auto* out = static_cast<std::string*>(data);
    bool array = false;
    app_control_is_extra_data_array(h, key, &array);
    if (!array) {
        // Long values are summed up, so that the record stays readable.
        std::string v = extra(h, key);
        *out += std::string("extra ") + key + "=" +
                (v.size() > 100 ? "<" + std::to_string(v.size()) + " chars>" : v) + "\n";
        return true;
    }
    char** values = nullptr;
    int n = 0;
    app_control_get_extra_data_array(h, key, &values, &n);
    *out += std::string("extra ") + key + "=[";
    for (int i = 0; i < n; ++i) {
        *out += (i ? "," : "") + std::string(values[i]);
        free(values[i]);
    }
    free(values);
    *out += "]\n";
    return true;
}

void record(app_control_h h) {
    std::string out = "app_id=" + field(app_control_get_app_id, h) + "\n";
    out += "operation=" + field(app_control_get_operation, h) + "\n";
    out += "uri=" + field(app_control_get_uri, h) + "\n";
    out += "mime=" + field(app_control_get_mime, h) + "\n";
    out += "category=" + field(app_control_get_category, h) + "\n";
    out += "caller=" + field(app_control_get_caller, h) + "\n";
    app_control_launch_mode_e mode = APP_CONTROL_LAUNCH_MODE_SINGLE;
    app_control_get_launch_mode(h, &mode);
    out +=
        std::string("launch_mode=") + (mode == APP_CONTROL_LAUNCH_MODE_GROUP ? "group" : "single");
    bool reply = false;
    app_control_is_reply_requested(h, &reply);
    out += std::string("\nreply=") + (reply ? "yes" : "no") + "\n";
    app_control_foreach_extra_data(h, listExtra, &out);

    char* dir = app_get_data_path();
    std::string name = extra(h, "out");
    std::string path = std::string(dir ? dir : "./") + (name.empty() ? "received.txt" : name);
    free(dir);
    // Written whole and then renamed: a reader never sees half a record.
    std::string tmp = path + ".tmp";
    FILE* f = fopen(tmp.c_str(), "w");
    if (!f) return;
    fputs(out.c_str(), f);
    fclose(f);
    rename(tmp.c_str(), path.c_str());
}

void answer(app_control_h request, app_control_result_e result) {
    app_control_h reply = nullptr;
    app_control_create(&reply);
    char* op = nullptr;
    app_control_get_operation(request, &op);
    app_control_add_extra_data(reply, "echo", op ? op : "(null)");
    free(op);
    app_control_reply_to_launch_request(reply, request, result);
    app_control_destroy(reply);
}

Eina_Bool answerLater(void* data) {
    auto request = static_cast<app_control_h>(data);
    answer(request, APP_CONTROL_RESULT_SUCCEEDED);
    app_control_destroy(request);
    if (!gStay) ui_app_exit();
    return ECORE_CALLBACK_CANCEL;
}

bool onCreate(void*) { return true; }

void onAppControl(app_control_h request, void*) {
    record(request);
    std::string how = extra(request, "reply");
    bool stay = gStay || !extra(request, "stay").empty();
    gStay = stay;
    bool wanted = false;
    app_control_is_reply_requested(request, &wanted);
    if (how == "later") {
        app_control_h copy = nullptr;
        app_control_clone(&copy, request);
        ecore_timer_add(0.05, answerLater, copy);
        return;
    }
    if (wanted && how != "none")
        answer(request,
               how == "cancel" ? APP_CONTROL_RESULT_CANCELED : APP_CONTROL_RESULT_SUCCEEDED);
    if (!stay) ui_app_exit();
}

// data/fds.txt: the descriptors it started with beyond the standard streams and the
// reply channel handed to it on purpose, one per line.
void listDescriptors() {
    const char* reply = getenv("VORNIX_REPLY_FD");
    std::string out;
    DIR* d = opendir("/proc/self/fd");
    for (dirent* e; d && (e = readdir(d));) {
        int fd = atoi(e->d_name);
        if (e->d_name[0] != '.' && fd > 2 && fd != dirfd(d) && !(reply && fd == atoi(reply)))
            out += std::string(e->d_name) + "\n";
    }
    if (d) closedir(d);
    char* dir = app_get_data_path();
    std::string path = std::string(dir ? dir : "./") + "fds.txt";
    free(dir);
    if (FILE* f = fopen((path + ".tmp").c_str(), "w")) {
        fputs(out.c_str(), f);
        fclose(f);
        rename((path + ".tmp").c_str(), path.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    listDescriptors();
    const char* stay = getenv("VORNIX_ECHO_STAY");
    gStay = stay && !strcmp(stay, "1");
    ui_app_lifecycle_callback_s cb = {};
    cb.create = onCreate;
    cb.app_control = onAppControl;
    return ui_app_main(argc, argv, &cb, nullptr);
}
