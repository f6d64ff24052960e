#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/text.h"
#include "core/output_pipeline.h"
#include "core/output_settings.h"
#include "core/record_journal.h"
#include "core/serial_control.h"
#include "core/typing_queue.h"
#include "platform/ansi_code_page.h"
#include "platform/clock.h"
#include "platform/code_pages.h"
#include "platform/timer.h"

namespace corvanta {

// Received bytes on their way to the window with the focus: read from the port, made into text by the output
// pipeline, queued for typing, in the order they came. Nothing is dropped on the way without a word: bytes whose
// conversion fails are reported once and wait for the next read; text the full queue turns away waits in front of
// anything read later, and meanwhile the port is not read, so that what follows waits at the port.
//
// Every record that ends gets a row in the journal: settled at once when nothing of it is typed (no match, repeat,
// too long), otherwise waiting until the queue has typed its text, then typed, or held when it had to wait for a
// window of higher integrity.
class Relay {
  public:
    // The services outlive the relay. It takes the queue's room and typed handlers and the gap timer's handler.
    Relay(SerialControl& port,
          TypingQueue& queue,
          const AnsiCodePage& ansi,
          const CodePages& code_pages,
          Timer& record_gap_timer,
          const Clock& clock,
          RecordJournal& journal);
    ~Relay();
    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;

    // New output settings: the shaping from the next record on, the key delay and key mode at once.
    void SetSettings(const OutputSettings& settings);

    // The output encoding as records are decoded now: nullptr for UTF-8 (see OutputPipeline::CodePage).
    const AnsiCodePage* OutputCodePage() const { return pipeline_.CodePage(); }

    // The port has news (its OnComm): the text the queue turned away goes first, then one read of Input. The
    // queue's report box runs a modal loop, where the port raises OnComm again: such a call only asks for another
    // turn after the current one, so that text goes into the queue in the order it arrived.
    void Pump();

    // Runs for every record that ends, typed or not: a reply to a request, when one waits.
    void SetOnRecord(std::function<void()> handler) { on_record_ = std::move(handler); }

  private:
    void Turn();
    // The record gap has passed: what ends the open record is queued behind everything before it.
    void RecordGap_Timer();
    // Queues the records' text behind whatever the queue turned away earlier; what does not fit waits in
    // unqueued_, with the marks of the records that end in it.
    void Queue(const std::vector<RecordPart>& records);
    // A record ended: its row, and the mark that settles it once its text is typed.
    void RecordEnded(const RecordEnd& end);
    void RecordTyped(RecordJournal::RowId id, bool held);
    // Whether text or a record's end waits for room in the queue: the port is not read meanwhile.
    bool Unqueued() const { return !unqueued_.empty() || !unqueued_marks_.empty(); }

    SerialControl& port_;
    TypingQueue& queue_;
    Timer& record_gap_timer_;
    const Clock& clock_;
    RecordJournal& journal_;
    std::function<void()> on_record_;
    OutputPipeline pipeline_;
    // Bytes read whose conversion failed, tried again with the next read (a character split between reads is
    // held by the decoder).
    std::string unconverted_;
    bool conversion_failure_reported_ = false;
    // Text the queue had no room for; it goes before anything read later. The records that end in it, by offset.
    Text unqueued_;
    std::vector<TypingQueue::Mark> unqueued_marks_;
    // The rows of records whose text waits to be typed, as they will be written once it has been.
    std::map<RecordJournal::RowId, LogRow> waiting_rows_;
    bool relaying_ = false;
    bool relay_again_ = false;
    // The record gap passed while the port was not read.
    bool gap_deferred_ = false;
};

}  // namespace corvanta
