#include "core/start_plan.h"

#include <algorithm>

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

FailureReport FailureReportFor(std::string_view arguments) {
    // Blanks as Windows splits a command line into arguments.
    const bool any = std::any_of(arguments.begin(), arguments.end(), [](char c) { return c != ' ' && c != '\t'; });
    return any ? FailureReport::kExitCode : FailureReport::kMessageBox;
}

}  // namespace corvanta
