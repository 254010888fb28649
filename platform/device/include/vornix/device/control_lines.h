// SPDX-License-Identifier: Apache-2.0
// The control FIFO's bytes cut into messages: one per line feed, a trailing carriage
// return dropped, empty lines ignored (each sender starts with a line feed, which ends a
// line a writer killed mid-way left). A line may arrive in pieces over several reads and is
// put together; a line longer than kMaxLine is dropped whole, so that its tail is never
// read as a message.
#ifndef VORNIX_DEVICE_CONTROL_LINES_H
#define VORNIX_DEVICE_CONTROL_LINES_H

#include <stddef.h>

#include <string>

class ControlLines {
public:
    static const size_t kMaxLine = 4096;

    template <typename Handler>
    void feed(const char* data, size_t size, Handler handle) {
        for (size_t i = 0; i < size; ++i) {
            if (data[i] != '\n') {
                if (mPending.size() < kMaxLine)
                    mPending.push_back(data[i]);
                else
                    mOverlong = true;
                continue;
            }
            std::string line;
            line.swap(mPending);
            bool drop = mOverlong;
            mOverlong = false;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!drop && !line.empty()) handle(line);
        }
    }

    void reset() {
        mPending.clear();
        mOverlong = false;
    }

private:
    std::string mPending;  // the unfinished line
    bool mOverlong = false;
};

#endif
