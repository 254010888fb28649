// Timer on a real Ecore main loop, with short durations.
#include <gtest/gtest.h>
#include <tizen_error.h>

#include <stdlib.h>

#include <functional>
#include <string>
#include <vector>

#include "MainLoop.h"
#include "TestDevice.h"
#include "Timer.h"

class TimerTestPeer {
public:
    static Ecore_Timer* pending(Timer& t) { return t.mTimer; }
    static Eina_Bool expire(void* data) { return Timer::taskCallBack(data); }
};

namespace {

using Lines = std::vector<std::string>;
using Peer = TimerTestPeer;
const int kRefused = TIZEN_ERROR_INVALID_OPERATION;

struct Listener : ITimerEventListener {
    int calls = 0;
    Timer* last = nullptr;
    std::function<void(Timer&)> action;
    void onTimerExpired(Timer& timer) override {
        ++calls;
        last = &timer;
        if (action) action(timer);
    }
};

// "<priority> <file>: <function>(<line>) > <message>", without tag and pid.
std::string body(const std::string& line) {
    size_t p = line.find("): ");
    return p == std::string::npos ? line : line.substr(0, 1) + " " + line.substr(p + 3);
}

std::string expected(const char* func, const char* msg) {
    return body(vt::logLine('E', "", "src/Timer.cpp", func, msg, msg));
}

Lines captured(const vt::LogCapture& log) {
    Lines out;
    for (const std::string& l : log.lines())
        if (l.find("Timer.cpp: ") != std::string::npos) out.push_back(body(l));
    return out;
}

// Runs the main loop until `done` holds, for at most `seconds`.
bool runUntil(const std::function<bool()>& done, double seconds = 5.0) {
    return vt::runUntil(done, seconds);
}

// Lets the loop run for a while, to see that nothing more happens.
void idle(double seconds) {
    runUntil([] { return false; }, seconds);
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

TEST_F(TimerTest, OneShotOnceRepeatingUntilCancelledOthersNever) {
    Listener once, repeating, never;
    Timer a(&once), b(&repeating), cancelled(&never);
    EXPECT_EQ(a.start(50), 0);
    EXPECT_NE(Peer::pending(a), nullptr);
    ASSERT_EQ(b.startAsRepeatable(30), 0);
    ASSERT_EQ(cancelled.start(40), 0);
    EXPECT_EQ(cancelled.cancel(), 0);
    {
        Timer destroyed(&never);
        ASSERT_EQ(destroyed.startAsRepeatable(40), 0);
    }
    ASSERT_TRUE(runUntil([&] { return once.calls > 0 && repeating.calls >= 3; }));
    EXPECT_EQ(b.cancel(), 0);
    int calls = repeating.calls;
    idle(0.2);
    EXPECT_EQ(once.calls, 1);
    EXPECT_TRUE(*once.last == a);
    EXPECT_EQ(Peer::pending(a), nullptr);
    EXPECT_EQ(a.cancel(), kRefused);
    EXPECT_EQ(repeating.calls, calls);
    EXPECT_EQ(b.cancel(), kRefused);
    EXPECT_EQ(never.calls, 0);
}

TEST_F(TimerTest, DurationsAreMilliseconds) {
    Listener l;
    Timer t(&l);
    double begin = ecore_time_get();
    ASSERT_EQ(t.start(1500), 0);
    ASSERT_TRUE(runUntil([&] { return l.calls > 0; }, 5.0));
    double elapsed = ecore_time_get() - begin;
    EXPECT_GE(elapsed, 1.4);
    EXPECT_LT(elapsed, 2.5);
}

// A start while pending is refused, logged and keeps the expiry, but it sets the mode in
// which the pending timer expires next.
TEST_F(TimerTest, StartWhilePendingIsRefusedButSetsTheMode) {
    for (bool repeatFirst : {false, true}) {
        SCOPED_TRACE(repeatFirst);
        Listener l;
        Timer t(&l);
        ASSERT_EQ(repeatFirst ? t.startAsRepeatable(40) : t.start(40), 0);
        Ecore_Timer* pending = Peer::pending(t);
        double left = ecore_timer_pending_get(pending);
        vt::LogCapture log;
        EXPECT_EQ(repeatFirst ? t.start(100000) : t.startAsRepeatable(100000), kRefused);
        EXPECT_EQ(Peer::pending(t), pending);
        EXPECT_LE(ecore_timer_pending_get(pending), left);
        EXPECT_EQ(captured(log), Lines{expected("_start", "mTimer is not NULL!")});
        runUntil([&] { return l.calls >= 3; }, 0.6);
        EXPECT_EQ(l.calls, repeatFirst ? 1 : 3);
        EXPECT_EQ(Peer::pending(t) != nullptr, !repeatFirst);
    }
}

TEST_F(TimerTest, WithoutListenerEachExpiryIsLogged) {
    Lines line{expected("onTimerExpired", "No timer even listener set!")};
    Timer once;
    vt::LogCapture log;
    ASSERT_EQ(once.start(20), 0);
    runUntil([&] { return !captured(log).empty(); });
    idle(0.1);
    EXPECT_EQ(captured(log), line);
    EXPECT_EQ(Peer::pending(once), nullptr);

    Timer repeating;
    vt::LogCapture again;
    ASSERT_EQ(repeating.startAsRepeatable(20), 0);
    ASSERT_TRUE(runUntil([&] { return captured(again).size() >= 2; }));
    Lines lines = captured(again);
    EXPECT_EQ(lines, Lines(lines.size(), line[0]));
    EXPECT_NE(Peer::pending(repeating), nullptr);
}

TEST_F(TimerTest, CallbackWithoutTimerStopsAndEqualityIsIdentity) {
    vt::LogCapture log;
    EXPECT_EQ(Peer::expire(nullptr), ECORE_CALLBACK_CANCEL);
    EXPECT_EQ(captured(log), Lines{expected("taskCallBack", "Timer is NULL in callback")});
    Timer a, b;
    EXPECT_TRUE(a == a);
    EXPECT_FALSE(a == b);
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Listener l;
        Timer t(&l);
        int got = 12345;
        l.action = [&](Timer& timer) { got = c.action(timer); };
        ASSERT_EQ(c.repeating ? t.startAsRepeatable(60000) : t.start(60000), 0);
        Ecore_Timer* expiring = Peer::pending(t);
        EXPECT_EQ(Peer::expire(&t), c.answer);
        EXPECT_EQ(l.calls, 1);
        EXPECT_EQ(got, c.actionResult);
        Ecore_Timer* now = Peer::pending(t);
        EXPECT_EQ(now == nullptr, c.holds == NONE);
        EXPECT_EQ(now == expiring, c.holds == SAME);
        if (!c.repeating) ecore_timer_del(expiring);
    }
}

// On the loop: a one-shot whose listener starts it again fires twice; one whose
// listener turns it into a repeating timer leaves no stray platform timer behind once
// cancelled; a repeating one whose listener's start was refused fires once more and stops.
TEST_F(TimerTest, ReentrantStartsOnTheLoop) {
    Listener again, turned, refused;
    Timer a(&again), b(&turned), c(&refused);
    int againResult = 1, refusedResult = 1;
    again.action = [&](Timer& t) {
        if (again.calls == 1) againResult = t.start(40);
    };
    turned.action = [](Timer& t) {
        if (!Peer::pending(t)) t.startAsRepeatable(30);
    };
    refused.action = [&](Timer& t) {
        if (refused.calls == 1) refusedResult = t.start(30);
    };
    ASSERT_EQ(a.start(40), 0);
    ASSERT_EQ(b.start(30), 0);
    ASSERT_EQ(c.startAsRepeatable(30), 0);
    ASSERT_TRUE(
        runUntil([&] { return again.calls >= 2 && turned.calls >= 4 && refused.calls >= 2; }));
    EXPECT_EQ(b.cancel(), 0);
    int turnedCalls = turned.calls;
    idle(0.2);
    EXPECT_EQ(againResult, 0);
    EXPECT_EQ(again.calls, 2);
    EXPECT_EQ(Peer::pending(a), nullptr);
    EXPECT_EQ(turned.calls, turnedCalls);
    EXPECT_EQ(refusedResult, kRefused);
    EXPECT_EQ(refused.calls, 2);
    EXPECT_EQ(Peer::pending(c), nullptr);
    EXPECT_EQ(c.cancel(), kRefused);
}

}  // namespace
