#include "core/auto_start.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_app_info.h"
#include "fakes/fake_registry.h"

namespace corvanta {
namespace {

const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kOurs = "\"C:\\Program Files\\Corvanta\\Corvanta.exe\"";  // FakeAppInfo's executable
const std::string kPortable = "\"D:\\Tools\\Corvanta.exe\"";
const std::string kHive = "S-1-5-21-1004336348-1177238915-682003330-1001";

std::string Sz(const std::string& text) {
    return text + '\0';
}

// The places an entry may be: the machine's and the user's Run key in the shared (64-bit) view, the machine's in
// the 32-bit view of earlier 32-bit versions, and another user's loaded hive.
enum Place { kMachine, kUser, kOlderMachine, kOtherUser };

struct Bed {
    explicit Bed(bool one_view = false) : service(registry, one_view ? nullptr : &older, ansi, app) {}

    void Put(Place place, const std::string& data) {
        At(place).Put(Root(place), Path(place), "Corvanta", reg::kRegSz, Sz(data));
        At(place).Put(Root(place), Path(place), "Other", reg::kRegSz, Sz("\"C:\\Other.exe\""));
    }
    std::optional<std::string> Get(Place place) const {
        const auto value = At(place).Get(Root(place), Path(place), "Corvanta");
        return value ? std::optional<std::string>(value->data.substr(0, value->data.find('\0'))) : std::nullopt;
    }
    bool OthersKept() const {
        for (const Place place : {kMachine, kUser, kOlderMachine, kOtherUser}) {
            const auto other = At(place).Get(Root(place), Path(place), "Other");
            if (Get(place) && !other) {
                return false;
            }
        }
        return true;
    }
    void RefuseAdministratorWrites() {
        registry.refuse_machine_writes = true;
        older.refuse_machine_writes = true;
    }
    size_t OpenKeys() const { return registry.OpenKeyCount() + older.OpenKeyCount(); }

    FakeRegistry& At(Place place) { return place == kOlderMachine ? older : registry; }
    const FakeRegistry& At(Place place) const { return place == kOlderMachine ? older : registry; }
    static RegKey Root(Place place) {
        return place == kUser ? reg::kHkeyCurrentUser : place == kOtherUser ? reg::kHkeyUsers : reg::kHkeyLocalMachine;
    }
    static std::string Path(Place place) { return place == kOtherUser ? kHive + "\\" + kRun : kRun; }

