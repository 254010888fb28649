// SPDX-License-Identifier: Apache-2.0
// Timer on a real Ecore main loop, and its expiries driven by hand.
#include <gtest/gtest.h>
#include <tizen_error.h>

#include <stdlib.h>

#include <functional>

#include "MainLoop.h"
#include "Timer.h"
#include "TimerTestPeer.h"

namespace {

using Peer = TimerTestPeer;
const int kRefused = TIZEN_ERROR_INVALID_OPERATION;

// A timer with a listener that counts expiries and may act on them.
struct Probe : ITimerEventListener {
    Timer t{this};
    int calls = 0;
    std::function<void(Timer&)> action;
    void onTimerExpired(Timer& timer) override {
        ++calls;
        if (action) action(timer);
    }
};

// Started once and left running: after a full shutdown Ecore would lose its signal pipe.
bool ecoreUp() {
    static int once = (setenv("ECORE_NO_SYSTEM_MODULES", "1", 1), ecore_init());
    return once > 0;
}

// A one-shot fires once, after its duration in milliseconds; a repeating timer until
// cancelled; a cancelled or destroyed one never.
TEST(TimerTest, ExpiriesOnTheLoop) {
    ASSERT_TRUE(ecoreUp());
    Probe once, repeating, never, last;
    double begin = ecore_time_get(), onceAt = 0;
    once.action = [&](Timer&) { onceAt = ecore_time_get(); };
    ASSERT_EQ(once.t.start(1500), 0);
    ASSERT_EQ(repeating.t.startAsRepeatable(30), 0);
    ASSERT_EQ(never.t.start(40), 0);
    EXPECT_EQ(never.t.cancel(), 0);
    {
        Timer destroyed(&never);
        ASSERT_EQ(destroyed.startAsRepeatable(40), 0);
    }
    ASSERT_TRUE(vt::runUntil([&] { return once.calls && repeating.calls >= 3; }, 20));
    EXPECT_EQ(repeating.t.cancel(), 0);
    int repeatingCalls = repeating.calls;
    // The loop runs expiries in order: once `last` fired, a timer left renewed would have too.
    ASSERT_EQ(last.t.start(1600), 0);
    ASSERT_TRUE(vt::runUntil([&] { return last.calls > 0; }, 20));
    EXPECT_EQ(once.calls, 1);
    EXPECT_EQ(once.t.cancel(), kRefused);
    // 1500 ms, not 1 s or 1500 s; a busy machine may run the loop late, never early.
    EXPECT_GE(onceAt - begin, 1.4);
    EXPECT_LT(onceAt - begin, 15.0);
    EXPECT_EQ(repeating.calls, repeatingCalls);
    EXPECT_EQ(never.calls, 0);
}

// Starts and cancels from inside the listener: the answer to the main loop and mTimer
// always agree. Expiries are driven by hand; the main loop would delete an expiring
// one-shot timer, so the test does that in its place.
TEST(TimerTest, ReentrantStartsKeepTheAnswerAndMTimerInStep) {
    ASSERT_TRUE(ecoreUp());
    enum Holds { NONE, SAME, NEW };
    const Eina_Bool RENEW = ECORE_CALLBACK_RENEW, CANCEL = ECORE_CALLBACK_CANCEL;
    const struct {
        const char* name;
        bool repeating;
        int (*action)(Timer&);
        int actionResult, answer, holds;
    } cases[] = {
#define ROW(rep, act, result, answer, holds) \
    {#rep ": " #act, rep, [](Timer& t) { return (void)t, act; }, result, answer, holds}
        ROW(false, 0, 0, CANCEL, NONE),
        ROW(false, t.start(60000), 0, CANCEL, NEW),
        ROW(false, t.startAsRepeatable(60000), 0, CANCEL, NEW),
        ROW(true, 0, 0, RENEW, SAME),
        ROW(true, t.start(60000), kRefused, RENEW, SAME),
        ROW(true, t.cancel(), 0, CANCEL, NONE),
        ROW(true, t.cancel() + t.startAsRepeatable(60000), 0, CANCEL, NEW),
#undef ROW
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Probe p;
        int got = 12345;
        p.action = [&](Timer& timer) { got = c.action(timer); };
        ASSERT_EQ(c.repeating ? p.t.startAsRepeatable(60000) : p.t.start(60000), 0);
        Ecore_Timer* expiring = Peer::pending(p.t);
        EXPECT_EQ(Peer::expire(&p.t), c.answer);
        EXPECT_EQ(p.calls, 1);
        EXPECT_EQ(got, c.actionResult);
        Ecore_Timer* now = Peer::pending(p.t);
        EXPECT_EQ(now == nullptr, c.holds == NONE);
        EXPECT_EQ(now == expiring, c.holds == SAME);
        if (!c.repeating) ecore_timer_del(expiring);
    }
}

}  // namespace
