// SPDX-License-Identifier: Apache-2.0
// The floor for the hand-over road: the least a launcher could do, with the same
// libraries loaded: open the runtime, find its entry and call it.
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

#include <app.h>
#include <Elementary.h>

typedef int (*entry_t)(int, char**);

// Referenced so that the floor loads the same platform and toolkit libraries.
void* volatile keepLinked[] = {reinterpret_cast<void*>(&ui_app_main),
                               reinterpret_cast<void*>(&elm_init)};

int main(int argc, char** argv) {
    const char* path = getenv("FLOOR_RUNTIME");
    void* handle = path ? dlopen(path, RTLD_LAZY) : nullptr;
    entry_t entry = handle ? reinterpret_cast<entry_t>(dlsym(handle, "main")) : nullptr;
    if (!entry) {
        fprintf(stderr, "floor: no runtime (set FLOOR_RUNTIME)\n");
        return -1;
    }
    return entry(argc, argv);
}
