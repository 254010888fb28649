// SPDX-License-Identifier: Apache-2.0
// Test main: in-process log lines go to a private file that LogCapture reads.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "TestDevice.h"

int main(int argc, char** argv) {
    std::string dir = vt::makeTempDir("vornix-log");
    std::string file = dir + "/dlog";
    setenv(env::kDlogFile, file.c_str(), 1);
    setenv(env::kDlogStderr, "0", 1);
    setenv("ELM_ENGINE", "buffer", 1);
    testing::InitGoogleTest(&argc, argv);
    int r = RUN_ALL_TESTS();
    vt::removeTree(dir);
    return r;
}
