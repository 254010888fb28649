// SPDX-License-Identifier: Apache-2.0
// A stand-in for the platform store, for the demo: asked to view a product page
// ("tizenstore://ProductDetail/<package id>"), it installs that product at once, as a
// user who opens the page and taps Install would, and ends. The products it offers
// are unpacked packages in its own res/products/<package id>/ folder.
#include <app.h>
#include <dlog.h>

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>

#include "devkit.h"

namespace {

const char kTag[] = "TIZENSTORE";
const char kProductPage[] = "tizenstore://ProductDetail/";

int gResult = 0;

std::string take(int (*get)(app_control_h, char**), app_control_h request) {
    char* text = nullptr;
    std::string s;
    if (get(request, &text) == APP_CONTROL_ERROR_NONE && text) s = text;
    free(text);
    return s;
}

std::string resourceFolder() {
    char* res = app_get_resource_path();
    std::string s = res ? res : "";
    free(res);
    return s;
}

void installProduct(const std::string& pkgId) {
    std::string product = resourceFolder() + "products/" + pkgId;
    struct stat st;
    if (!device::isSafeId(pkgId) || stat(product.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        dlog_print(DLOG_ERROR, kTag, "No product %s in the store", pkgId.c_str());
        gResult = 1;
        return;
    }
    device::Package pkg;
    std::string err;
    if (device::installPackage(device::root(), product, &pkg, &err) != device::OK) {
        dlog_print(DLOG_ERROR, kTag, "Could not install %s: %s", pkgId.c_str(), err.c_str());
        gResult = 1;
        return;
    }
    dlog_print(DLOG_INFO, kTag, "Installed %s %s from the store", pkg.pkgId.c_str(),
               pkg.version.c_str());
}

bool onCreate(void*) { return true; }

void onAppControl(app_control_h request, void*) {
    std::string operation = take(app_control_get_operation, request);
    std::string uri = take(app_control_get_uri, request);
    std::string caller = take(app_control_get_caller, request);
    dlog_print(DLOG_INFO, kTag, "Request from %s: operation %s, uri %s",
               caller.empty() ? "(unknown)" : caller.c_str(), operation.c_str(), uri.c_str());
    if (operation == APP_CONTROL_OPERATION_VIEW &&
        uri.compare(0, strlen(kProductPage), kProductPage) == 0)
        installProduct(uri.substr(strlen(kProductPage)));
    else
        dlog_print(DLOG_INFO, kTag, "Nothing to show for this request");
    // The stand-in has no pages to show: its work is done.
    ui_app_exit();
}

}  // namespace

int main(int argc, char** argv) {
    ui_app_lifecycle_callback_s cb = {};
    cb.create = onCreate;
    cb.app_control = onAppControl;
    int r = ui_app_main(argc, argv, &cb, nullptr);
    if (r != APP_ERROR_NONE) {
        dlog_print(DLOG_ERROR, kTag, "ui_app_main failed: %d", r);
        return 1;
    }
    return gResult;
}
