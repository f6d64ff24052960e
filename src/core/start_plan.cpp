#include "core/start_plan.h"

namespace corvanta {

StartPlan PlanStart(StartCommand command, const StartPlace& place) {
    if (command != StartCommand::kRun) {
        return {.proceed = true, .register_restart = false};
    }
    if (place.local_system || place.session_id == 0) {
        return {};
    }
    // An upgrade under /qn has the Restart Manager close every running copy; only a registered one comes back.
    return {.proceed = true, .register_restart = true};
}

}  // namespace corvanta
