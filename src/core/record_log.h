#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "common/text.h"
#include "core/log_path.h"
#include "core/record_journal.h"
#include "platform/ansi_code_page.h"
#include "platform/clock.h"
#include "platform/file_appender.h"
#include "platform/timer.h"

namespace corvanta {

// Longer records and texts are shown cut, with how much more there was, so that one row stays a size a spreadsheet
// cell takes and rows waiting in memory stay small.
inline constexpr size_t kMaxShownBytes = 4096;

// The start of a record's bytes or text, as much as its row shows, and how long it was in all: a record of any
// length costs a bounded amount while it is received.
template <typename String>
class FieldStart {
  public:
    void Append(typename String::const_pointer data, size_t size) {
        total_ += size;
        if (kept_.size() < kMaxShownBytes) {
            kept_.append(data, std::min(size, kMaxShownBytes - kept_.size()));
        }
    }
    void Append(const String& more) { Append(more.data(), more.size()); }
    void Clear() {
        kept_.clear();
        total_ = 0;
    }
    const String& Kept() const { return kept_; }
    size_t Total() const { return total_; }

  private:
    String kept_;
    size_t total_ = 0;
};

// The received column: the bytes as EscapeReceived shows them, at most kMaxShownBytes, then "…(+N bytes)". `bytes`
// are the first of `total` bytes, all of them or at least kMaxShownBytes.
Text ReceivedField(std::string_view bytes, const AnsiCodePage* code_page, size_t total);
inline Text ReceivedField(std::string_view bytes, const AnsiCodePage* code_page) {
    return ReceivedField(bytes, code_page, bytes.size());
}
// The typed column: the text as EscapeTyped shows it, at most kMaxShownBytes units, then "…(+N characters)". `typed`
// is the start of `total` units, all of them or at least kMaxShownBytes.
Text TypedField(TextView typed, size_t total);
inline Text TypedField(TextView typed) {
    return TypedField(typed, typed.size());
}

// ISO 8601 local time with milliseconds and the offset from UTC: 2026-12-07T14:03:22.512+01:00.
Text IsoTime(const LocalTime& time);

// The file's start: a UTF-8 byte-order mark, by which Excel reads the file as UTF-8, and the header row.
std::string CsvHeader();

// One row in UTF-8 as RFC 4180 has it: a field holding a comma, a quote or a line break is quoted, its quotes
// doubled; CR LF ends the row. A field that Excel would take for a formula (starting with =, +, -, @ and not a
// plain number) gets a leading apostrophe, so that opening the log never runs what a device sent.
std::string CsvRow(const LogRow& row);

// The LogFile: a row for every record, appended to the file of the row's day. Each write opens the file, appends
// and closes it, so a spreadsheet can open it between rows. A file that cannot be opened or written (a spreadsheet
// holds it, the disk is full, the folder is missing) does not hold anything up: its rows wait in memory, up to
// kMaxWaitingRows rows or kMaxWaitingBytes (then the oldest go, and a row says how many), and are written by a
// retry on the timer; no other write is tried meanwhile, so a share that does not answer costs one attempt per
// retry. The user is told once, and again only after a write worked in between. Attached to the record journal, it
// writes each row once its status has settled.
class RecordLog : public RecordJournal::Listener {
  public:
    static constexpr size_t kMaxWaitingRows = 10'000;
    static constexpr size_t kMaxWaitingBytes = 16 << 20;
    static constexpr uint32_t kRetryMs = 5'000;

    // The timer is the log's own: its handler retries.
    RecordLog(FileAppender& files, Timer& retry_timer, std::function<void(const Text&)> tell_user);

    // The file from the next write on; waiting rows go to the new one. No path: no log, and waiting rows go.
    void SetPath(const LogPath& path);

    void Add(const LogRow& row);

    void RowAdded(RecordJournal::RowId id, const LogRow& row) override;
    void RowChanged(RecordJournal::RowId id, const LogRow& row) override;

    size_t WaitingRows() const { return waiting_.size(); }

  private:
    struct Waiting {
        LocalTime time;
        Text port;
        std::string line;
    };

    void Write();
    void Drop();

    FileAppender& files_;
    Timer& retry_timer_;
    std::function<void(const Text&)> tell_user_;
    LogPath path_;
    std::deque<Waiting> waiting_;
    size_t waiting_bytes_ = 0;
    size_t dropped_ = 0;
    Waiting last_dropped_;
    bool told_ = false;
};

}  // namespace corvanta
