// SPDX-License-Identifier: Apache-2.0
#ifndef VORNIX_TIMER_H
#define VORNIX_TIMER_H

#include <Ecore.h>

class Timer;

class ITimerEventListener {
public:
    virtual void onTimerExpired(Timer& timer) = 0;
    virtual ~ITimerEventListener() {}
};

// A one-shot or repeating timer on the main loop; durations in milliseconds.
// It hands its own address to the platform while pending: never copied or moved.
class Timer {
public:
    Timer();
    Timer(ITimerEventListener* listener);
    virtual ~Timer();

    void setListener(ITimerEventListener* listener);
    int start(double milliseconds);
    int startAsRepeatable(double milliseconds);
    int cancel();

private:
    friend class TimerTestPeer;  // tests read the pending platform timer through it

    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void init();
    int initTimer(double milliseconds);
    int _start(double milliseconds);
    static Eina_Bool taskCallBack(void* data);
    int onTimerExpired();

    ITimerEventListener* mListener;
    Ecore_Timer* mTimer;
    bool mRepeat;
};

bool operator==(Timer& lhs, Timer& rhs);

#endif
