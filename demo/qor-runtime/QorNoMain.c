// SPDX-License-Identifier: Apache-2.0
/* A runtime that loads but has no entry point: the launcher must refuse it. */
__attribute__((visibility("default"))) int qor_entry(int argc, char** argv) {
    (void)argv;
    return argc;
}
