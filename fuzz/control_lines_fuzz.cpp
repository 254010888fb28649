// SPDX-License-Identifier: Apache-2.0
// Fuzzes the control FIFO's line handling: the input is fed in pieces (their sizes taken
// from its first bytes), and the messages must be those of the whole input cut at once.
// Decodable launch requests among them are decoded as the running app does.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include <vornix/device/control_lines.h>

#include "platform_decoders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint8_t* pieces = data;
    data += 4;
    size -= 4;
    const char* text = reinterpret_cast<const char*>(data);

    // What the messages are: each line-feed-ended line, a trailing CR dropped, an overlong
    // one (more than kMaxLine bytes) and an empty one left out.
    std::vector<std::string> expected;
    size_t start = 0;
    for (size_t i = 0; i < size; ++i) {
        if (text[i] != '\n') continue;
        std::string line(text + start, i - start);
        start = i + 1;
        if (line.size() > ControlLines::kMaxLine) continue;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) expected.push_back(line);
    }

    ControlLines lines;
    std::vector<std::string> got;
    size_t done = 0;
    for (int p = 0; done < size; p = (p + 1) % 4) {
        size_t n = std::min<size_t>(size - done, pieces[p] * 37 + 1);
        lines.feed(text + done, n, [&got](const std::string& line) {
            got.push_back(line);
            if (line.compare(0, 11, "appcontrol ") == 0) {
                app_control_h h = appcontrol_from_message(line.c_str() + 11);
                if (h) app_control_destroy(h);
            }
        });
        done += n;
    }
    if (got != expected) abort();
    return 0;
}
