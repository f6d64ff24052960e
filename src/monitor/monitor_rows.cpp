#include "monitor/monitor_rows.h"

#include <algorithm>
#include <cstdio>

namespace corvanta {

Text ShownTime(const LocalTime& time) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03d", time.hour % 100, time.minute % 100, time.second % 100,
                  time.millisecond % 1000);
    return AsciiText(buffer);
}

Text ShownTyped(TextView typed_field) {
    Text shown;
    shown.reserve(typed_field.size());
    for (size_t i = 0; i < typed_field.size(); ++i) {
        const char16_t unit = typed_field[i];
        if (unit == kEnterSymbol) {
            shown += u"\\u21B5";
        } else if (unit == kTabSymbol) {
            shown += u"\\u21E5";
        } else if (unit != u'\\' || i + 1 == typed_field.size()) {
            shown.push_back(unit);
        } else {
            // An escape's second character says what it is; "\\" stays, so that "\\t" is a backslash and a t.
            const char16_t kind = typed_field[++i];
            if (kind == u'r') {
                shown.push_back(kEnterSymbol);
            } else if (kind == u't') {
                shown.push_back(kTabSymbol);
            } else {
                shown.push_back(u'\\');
                shown.push_back(kind);
            }
        }
    }
    return shown;
}

MonitorCells ShownCells(const LogRow& row) {
    return {ShownTime(row.time), row.received, ShownTyped(row.typed), StatusText(row.status)};
}

Text TabSeparated(std::span<const MonitorCells> rows) {
    Text text;
    for (const MonitorCells& cells : rows) {
        for (size_t column = 0; column < cells.size(); ++column) {
            if (column > 0) {
                text.push_back(u'\t');
            }
            text += cells[column];
        }
        text += u"\r\n";
    }
    return text;
}

MonitorRows::Added MonitorRows::Add(RecordJournal::RowId id, const LogRow& row) {
    rows_.push_back({id, row});
    if (rows_.size() <= kCapacity) {
        return {};
    }
    rows_.pop_front();
    return {.dropped_oldest = true};
}

std::optional<size_t> MonitorRows::Change(RecordJournal::RowId id, const LogRow& row) {
    const auto found =
        std::lower_bound(rows_.begin(), rows_.end(), id,
                         [](const Entry& entry, RecordJournal::RowId wanted) { return entry.id < wanted; });
    if (found == rows_.end() || found->id != id) {
        return std::nullopt;
    }
    found->row = row;
    return static_cast<size_t>(found - rows_.begin());
}

}  // namespace corvanta