    FakeRegistry registry;
    FakeRegistry older;
    FakeAnsiCodePage ansi;
    FakeAppInfo app;
    AutoStartService service;
};

// The switches remove the entries that would start this very file, wherever they are, and nothing else: an
// entry naming another copy is that copy's. Only the removal at uninstall looks into the other users' hives.
TEST(AutoStartService, SwitchesRemoveOnlyEntriesNamingThisExecutable) {
    const struct {
        const char* label;
        Place place;
        std::string data;
        bool by_off;      // removed by /autostart off
        bool by_cleanup;  // removed by /uninstall-cleanup
    } cases[] = {
        {"machine, quoted", kMachine, kOurs, true, true},
        {"user, quoted", kUser, kOurs, true, true},
        {"unquoted, other case", kUser, "c:\\program files\\CORVANTA\\corvanta.EXE", true, true},
        {"blanks around", kMachine, " " + kOurs + " ", true, true},
        {"a portable copy", kUser, kPortable, false, false},
        {"with an argument", kMachine, kOurs + " /x", false, false},
        {"an earlier 32-bit version's", kOlderMachine, kOurs, true, true},
        {"an earlier 32-bit portable copy", kOlderMachine, kPortable, false, false},
        {"another user's hive", kOtherUser, kOurs, false, true},
        {"another user's hive, a portable copy", kOtherUser, kPortable, false, false},
    };
    for (const auto& c : cases) {
        for (const bool cleanup : {false, true}) {
            const std::string label = std::string(c.label) + (cleanup ? ", /uninstall-cleanup" : ", /autostart off");
            Bed bed;
            bed.Put(c.place, c.data);
            EXPECT_EQ(bed.service.Disable(cleanup ? AutoStartRemoval::kThisExecutableEveryUser
                                                  : AutoStartRemoval::kThisExecutable),
                      AutoStartOutcome::kDone)
                << label;
            EXPECT_EQ(!bed.Get(c.place).has_value(), cleanup ? c.by_cleanup : c.by_off) << label;
            EXPECT_TRUE(bed.OthersKept()) << label;
            EXPECT_EQ(bed.OpenKeys(), 0u) << label;
        }
    }
}

// Each request ends with the entries as asked, or says what it could not do. Without administrator rights the
// machine's keys (and other users' hives) refuse every change; the user's own key takes the menu's entry.
// Entries are written as four letters, one per place (machine, older view, user, another user's hive): O ours,
// P a portable copy's, - none.
TEST(AutoStartService, RequestsAndWhatTheyCouldNotDo) {
    enum Request { kMenuOn, kMenuOff, kSwitchOn, kSwitchOff, kCleanup };
    using O = AutoStartOutcome;
    const struct {
        const char* label;
        Request request;
        const char* before;
        bool no_rights;
        AutoStartOutcome outcome;
        const char* after;
    } cases[] = {
        {"menu on", kMenuOn, "----", false, O::kDone, "O---"},
        {"menu on, no rights: the user's key", kMenuOn, "----", true, O::kDone, "--O-"},
        {"menu off takes any copy's, both views", kMenuOff, "PPP-", false, O::kDone, "----"},
        {"menu off, no rights: the older view's is left", kMenuOff, "-OO-", true, O::kMachineEntryLeft, "-O--"},
        {"switch on moves the older view's entry", kSwitchOn, "-O--", false, O::kDone, "O---"},
        {"switch on replaces another copy's", kSwitchOn, "PP--", false, O::kDone, "O---"},
        {"switch on, no rights: nothing for the user", kSwitchOn, "P---", true, O::kWriteRefused, "P---"},
        {"switch off, no rights: the user's goes", kSwitchOff, "O-O-", true, O::kMachineEntryLeft, "O---"},
        {"cleanup, no rights: another user's is left", kCleanup, "--OO", true, O::kUserEntryLeft, "---O"},
        {"cleanup elevated: every hive", kCleanup, "OOOO", false, O::kDone, "----"},
    };
    constexpr Place kPlaces[] = {kMachine, kOlderMachine, kUser, kOtherUser};
    const auto entry = [](char letter) {
        return letter == 'O' ? std::optional(kOurs) : letter == 'P' ? std::optional(kPortable) : std::nullopt;
    };
    for (const auto& c : cases) {
        Bed bed;
        for (size_t i = 0; i < 4; ++i) {
            if (const auto data = entry(c.before[i])) {
                bed.Put(kPlaces[i], *data);
            }
        }
        if (c.no_rights) {
            bed.RefuseAdministratorWrites();
        }
        AutoStartOutcome outcome = O::kDone;
        switch (c.request) {
            case kMenuOn:
                outcome = bed.service.Enable(AutoStartScope::kMachineOrUser);
                break;
            case kMenuOff:
                outcome = bed.service.Disable(AutoStartRemoval::kAny);
                break;
            case kSwitchOn:
                outcome = bed.service.Enable(AutoStartScope::kMachine);
                break;
            case kSwitchOff:
                outcome = bed.service.Disable(AutoStartRemoval::kThisExecutable);
                break;
            case kCleanup:
                outcome = bed.service.Disable(AutoStartRemoval::kThisExecutableEveryUser);
                break;
        }
        EXPECT_EQ(outcome, c.outcome) << c.label;
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(bed.Get(kPlaces[i]), entry(c.after[i])) << c.label << ", place " << i;
        }
        EXPECT_EQ(bed.service.Enabled(), std::string(c.after, 3) != "---") << c.label;
        EXPECT_EQ(bed.OpenKeys(), 0u) << c.label;
    }
}

// On 32-bit Windows there is no older view: writing the entry must not take it away again as an older one.
TEST(AutoStartService, OneViewKeepsTheEntryJustWritten) {
    for (const AutoStartScope scope : {AutoStartScope::kMachine, AutoStartScope::kMachineOrUser}) {
        Bed bed(/*one_view=*/true);
        EXPECT_EQ(bed.service.Enable(scope), AutoStartOutcome::kDone) << static_cast<int>(scope);
        EXPECT_EQ(bed.Get(kMachine), kOurs) << static_cast<int>(scope);
        EXPECT_TRUE(bed.service.Enabled()) << static_cast<int>(scope);
    }
}

TEST(AutoStartCommandPath, QuotedWholePath) {
    struct {
        Text directory;
        Text expected;
    } cases[] = {
        {u"C:\\Program Files\\Corvanta", u"\"C:\\Program Files\\Corvanta\\Corvanta.exe\""},
        {u"D:\\Tools", u"\"D:\\Tools\\Corvanta.exe\""},
        {u"C:\\", u"\"C:\\\\Corvanta.exe\""},  // the root's own backslash stays: Windows reads "\\" as one
        {u"\\\\server\\share\\my apps", u"\"\\\\server\\share\\my apps\\Corvanta.exe\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AutoStartCommandPath(c.directory, u"Corvanta"), c.expected) << ToUtf8(c.directory);
    }
}

}  // namespace
}  // namespace corvanta
