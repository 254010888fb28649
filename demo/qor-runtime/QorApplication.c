// SPDX-License-Identifier: Apache-2.0
/* A sample compatibility-layer runtime: the launcher loads it and hands the process
 * to its main. It prints what it was given, so a run shows exactly what arrived, and
 * returns the status asked for with a first argument "--exit=N" (0 otherwise). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

__attribute__((visibility("default"))) int main(int argc, char** argv) {
    printf("QorApplication: main(argc=%d)\n", argc);
    for (int i = 0; i < argc; ++i) printf("QorApplication: argv[%d]=[%s]\n", i, argv[i]);
    fflush(stdout);
    if (argc > 1 && strncmp(argv[1], "--exit=", 7) == 0) return atoi(argv[1] + 7);
    return 0;
}
