// SPDX-License-Identifier: Apache-2.0
// Timer on a real Ecore main loop, with short durations.
#include <gtest/gtest.h>
#include <tizen_error.h>

#include <stdlib.h>

#include <algorithm>
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

// Timer.cpp's log lines as "<priority> <file>: <function>(<line>) > <message>".
std::string expected(const char* func, const char* msg) {
    return vt::logBody(vt::logLine('E', "", "src/Timer.cpp", func, msg));
}
Lines captured(const vt::LogCapture& log) {
    Lines out;
    for (const std::string& l : log.lines())
        if (l.find("Timer.cpp: ") != std::string::npos) out.push_back(vt::logBody(l));
    return out;
}

// Ecore is started once for the whole test program: started again after a full
// shutdown, it loses its signal pipe and complains about every child that ends.
class TimerTest : public testing::Test {
protected:
    void SetUp() override {
        static int once = (setenv("ECORE_NO_SYSTEM_MODULES", "1", 1), ecore_init());
        ASSERT_GT(once, 0);
    }
};

// All on one loop: a one-shot fires once, after its duration in milliseconds; a repeating
// timer until cancelled; a cancelled or destroyed one never. From inside the listener: a
// one-shot started again fires twice; one turned into a repeating timer leaves no stray
// platform timer once cancelled; a repeating one whose start was refused fires once more.
TEST_F(TimerTest, ExpiriesOnTheLoop) {
    Probe once, slow, repeating, never, again, turned, refused;
    double begin = ecore_time_get(), slowAt = 0;
    int againResult = 1, refusedResult = 1;
    slow.action = [&](Timer&) { slowAt = ecore_time_get(); };
    again.action = [&](Timer& t) {
        if (again.calls == 1) againResult = t.start(40);
    };
    turned.action = [](Timer& t) {
        if (!Peer::pending(t)) t.startAsRepeatable(30);
    };
    refused.action = [&](Timer& t) {
        if (refused.calls == 1) refusedResult = t.start(30);
    };
    EXPECT_EQ(once.t.start(50), 0);
    EXPECT_NE(Peer::pending(once.t), nullptr);
    ASSERT_EQ(slow.t.start(1500), 0);
    ASSERT_EQ(repeating.t.startAsRepeatable(30), 0);
    ASSERT_EQ(never.t.start(40), 0);
    EXPECT_EQ(never.t.cancel(), 0);
    {
        Timer destroyed(&never);
        ASSERT_EQ(destroyed.startAsRepeatable(40), 0);
    }
    ASSERT_EQ(again.t.start(40), 0);
    ASSERT_EQ(turned.t.start(30), 0);
    ASSERT_EQ(refused.t.startAsRepeatable(30), 0);
    ASSERT_TRUE(vt::runUntil(
        [&] {
            return once.calls && slow.calls && repeating.calls >= 3 && again.calls >= 2 &&
                   turned.calls >= 4 && refused.calls >= 2;
        },
        20.0));
    EXPECT_EQ(repeating.t.cancel(), 0);
    EXPECT_EQ(turned.t.cancel(), 0);
    int repeatingCalls = repeating.calls, turnedCalls = turned.calls;
    vt::runUntil([] { return false; }, 0.2);  // nothing more happens
    EXPECT_EQ(once.calls, 1);
    EXPECT_TRUE(once.t == once.t);  // equality is identity
    EXPECT_FALSE(once.t == slow.t);
    EXPECT_EQ(Peer::pending(once.t), nullptr);
    EXPECT_EQ(once.t.cancel(), kRefused);
    EXPECT_EQ(slow.calls, 1);
    // 1500 ms, not 1 s or 1500 s; a busy machine may run the loop late, never early.
    EXPECT_GE(slowAt - begin, 1.4);
    EXPECT_LT(slowAt - begin, 15.0);
    EXPECT_EQ(repeating.calls, repeatingCalls);
    EXPECT_EQ(repeating.t.cancel(), kRefused);
    EXPECT_EQ(never.calls, 0);
    EXPECT_EQ(againResult, 0);
    EXPECT_EQ(again.calls, 2);
    EXPECT_EQ(Peer::pending(again.t), nullptr);
    EXPECT_EQ(turned.calls, turnedCalls);
    EXPECT_EQ(refusedResult, kRefused);
    EXPECT_EQ(refused.calls, 2);
    EXPECT_EQ(Peer::pending(refused.t), nullptr);
    EXPECT_EQ(refused.t.cancel(), kRefused);
}

// Per mode: a start while pending is refused, logged and keeps the expiry, but sets the
// mode in which the pending timer expires next; without a listener each expiry is logged.
TEST_F(TimerTest, RefusedStartsAndExpiriesWithoutListener) {
    for (bool repeat : {false, true}) {
        SCOPED_TRACE(repeat);
        Probe p;
        Timer quiet;
        ASSERT_EQ(repeat ? p.t.startAsRepeatable(40) : p.t.start(40), 0);
        Ecore_Timer* pending = Peer::pending(p.t);
        double left = ecore_timer_pending_get(pending);
        vt::LogCapture refused;
        EXPECT_EQ(repeat ? p.t.start(100000) : p.t.startAsRepeatable(100000), kRefused);
        EXPECT_EQ(Peer::pending(p.t), pending);
        EXPECT_LE(ecore_timer_pending_get(pending), left);
        EXPECT_EQ(captured(refused), Lines{expected("_start", "mTimer is not NULL!")});
        vt::LogCapture log;
        ASSERT_EQ(repeat ? quiet.startAsRepeatable(20) : quiet.start(20), 0);
        // Turned one-shot, p expires once and is gone; turned repeating, it goes on. A late
        // loop may run several expiries at once, so only the repeating count is open-ended.
        ASSERT_TRUE(vt::runUntil(
            [&] { return repeat ? p.calls >= 1 && captured(log).size() >= 2 : p.calls >= 3; },
            20.0));
        if (repeat)
            EXPECT_EQ(p.calls, 1);
        else
            EXPECT_GE(p.calls, 3);
        EXPECT_EQ(Peer::pending(p.t) != nullptr, !repeat);
        Lines lines = captured(log);
        EXPECT_EQ(lines, Lines(repeat ? std::max<size_t>(lines.size(), 2) : 1,
                               expected("onTimerExpired", "No timer even listener set!")));
        EXPECT_EQ(Peer::pending(quiet) != nullptr, repeat);
    }
}

// Starts and cancels from inside the listener: the answer to the main loop and
// mTimer always agree. Expiries are driven by hand here; the main loop would delete
// an expiring one-shot timer, so the test does that in its place.
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
        ROW(true, t.startAsRepeatable(60000), kRefused, RENEW, SAME),
        ROW(true, t.cancel(), 0, CANCEL, NONE),
        ROW(true, t.cancel() + t.startAsRepeatable(60000), 0, CANCEL, NEW),
#undef ROW
    };
    vt::LogCapture log;  // an expiry without its timer stops
    EXPECT_EQ(Peer::expire(nullptr), ECORE_CALLBACK_CANCEL);
    EXPECT_EQ(captured(log), Lines{expected("taskCallBack", "Timer is NULL in callback")});
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
