// SPDX-License-Identifier: Apache-2.0
#include "MainLoop.h"

#include <Ecore.h>

namespace vt {

bool runUntil(const std::function<bool()>& done, double seconds, double tick) {
    struct Ctx {
        const std::function<bool()>& done;
        double deadline;
        Ecore_Timer* poll;
    } ctx{done, ecore_time_get() + seconds, nullptr};
    ctx.poll = ecore_timer_add(
        tick,
        [](void* d) -> Eina_Bool {
            auto* c = static_cast<Ctx*>(d);
            if (!c->done() && ecore_time_get() < c->deadline) return ECORE_CALLBACK_RENEW;
            c->poll = nullptr;  // the loop deletes it
            ecore_main_loop_quit();
            return ECORE_CALLBACK_CANCEL;
        },
        &ctx);
    if (!ctx.poll) return done();
    ecore_main_loop_begin();
    // Something else ended the loop: the poll must not outlive `ctx`.
    if (ctx.poll) ecore_timer_del(ctx.poll);
    return done();
}

}  // namespace vt
