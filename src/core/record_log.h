#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "common/text.h"
#include "core/log_path.h"
#include "platform/ansi_code_page.h"
#include "platform/clock.h"
#include "platform/file_appender.h"
#include "platform/timer.h"

namespace corvanta {

// What became of a record, as the log and the Monitor show it.
enum class RecordStatus : uint8_t {
    kTyped,
    kNoMatch,  // Extract found nothing (or gave up)
    kRepeat,   // RepeatGap held it back
    kHeld,     // an elevated window had the focus
    kTooLong,  // longer than Extract searches
    kNoReply,  // a row of its own: a request that got no record in time
    kWaiting,  // the Monitor only: still in the typing queue
};

// "typed", "no match", "repeat", "held", "too long", "no reply", "waiting".
Text StatusText(RecordStatus status);

// One row of the log and of the Monitor.
struct LogRow {
    LocalTime time;
    Text port;      // "COM3"
    Text received;  // ReceivedField of the record's bytes; empty for "no reply"
    Text typed;     // TypedField of the text typed, prefix and suffix included
    RecordStatus status = RecordStatus::kTyped;
    bool operator==(const LogRow&) const = default;
};

// Longer records and texts are shown cut, with how much more there was, so that one row stays a size a spreadsheet
// cell takes and rows waiting in memory stay small.
inline constexpr size_t kMaxShownBytes = 4096;

// The received column: the bytes as EscapeReceived shows them, at most kMaxShownBytes, then "…(+N bytes)".
Text ReceivedField(std::string_view bytes, const AnsiCodePage* code_page);
// The typed column: the text as EscapeTyped shows it, at most kMaxShownBytes units, then "…(+N characters)".
Text TypedField(TextView typed);

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
// retry. The user is told once, and again only after a write worked in between.
class RecordLog {
  public:
    static constexpr size_t kMaxWaitingRows = 10'000;
    static constexpr size_t kMaxWaitingBytes = 16 << 20;
    static constexpr uint32_t kRetryMs = 5'000;

    // The timer is the log's own: its handler retries.
    RecordLog(FileAppender& files, Timer& retry_timer, std::function<void(const Text&)> tell_user);

    // The file from the next write on; waiting rows go to the new one. No path: no log, and waiting rows go.
    void SetPath(const LogPath& path);

    void Add(const LogRow& row);

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
