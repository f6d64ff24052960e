#include "core/relay.h"

#include <cstddef>
#include <exception>
#include <utility>

#include "common/serial_settings.h"

namespace corvanta {

Relay::Relay(SerialControl& port,
             TypingQueue& queue,
             const AnsiCodePage& ansi,
             const CodePages& code_pages,
             Timer& record_gap_timer,
             const Clock& clock,
             RecordJournal& journal)
    : port_(port),
      queue_(queue),
      record_gap_timer_(record_gap_timer),
      clock_(clock),
      journal_(journal),
      pipeline_(ansi, code_pages, record_gap_timer, clock) {
    record_gap_timer_.SetOnTimer([this] { RecordGap_Timer(); });
    queue_.SetOnRoom([this] { Pump(); });
    queue_.SetOnTyped([this](uint64_t id, bool held) { RecordTyped(id, held); });
}

Relay::~Relay() {
    queue_.SetOnTyped(nullptr);
    queue_.SetOnRoom(nullptr);
    record_gap_timer_.SetOnTimer(nullptr);
}

void Relay::SetSettings(const OutputSettings& settings) {
    pipeline_.SetSettings(settings);
    queue_.SetSettings(settings);
}

void Relay::Pump() {
    if (relaying_) {
        relay_again_ = true;
        return;
    }
    relaying_ = true;
    try {
        do {
            relay_again_ = false;
            Turn();
        } while (relay_again_);
    } catch (...) {
        relaying_ = false;
        throw;
    }
    relaying_ = false;
}

void Relay::Turn() {
    // Text the queue turned away goes first; until it has all gone in, new bytes wait at the port.
    Queue({});
    if (Unqueued()) {
        return;
    }
    // A failing read is not ours to hide: it goes to the caller, and the bytes held from earlier stay.
    const std::string read = port_.Input();
    const bool gap_passed = std::exchange(gap_deferred_, false);
    if (gap_passed && read.empty() && unconverted_.empty()) {
        // Nothing came while the port was not read: the pause was real.
        Queue(pipeline_.GapElapsed());
        return;
    }
    std::string bytes = std::exchange(unconverted_, {}) + read;
    std::vector<RecordPart> records;
    try {
        records = pipeline_.Receive(bytes);
    } catch (const std::exception& error) {
        unconverted_ = std::move(bytes);
        gap_deferred_ = gap_passed;
        if (!std::exchange(conversion_failure_reported_, true)) {
            queue_.Report(u"The bytes received on the port could not be converted to text (" + FromUtf8(error.what()) +
                          u"). They are kept and converted again with the bytes that follow.");
        }
        return;
    }
    conversion_failure_reported_ = false;
    Queue(records);
}

void Relay::RecordGap_Timer() {
    // While text waits for room the port is not read, so a pause seen from here need not be one on the line: the
    // next turn that reads decides. Bytes that wait for their conversion came before the pause and go before its
    // suffix; the timer ran from the bytes before them.
    if (Unqueued() || !unconverted_.empty()) {
        gap_deferred_ = true;
        return;
    }
    Queue(pipeline_.GapElapsed());
}

void Relay::Queue(const std::vector<RecordPart>& records) {
    // One text for the whole read, so that a scan goes to the system in one piece.
    for (const RecordPart& record : records) {
        unqueued_ += record.typed;
        if (record.end) {
            RecordEnded(*record.end);
        }
    }
    const TypingQueue::Kept kept = queue_.Enqueue(unqueued_, unqueued_marks_);
    unqueued_.erase(0, kept.units);
    unqueued_marks_.erase(unqueued_marks_.begin(), unqueued_marks_.begin() + static_cast<ptrdiff_t>(kept.marks));
    for (TypingQueue::Mark& mark : unqueued_marks_) {
        mark.offset -= kept.units;
    }
}

void Relay::RecordEnded(const RecordEnd& end) {
    LogRow row{clock_.Now(), CommPortName(port_.CommPort()), end.received, end.typed, end.status};
    if (end.status == RecordStatus::kTyped) {
        row.status = RecordStatus::kWaiting;
        const RecordJournal::RowId id = journal_.Add(row);
        waiting_rows_.emplace(id, std::move(row));
        unqueued_marks_.push_back({unqueued_.size(), id});
    } else {
        journal_.Add(row);
    }
    if (on_record_) {
        on_record_();
    }
}

void Relay::RecordTyped(RecordJournal::RowId id, bool held) {
    const auto waiting = waiting_rows_.find(id);
    if (waiting == waiting_rows_.end()) {
        return;
    }
    LogRow row = std::move(waiting->second);
    waiting_rows_.erase(waiting);
    row.status = held ? RecordStatus::kHeld : RecordStatus::kTyped;
    journal_.Change(id, row);
}

}  // namespace corvanta
