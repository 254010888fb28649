// Timer on a real Ecore main loop, with short durations.
#include <gtest/gtest.h>
#include <tizen_error.h>

#include <stdlib.h>

#include <functional>
#include <string>
#include <vector>

#include "TestDevice.h"
#include "Timer.h"

class TimerTestPeer {
public:
    static Ecore_Timer* pending(Timer& t) { return t.mTimer; }
    static Eina_Bool expire(void* data) { return Timer::taskCallBack(data); }
};

namespace {

using Lines = std::vector<std::string>;

struct Listener : ITimerEventListener {
    int calls = 0;
    std::vector<Timer*> timers;
    std::function<void(Timer&)> action;
    void onTimerExpired(Timer& timer) override {
        ++calls;
        timers.push_back(&timer);
        if (action) action(timer);
    }
};

std::string body(const std::string& line) {
    size_t p = line.find("): ");
    return p == std::string::npos ? line : line.substr(0, 1) + " " + line.substr(p + 3);
}

std::string expected(const char* func, const char* needle, const std::string& msg) {
    return body(vt::logLine('E', "", "src/Timer.cpp", func, needle, msg));
}

Lines captured(const vt::LogCapture& log) {
    Lines out;
    for (const std::string& l : log.lines())
        if (l.find("Timer.cpp: ") != std::string::npos) out.push_back(body(l));
    return out;
}

// Runs the main loop until `done` holds or `seconds` have passed; returns `done()`.
bool runUntil(std::function<bool()> done, double seconds = 5.0) {
    struct Ctx {
        std::function<bool()> done;
        double deadline;
    } ctx{done, ecore_time_get() + seconds};
    ecore_timer_add(
        0.005,
        [](void* d) -> Eina_Bool {
            auto* c = static_cast<Ctx*>(d);
            if (!c->done() && ecore_time_get() < c->deadline) return ECORE_CALLBACK_RENEW;
            ecore_main_loop_quit();
            return ECORE_CALLBACK_CANCEL;
        },
        &ctx);
    ecore_main_loop_begin();
    return done();
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

TEST_F(TimerTest, OneShotExpiresOnceWithItselfThenIsIdle) {
    Listener l;
    Timer t(&l);
    EXPECT_EQ(t.start(50), 0);
    EXPECT_NE(TimerTestPeer::pending(t), nullptr);
    ASSERT_TRUE(runUntil([&] { return l.calls > 0; }));
    idle(0.2);
    EXPECT_EQ(l.calls, 1);
    EXPECT_TRUE(*l.timers[0] == t);
    EXPECT_EQ(TimerTestPeer::pending(t), nullptr);
    EXPECT_EQ(t.cancel(), TIZEN_ERROR_INVALID_OPERATION);
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

TEST_F(TimerTest, StartWhilePendingIsRefusedAndKeepsTheExpiry) {
    Listener l;
    Timer t(&l);
    ASSERT_EQ(t.start(5000), 0);
    Ecore_Timer* pending = TimerTestPeer::pending(t);
    double left = ecore_timer_pending_get(pending);
    vt::LogCapture log;
    EXPECT_EQ(t.start(100000), TIZEN_ERROR_INVALID_OPERATION);
    EXPECT_EQ(TimerTestPeer::pending(t), pending);
    EXPECT_LE(ecore_timer_pending_get(pending), left);
    EXPECT_EQ(captured(log),
              Lines{expected("_start", "mTimer is not NULL!", "mTimer is not NULL!")});
    EXPECT_EQ(t.cancel(), 0);
}

// A refused start still sets the mode in which the pending timer expires next.
TEST_F(TimerTest, RefusedStartChangesTheMode) {
    struct Case {
        bool repeatFirst;
        int expectedCalls;  // within the observation time
        bool pendingAfter;
    } cases[] = {{false, 3, true}, {true, 1, false}};
    for (const Case& c : cases) {
        Listener l;
        Timer t(&l);
        ASSERT_EQ(c.repeatFirst ? t.startAsRepeatable(40) : t.start(40), 0);
        EXPECT_EQ(c.repeatFirst ? t.start(40) : t.startAsRepeatable(40),
                  TIZEN_ERROR_INVALID_OPERATION);
        runUntil([&] { return l.calls >= 3; }, 0.6);
        EXPECT_EQ(l.calls, c.expectedCalls) << c.repeatFirst;
        EXPECT_EQ(TimerTestPeer::pending(t) != nullptr, c.pendingAfter) << c.repeatFirst;
    }
}

TEST_F(TimerTest, RepeatingFiresUntilCancelled) {
    Listener l;
    Timer t(&l);
    ASSERT_EQ(t.startAsRepeatable(30), 0);
    ASSERT_TRUE(runUntil([&] { return l.calls >= 3; }));
    EXPECT_EQ(t.cancel(), 0);
    int calls = l.calls;
    idle(0.2);
    EXPECT_EQ(l.calls, calls);
    EXPECT_EQ(t.cancel(), TIZEN_ERROR_INVALID_OPERATION);
}

TEST_F(TimerTest, CancelledOrDestroyedTimersNeverCall) {
    Listener l;
    Timer cancelled(&l);
    ASSERT_EQ(cancelled.start(40), 0);
    EXPECT_EQ(cancelled.cancel(), 0);
    {
        Timer destroyed(&l);
        ASSERT_EQ(destroyed.startAsRepeatable(40), 0);
    }
    idle(0.2);
    EXPECT_EQ(l.calls, 0);
}

TEST_F(TimerTest, ListenerMayStartAgainFromAOneShotExpiry) {
    Listener l;
    Timer t(&l);
    std::vector<int> results;
    l.action = [&](Timer& timer) {
        if (l.calls == 1) results.push_back(timer.start(40));
    };
    ASSERT_EQ(t.start(40), 0);
    ASSERT_TRUE(runUntil([&] { return l.calls >= 2; }));
    idle(0.2);
    EXPECT_EQ(results, std::vector<int>{0});
    EXPECT_EQ(l.calls, 2);
    EXPECT_EQ(TimerTestPeer::pending(t), nullptr);
}

TEST_F(TimerTest, WithoutListenerEachExpiryIsLogged) {
    std::string line =
        expected("onTimerExpired", "No timer even listener set!", "No timer even listener set!");
    Timer once;
    vt::LogCapture log;
    ASSERT_EQ(once.start(20), 0);
    runUntil([&] { return captured(log).size() >= 1; });
    idle(0.1);
    EXPECT_EQ(captured(log), Lines{line});
    EXPECT_EQ(TimerTestPeer::pending(once), nullptr);

    Timer repeating;
    vt::LogCapture again;
    ASSERT_EQ(repeating.startAsRepeatable(20), 0);
    ASSERT_TRUE(runUntil([&] { return captured(again).size() >= 2; }));
    EXPECT_EQ(captured(again), Lines(captured(again).size(), line));
    EXPECT_NE(TimerTestPeer::pending(repeating), nullptr);
}

TEST_F(TimerTest, CallbackWithoutTimerStopsThePlatformTimer) {
    vt::LogCapture log;
    EXPECT_EQ(TimerTestPeer::expire(nullptr), ECORE_CALLBACK_CANCEL);
    EXPECT_EQ(captured(log), Lines{expected("taskCallBack", "Timer is NULL in callback",
                                            "Timer is NULL in callback")});
}

TEST_F(TimerTest, EqualityIsIdentity) {
    Listener l;
    Timer a(&l), b(&l);
    EXPECT_TRUE(a == a);
    EXPECT_FALSE(a == b);
    Timer c, d;
    EXPECT_FALSE(c == d);
}

// Starts and cancels from inside the listener: the answer to the main loop and
// mTimer always agree. Expiries are driven by hand here; the main loop would delete
// the expiring timer on a cancel answer, so the test does that in its place.
TEST_F(TimerTest, ReentrantStartsKeepTheAnswerAndMTimerInStep) {
    enum Holds { NONE, SAME, NEW };
    struct Case {
        const char* name;
        bool repeating;
        std::function<int(Timer&)> action;
        int actionResult;
        bool cancels;  // the listener deletes the expiring timer itself
        Eina_Bool answer;
        Holds holds;
    } cases[] = {
        {"one-shot, nothing", false, nullptr, 0, false, ECORE_CALLBACK_CANCEL, NONE},
        {"one-shot, start", false, [](Timer& t) { return t.start(60000); }, 0, false,
         ECORE_CALLBACK_CANCEL, NEW},
        {"one-shot, startAsRepeatable", false, [](Timer& t) { return t.startAsRepeatable(60000); },
         0, false, ECORE_CALLBACK_CANCEL, NEW},
        {"repeating, nothing", true, nullptr, 0, false, ECORE_CALLBACK_RENEW, SAME},
        {"repeating, refused start", true, [](Timer& t) { return t.start(60000); }, -38, false,
         ECORE_CALLBACK_RENEW, SAME},
        {"repeating, refused startAsRepeatable", true,
         [](Timer& t) { return t.startAsRepeatable(60000); }, -38, false, ECORE_CALLBACK_RENEW,
         SAME},
        {"repeating, cancel", true, [](Timer& t) { return t.cancel(); }, 0, true,
         ECORE_CALLBACK_CANCEL, NONE},
        {"repeating, cancel and start", true,
         [](Timer& t) { return t.cancel() + t.startAsRepeatable(60000); }, 0, true,
         ECORE_CALLBACK_CANCEL, NEW},
    };
    for (const Case& c : cases) {
        Listener l;
        Timer t(&l);
        int got = 12345;
        if (c.action) l.action = [&](Timer& timer) { got = c.action(timer); };
        ASSERT_EQ(c.repeating ? t.startAsRepeatable(60000) : t.start(60000), 0);
        Ecore_Timer* expiring = TimerTestPeer::pending(t);
        EXPECT_EQ(TimerTestPeer::expire(&t), c.answer) << c.name;
        EXPECT_EQ(l.calls, 1) << c.name;
        EXPECT_EQ(got, c.action ? c.actionResult : 12345) << c.name;
        Ecore_Timer* now = TimerTestPeer::pending(t);
        EXPECT_EQ(now == nullptr, c.holds == NONE) << c.name;
        EXPECT_EQ(now == expiring, c.holds == SAME) << c.name;
        if (c.answer == ECORE_CALLBACK_CANCEL && !c.cancels) ecore_timer_del(expiring);
    }
}

// On the loop: a one-shot whose listener turns it into a repeating timer leaves no
// stray platform timer behind once cancelled; a repeating one whose listener's start
// was refused fires once more and stops.
TEST_F(TimerTest, ReentrantModeChangesOnTheLoop) {
    Listener l;
    Timer t(&l);
    l.action = [](Timer& timer) {
        if (TimerTestPeer::pending(timer) == nullptr) timer.startAsRepeatable(30);
    };
    ASSERT_EQ(t.start(30), 0);
    ASSERT_TRUE(runUntil([&] { return l.calls >= 4; }));
    EXPECT_EQ(t.cancel(), 0);
    int calls = l.calls;
    idle(0.2);
    EXPECT_EQ(l.calls, calls);

    Listener r;
    Timer u(&r);
    r.action = [&](Timer& timer) {
        if (r.calls == 1) {
            EXPECT_EQ(timer.start(30), TIZEN_ERROR_INVALID_OPERATION);
        }
    };
    ASSERT_EQ(u.startAsRepeatable(30), 0);
    ASSERT_TRUE(runUntil([&] { return r.calls >= 2; }));
    idle(0.2);
    EXPECT_EQ(r.calls, 2);
    EXPECT_EQ(TimerTestPeer::pending(u), nullptr);
    EXPECT_EQ(u.cancel(), TIZEN_ERROR_INVALID_OPERATION);
}

}  // namespace
