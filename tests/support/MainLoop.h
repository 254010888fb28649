// SPDX-License-Identifier: Apache-2.0
// Test support: running the real Ecore main loop until a condition holds.
#ifndef VORNIX_TEST_MAIN_LOOP_H
#define VORNIX_TEST_MAIN_LOOP_H

#include <functional>

namespace vt {

// Runs the main loop until `done` holds or `seconds` have passed, checking every `tick`
// seconds; returns `done()`.
bool runUntil(const std::function<bool()>& done, double seconds, double tick = 0.005);

}  // namespace vt

#endif
