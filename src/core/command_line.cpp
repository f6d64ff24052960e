#include "core/command_line.h"

namespace corvanta {

std::optional<StartCommand> ParseStartCommand(const std::vector<Text>& arguments) {
    if (arguments.empty()) {
        return StartCommand::kRun;
    }
    const TextView first = arguments[0];
    if (first.size() < 2 || (first[0] != u'/' && first[0] != u'-')) {
        return std::nullopt;
    }
    const TextView name = first.substr(1);
    if (arguments.size() == 1) {
        if (EqualIgnoringAsciiCase(name, u"exit")) {
            return StartCommand::kExit;
        }
        if (EqualIgnoringAsciiCase(name, u"uninstall-cleanup")) {
            return StartCommand::kUninstallCleanup;
        }
    }
    if (arguments.size() == 2 && EqualIgnoringAsciiCase(name, u"autostart")) {
        if (EqualIgnoringAsciiCase(arguments[1], u"on")) {
            return StartCommand::kAutoStartOn;
        }
        if (EqualIgnoringAsciiCase(arguments[1], u"off")) {
            return StartCommand::kAutoStartOff;
        }
    }
    return std::nullopt;
}

int RunAutoStartSwitch(StartCommand command, AutoStartService& auto_start) {
    AutoStartOutcome outcome = AutoStartOutcome::kWriteRefused;
    switch (command) {
        case StartCommand::kAutoStartOn:
            outcome = auto_start.Enable(AutoStartScope::kMachine);
            break;
        case StartCommand::kAutoStartOff:
            outcome = auto_start.Disable(AutoStartRemoval::kThisExecutable);
            break;
        case StartCommand::kUninstallCleanup:
            outcome = auto_start.Disable(AutoStartRemoval::kThisExecutableEveryUser);
            break;
        default:
            break;
    }
    return outcome == AutoStartOutcome::kDone ? 0 : 1;
}

}  // namespace corvanta
