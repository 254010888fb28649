// SPDX-License-Identifier: Apache-2.0
// Reaches into the launcher's Timer for the tests of it and of the form.
#ifndef VORNIX_TIMER_TEST_PEER_H
#define VORNIX_TIMER_TEST_PEER_H

#include "Timer.h"

class TimerTestPeer {
public:
    static Ecore_Timer* pending(Timer& t) { return t.mTimer; }
    static Eina_Bool expire(void* data) { return Timer::taskCallBack(data); }
};

#endif
