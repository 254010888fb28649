#include "MainLoop.h"

#include <Ecore.h>

namespace vt {

bool runUntil(const std::function<bool()>& done, double seconds, double tick) {
    struct Ctx {
        const std::function<bool()>& done;
        double deadline;
    } ctx{done, ecore_time_get() + seconds};
    Ecore_Timer* poll = ecore_timer_add(
        tick,
        [](void* d) -> Eina_Bool {
            auto* c = static_cast<Ctx*>(d);
            if (!c->done() && ecore_time_get() < c->deadline) return ECORE_CALLBACK_RENEW;
            ecore_main_loop_quit();
            return ECORE_CALLBACK_CANCEL;
        },
        &ctx);
    if (!poll) return done();
    ecore_main_loop_begin();
    return done();
}

}  // namespace vt
