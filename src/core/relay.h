#pragma once

#include <string>

#include "common/text.h"
#include "core/output_pipeline.h"
#include "core/output_settings.h"
#include "core/serial_control.h"
#include "core/typing_queue.h"
#include "platform/ansi_code_page.h"
#include "platform/code_pages.h"
#include "platform/timer.h"

namespace corvanta {

// Received bytes on their way to the window with the focus: read from the port, made into text by the output
// pipeline, queued for typing, in the order they came. Nothing is dropped on the way without a word: bytes whose
// conversion fails are reported once and wait for the next read; text the full queue turns away waits in front of
// anything read later, and meanwhile the port is not read, so that what follows waits at the port.
class Relay {
  public:
    // The services outlive the relay. It takes the queue's room handler and the gap timer's handler.
    Relay(SerialControl& port,
          TypingQueue& queue,
          const AnsiCodePage& ansi,
          const CodePages& code_pages,
          Timer& record_gap_timer);
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

  private:
    void Turn();
    // The record gap has passed: what ends the open record is queued behind everything before it.
    void RecordGap_Timer();
    // Queues the records' text behind whatever the queue turned away earlier; what does not fit waits in
    // unqueued_.
    void Queue(const std::vector<RecordPart>& records);

    SerialControl& port_;
    TypingQueue& queue_;
    Timer& record_gap_timer_;
    OutputPipeline pipeline_;
    // Bytes read whose conversion failed, tried again with the next read (a character split between reads is
    // held by the decoder).
    std::string unconverted_;
    bool conversion_failure_reported_ = false;
    // Text the queue had no room for; it goes before anything read later.
    Text unqueued_;
    bool relaying_ = false;
    bool relay_again_ = false;
    // The record gap passed while the port was not read.
    bool gap_deferred_ = false;
};

}  // namespace corvanta
