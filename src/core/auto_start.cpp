#include "core/auto_start.h"

#include <string>
#include <vector>

#include "common/identity.h"
#include "core/mod1_registry.h"

namespace corvanta {

namespace {

// One Run key an entry may be under.
struct RunKey {
    Registry* registry;
    RegKey root;
    Text path;
    bool for_all_users;
};

TextView Unquoted(TextView text) {
    if (text.size() >= 2 && text.front() == u'"' && text.back() == u'"') {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

// File names on Windows compare without regard to case; a value typed in by hand may lack the quotes.
bool NamesExecutable(TextView run_value, TextView command) {
    return EqualIgnoringAsciiCase(Unquoted(TrimBlanks(run_value)), Unquoted(command));
}

}  // namespace

Text AutoStartCommandPath(TextView directory, TextView exe_name_without_extension) {
    Text path = u"\"";
    path += directory;
    path += u"\\";
    path += exe_name_without_extension;
    path += u".exe\"";
    return path;
}

AutoStartService::AutoStartService(Registry& run_keys,
                                   Registry* older_run_keys,
                                   const AnsiCodePage& ansi,
                                   const AppInfo& app)
    : run_keys_(run_keys), older_run_keys_(older_run_keys), ansi_(ansi), app_(app) {}

Text AutoStartService::Command() const {
    return AutoStartCommandPath(app_.Path(), app_.EXEName());
}

bool AutoStartService::WriteMachineEntry(const Text& command) {
    RegWriteString(run_keys_, ansi_, kRunKeyRoot, kRunKeyPath, kAppTitle, command);
    return RegReadString(run_keys_, ansi_, kRunKeyRoot, kRunKeyPath, kAppTitle) == ansi_.ToText(ansi_.ToAnsi(command));
}

bool AutoStartService::Enabled() {
    bool present = !RegReadString(run_keys_, ansi_, kRunKeyRoot, kRunKeyPath, kAppTitle).empty() ||
                   !RegReadString(run_keys_, ansi_, kUserRunKeyRoot, kRunKeyPath, kAppTitle).empty();
    if (older_run_keys_ != nullptr) {
        present = present || !RegReadString(*older_run_keys_, ansi_, kRunKeyRoot, kRunKeyPath, kAppTitle).empty();
    }
    return present;
}

AutoStartOutcome AutoStartService::Enable(AutoStartScope scope) {
    const Text command = Command();
    bool written = WriteMachineEntry(command);
    if (written && older_run_keys_ != nullptr) {
        // Windows would start the program a second time from the older view, and that copy would only say that
        // the program already runs.
        RegDeleteValueOf(*older_run_keys_, ansi_, kRunKeyRoot, kRunKeyPath, kAppTitle);
        written = RegReadString(*older_run_keys_, ansi_, kRunKeyRoot, kRunKeyPath, kAppTitle).empty();
    } else if (!written && scope == AutoStartScope::kMachineOrUser) {
        RegWriteString(run_keys_, ansi_, kUserRunKeyRoot, kRunKeyPath, kAppTitle, command);
    }
    if (scope == AutoStartScope::kMachineOrUser) {
        written = Enabled();
    }
    return written ? AutoStartOutcome::kDone : AutoStartOutcome::kWriteRefused;
}

AutoStartOutcome AutoStartService::Disable(AutoStartRemoval removal) {
    std::vector<RunKey> keys{{&run_keys_, kRunKeyRoot, kRunKeyPath, true},
                             {&run_keys_, kUserRunKeyRoot, kRunKeyPath, false}};
    if (older_run_keys_ != nullptr) {
        keys.push_back({older_run_keys_, kRunKeyRoot, kRunKeyPath, true});
    }
    bool machine_left = false;
    bool user_left = false;
    if (removal == AutoStartRemoval::kThisExecutableEveryUser) {
        std::vector<std::string> hives;
        // Hives that cannot be listed cannot be cleaned: the removal must not claim that nothing is left.
        user_left = run_keys_.ListSubKeys(reg::kHkeyUsers, &hives) != reg::kErrorSuccess;
        for (const std::string& hive : hives) {
            keys.push_back({&run_keys_, reg::kHkeyUsers, ansi_.ToText(hive) + u"\\" + kRunKeyPath, false});
        }
    }
    const Text command = Command();
    const auto takes = [&](const Text& value) {
        return removal == AutoStartRemoval::kAny ? !value.empty() : NamesExecutable(value, command);
    };
    for (const RunKey& key : keys) {
        // The menu deletes without looking first: a value that reads as no entry (of another type, say) goes too.
        if (removal != AutoStartRemoval::kAny &&
            !takes(RegReadString(*key.registry, ansi_, key.root, key.path, kAppTitle))) {
            continue;
        }
        RegDeleteValueOf(*key.registry, ansi_, key.root, key.path, kAppTitle);
        if (takes(RegReadString(*key.registry, ansi_, key.root, key.path, kAppTitle))) {
            (key.for_all_users ? machine_left : user_left) = true;
        }
    }
    if (machine_left) {
        return AutoStartOutcome::kMachineEntryLeft;
    }
    return user_left ? AutoStartOutcome::kUserEntryLeft : AutoStartOutcome::kDone;
}

}  // namespace corvanta
