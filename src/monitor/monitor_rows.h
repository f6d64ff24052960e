#pragma once

#include <array>
#include <cstddef>
#include <deque>
#include <optional>
#include <span>

#include "common/text.h"
#include "core/record_journal.h"
#include "core/record_log.h"

namespace corvanta {

// The Monitor's columns, in their order on the screen and on the clipboard.
enum MonitorColumn : size_t { kColumnTime, kColumnReceived, kColumnTyped, kColumnStatus, kColumnCount };
using MonitorCells = std::array<Text, kColumnCount>;

// The Enter and Tab keys as the typed column shows them.
inline constexpr char16_t kEnterSymbol = u'\u21B5';
inline constexpr char16_t kTabSymbol = u'\u21E5';

// The time of day to the millisecond: 14:03:22.512. The Monitor shows only what came while it was open.
Text ShownTime(const LocalTime& time);

// The typed column of a row (a TypedField) with every Enter as the symbol ↵ and every Tab as ⇥; the other escapes
// stay as they are. A typed ↵ or ⇥ character shows as \u21B5 or \u21E5, so that the symbols only ever mean keys.
Text ShownTyped(TextView typed_field);

// What the Monitor shows of a row: its time, received bytes, typed keys and status.
MonitorCells ShownCells(const LogRow& row);

// The rows as the clipboard gets them: one line each, the cells separated by tabs, each line ended by CR LF. No
// cell holds a tab or a line break (the received and typed columns show them as escapes or symbols), so a
// spreadsheet takes every cell into a column of its own.
Text TabSeparated(std::span<const MonitorCells> rows);

// The Monitor's last rows of the record journal, oldest first: a row the journal adds goes to the end, and the
// oldest goes once there are more than kCapacity; a change replaces a row in place while it is still there.
class MonitorRows {
  public:
    static constexpr size_t kCapacity = 500;

    struct Added {
        bool dropped_oldest = false;
    };
    Added Add(RecordJournal::RowId id, const LogRow& row);
    // The index of the row that changed; none when it is no longer here (cleared, or dropped as the oldest).
    std::optional<size_t> Change(RecordJournal::RowId id, const LogRow& row);
    void Clear() { rows_.clear(); }

    size_t Size() const { return rows_.size(); }
    const LogRow& Row(size_t index) const { return rows_.at(index).row; }

  private:
    struct Entry {
        RecordJournal::RowId id;
        LogRow row;
    };
    // In the order the journal numbered them, which is the order they came in.
    std::deque<Entry> rows_;
};

}  // namespace corvanta
