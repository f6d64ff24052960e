#include "core/command_line.h"

#include <array>

#include "common/identity.h"
#include "core/mod1_registry.h"

namespace corvanta {

namespace {

TextView Unquoted(TextView text) {
    if (text.size() >= 2 && text.front() == u'"' && text.back() == u'"') {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

// File names on Windows compare without regard to case; a value typed in by hand may lack the quotes.
bool NamesExecutable(TextView run_value, TextView quoted_exe_path) {
    return EqualIgnoringAsciiCase(Unquoted(TrimBlanks(run_value)), Unquoted(quoted_exe_path));
}

}  // namespace

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

bool WriteAutoStart(Registry& registry, const AnsiCodePage& ansi, TextView quoted_exe_path) {
    return WriteAutoStartValue(registry, ansi, kRunKeyRoot, quoted_exe_path);
}

bool RemoveAutoStartEntries(Registry& registry, const AnsiCodePage& ansi, TextView quoted_exe_path) {
    bool none_left = true;
    for (const RegKey root : std::array{kRunKeyRoot, kUserRunKeyRoot}) {
        if (!NamesExecutable(RegReadString(registry, ansi, root, kRunKeyPath, kAppTitle), quoted_exe_path)) {
            continue;
        }
        RegDeleteValueOf(registry, ansi, root, kRunKeyPath, kAppTitle);
        none_left =
            none_left && !NamesExecutable(RegReadString(registry, ansi, root, kRunKeyPath, kAppTitle), quoted_exe_path);
    }
    return none_left;
}

}  // namespace corvanta
