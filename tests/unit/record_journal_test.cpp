#include "core/record_journal.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace corvanta {
namespace {

struct Seen : RecordJournal::Listener {
    void RowAdded(RecordJournal::RowId id, const LogRow& row) override {
        events.push_back("added " + std::to_string(id) + " " + ToUtf8(StatusText(row.status)));
        if (on_event) {
            on_event();
        }
    }
    void RowChanged(RecordJournal::RowId id, const LogRow& row) override {
        events.push_back("changed " + std::to_string(id) + " " + ToUtf8(StatusText(row.status)));
    }
    std::vector<std::string> events;
    std::function<void()> on_event;
};

LogRow Row(RecordStatus status) {
    LogRow row;
    row.port = u"COM1";
    row.status = status;
    return row;
}

// Every attached listener hears of every row and every change, with ids that never repeat; one that leaves, even
// while another is being told, hears nothing more.
TEST(RecordJournal, ListenersHearRowsWhileAttached) {
    RecordJournal journal;
    Seen log;
    Seen monitor;
    journal.Attach(log);
    const RecordJournal::RowId first = journal.Add(Row(RecordStatus::kNoMatch));
    journal.Attach(monitor);
    const RecordJournal::RowId second = journal.Add(Row(RecordStatus::kWaiting));
    journal.Change(second, Row(RecordStatus::kTyped));
    log.on_event = [&] { journal.Detach(monitor); };
    journal.Add(Row(RecordStatus::kRepeat));

    EXPECT_NE(first, second);
    EXPECT_EQ(log.events,
              (std::vector<std::string>{"added 1 no match", "added 2 waiting", "changed 2 typed", "added 3 repeat"}));
    EXPECT_EQ(monitor.events, (std::vector<std::string>{"added 2 waiting", "changed 2 typed"}));
}

// Only a record whose text still waits to be typed can change its status.
TEST(RecordJournal, OnlyWaitingIsUnsettled) {
    for (const RecordStatus status : {RecordStatus::kTyped, RecordStatus::kNoMatch, RecordStatus::kRepeat,
                                      RecordStatus::kHeld, RecordStatus::kTooLong, RecordStatus::kNoReply}) {
        EXPECT_TRUE(IsSettled(status)) << ToUtf8(StatusText(status));
    }
    EXPECT_FALSE(IsSettled(RecordStatus::kWaiting));
}

}  // namespace
}  // namespace corvanta
