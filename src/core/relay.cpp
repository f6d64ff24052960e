#include "core/relay.h"

#include <exception>
#include <utility>

namespace corvanta {

Relay::Relay(SerialControl& port,
             TypingQueue& queue,
             const AnsiCodePage& ansi,
             const CodePages& code_pages,
             Timer& record_gap_timer)
    : port_(port), queue_(queue), record_gap_timer_(record_gap_timer), pipeline_(ansi, code_pages, record_gap_timer) {
    record_gap_timer_.SetOnTimer([this] { RecordGap_Timer(); });
    queue_.SetOnRoom([this] { Pump(); });
}

Relay::~Relay() {
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
    if (!unqueued_.empty()) {
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
    if (!unqueued_.empty() || !unconverted_.empty()) {
        gap_deferred_ = true;
        return;
    }
    Queue(pipeline_.GapElapsed());
}

void Relay::Queue(const std::vector<RecordPart>& records) {
    // One text for the whole read, so that a scan goes to the system in one piece.
    for (const RecordPart& record : records) {
        unqueued_ += record.typed;
    }
    unqueued_.erase(0, queue_.Enqueue(unqueued_));
}

}  // namespace corvanta
