// SPDX-License-Identifier: Apache-2.0
// Timer on a real Ecore main loop, and its expiries driven by hand.
#include <gtest/gtest.h>
#include <tizen_error.h>

#include <stdlib.h>

#include <functional>
#include <string>
#include <vector>

#include "MainLoop.h"
#include "TestDevice.h"
#include "Timer.h"
#include "TimerTestPeer.h"

namespace {

using Lines = std::vector<std::string>;
using Peer = TimerTestPeer;
const int kRefused = TIZEN_ERROR_INVALID_OPERATION;

// A timer with its own listener, which counts expiries and may act on them.
struct Probe : ITimerEventListener {
    Timer t{this};
    int calls = 0;
    std::function<void(Timer&)> action;
    void onTimerExpired(Timer& timer) override {
        ++calls;
        if (action) action(timer);
    }
};

// Ecore is started once for the whole test program: started again after a full
// shutdown, it loses its signal pipe and complains about every child that ends.
class TimerTest : public testing::Test {
protected:
    void SetUp() override {
        static int once = (setenv("ECORE_NO_SYSTEM_MODULES", "1", 1), ecore_init());
        ASSERT_GT(once, 0);
    }
};

// A one-shot fires once, after its duration in milliseconds; a repeating timer until
// cancelled; a cancelled or destroyed one never; a one-shot started again from its
// listener fires once more.
TEST_F(TimerTest, ExpiriesOnTheLoop) {
    Probe once, repeating, never, again, last;
    double begin = ecore_time_get(), onceAt = 0;
    once.action = [&](Timer&) { onceAt = ecore_time_get(); };
    again.action = [&](Timer& t) {
        if (again.calls == 1) {
            EXPECT_EQ(t.start(40), 0);
        }
    };
    ASSERT_EQ(once.t.start(1500), 0);
    ASSERT_EQ(repeating.t.startAsRepeatable(30), 0);
    ASSERT_EQ(never.t.start(40), 0);
    EXPECT_EQ(never.t.cancel(), 0);
    {
        Timer destroyed(&never);
        ASSERT_EQ(destroyed.startAsRepeatable(40), 0);
    }
    ASSERT_EQ(again.t.start(40), 0);
    ASSERT_TRUE(
        vt::runUntil([&] { return once.calls && repeating.calls >= 3 && again.calls >= 2; }, 20));
    EXPECT_EQ(repeating.t.cancel(), 0);
    int repeatingCalls = repeating.calls;
    // The loop runs expiries in order: once `last` fired, a timer left renewed would have too.
    ASSERT_EQ(last.t.start(100), 0);
    ASSERT_TRUE(vt::runUntil([&] { return last.calls > 0; }, 20));
    EXPECT_EQ(once.calls, 1);
    EXPECT_EQ(once.t.cancel(), kRefused);
    // 1500 ms, not 1 s or 1500 s; a busy machine may run the loop late, never early.
    EXPECT_GE(onceAt - begin, 1.4);
    EXPECT_LT(onceAt - begin, 15.0);
    EXPECT_EQ(repeating.calls, repeatingCalls);
    EXPECT_EQ(never.calls, 0);
    EXPECT_EQ(again.calls, 2);
}

// Starts and cancels from inside the listener: the answer to the main loop and mTimer
// always agree. Expiries are driven by hand; the main loop would delete an expiring
// one-shot timer, so the test does that in its place.
TEST_F(TimerTest, ReentrantStartsKeepTheAnswerAndMTimerInStep) {
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
    // What cannot go on is logged: an expiry without its timer, a start while pending,
    // an expiry without a listener.
    vt::LogCapture log;
    EXPECT_EQ(Peer::expire(nullptr), CANCEL);
    Timer quiet;
    ASSERT_EQ(quiet.startAsRepeatable(60000), 0);
    Ecore_Timer* pending = Peer::pending(quiet);
    EXPECT_EQ(quiet.start(60000), kRefused);  // yet it makes the next expiry the last
    EXPECT_EQ(Peer::pending(quiet), pending);
    EXPECT_EQ(Peer::expire(&quiet), CANCEL);
    ecore_timer_del(pending);
    Lines lines;
    for (const std::string& l : log.lines()) lines.push_back(vt::logBody(l));
    auto line = [](const char* func, const char* msg) {
        return vt::logBody(vt::logLine('E', "", "src/Timer.cpp", func, msg));
    };
    EXPECT_EQ(lines, (Lines{line("taskCallBack", "Timer is NULL in callback"),
                            line("_start", "mTimer is not NULL!"),
                            line("onTimerExpired", "No timer even listener set!")}));
}

}  // namespace
