// SPDX-License-Identifier: Apache-2.0
// A listener may start or cancel its timer from inside its own expiry. The answer
// to the main loop is therefore decided by what mTimer holds after the listener
// returns, not by the mode alone: the expiring platform timer is renewed exactly
// when mTimer still refers to it, and cancelled otherwise. So
//  - one-shot expiry: mTimer is cleared first; whatever the listener starts (one-shot
//    or repeating) is a new timer, and the expiring one is always cancelled;
//  - repeating expiry, listener cancels (and maybe starts anew): the expiring timer is
//    already deleted and is answered with cancel; mTimer holds the new one or null;
//  - repeating expiry, listener's start refused: the timer is renewed and kept in
//    mTimer; the recorded mode applies from its next expiry, as for a start refused
//    outside the listener (a refused start() lets it fire once more, then stop).
// mTimer thus never holds a timer the main loop deletes, and the main loop never
// renews a timer that mTimer has let go.
#include "Timer.h"

#include <qor/log.h>

Timer::Timer() { init(); }

Timer::Timer(ITimerEventListener* listener) {
    init();
    mListener = listener;
}

Timer::~Timer() {
    if (mTimer) {
        set_last_result(0);
        ecore_timer_del(mTimer);
        mTimer = NULL;
    }
}

void Timer::init() {
    mListener = NULL;
    mTimer = NULL;
    mRepeat = false;
}

void Timer::setListener(ITimerEventListener* listener) { mListener = listener; }

int Timer::start(double milliseconds) {
    mRepeat = false;
    return _start(milliseconds);
}

int Timer::startAsRepeatable(double milliseconds) {
    mRepeat = true;
    return _start(milliseconds);
}

int Timer::cancel() {
    if (!mTimer) return TIZEN_ERROR_INVALID_OPERATION;
    set_last_result(0);
    ecore_timer_del(mTimer);
    mTimer = NULL;
    return get_last_result();
}

int Timer::initTimer(double milliseconds) {
    set_last_result(0);
    mTimer = ecore_timer_add(milliseconds / 1000.0, taskCallBack, this);
    return get_last_result();
}

int Timer::_start(double milliseconds) {
    if (mTimer) {
        LOGE("mTimer is not NULL!");
        return TIZEN_ERROR_INVALID_OPERATION;
    }
    int ret = initTimer(milliseconds);
    if (ret != 0) LOGE("Unable to initialize timer: %s", get_error_message(ret));
    return ret;
}

Eina_Bool Timer::taskCallBack(void* data) {
    if (!data) {
        LOGE("Timer is NULL in callback");
        return ECORE_CALLBACK_CANCEL;
    }
    return static_cast<Timer*>(data)->onTimerExpired() ? ECORE_CALLBACK_RENEW
                                                       : ECORE_CALLBACK_CANCEL;
}

int Timer::onTimerExpired() {
    Ecore_Timer* expiring = mTimer;
    if (!mRepeat) mTimer = NULL;
    if (mListener)
        mListener->onTimerExpired(*this);
    else
        LOGE("No timer even listener set!");
    return mTimer && mTimer == expiring;
}

bool operator==(Timer& lhs, Timer& rhs) { return &lhs == &rhs; }
