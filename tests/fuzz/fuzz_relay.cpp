// The relay between the port and the typing over whatever a device sends: bytes that reach the port in any pieces,
// read by one OnComm or several (also inside the queue's report boxes), while the typing goes on tick by tick, the
// system now and then refuses keystrokes, our own window or a window of higher rights takes the focus, and the
// conversion of the ANSI code page now and then fails. Once all has been typed, the text is exactly what the
// output pipeline makes of the same bytes, settings and pauses in whole pieces: nothing lost, doubled or out of
// order, nothing left waiting in the queue or at the port, and every record's row in the journal settled.
//
// Input: a flags byte (bit 0: a double-byte ANSI code page), a u32 seed for the pieces and the mishaps, the
// settings, then the events (output_stream.h). Conversions fail only where the record gap changes no text (no
// prefix or suffix, no new settings): a pause while bytes wait for their conversion cannot be placed.

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "core/output_pipeline.h"
#include "core/record_journal.h"
#include "core/relay.h"
#include "core/typing_queue.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_code_pages.h"
#include "fakes/fake_focus_window.h"
#include "fakes/fake_keystroke_sender.h"
#include "fakes/fake_timer.h"
#include "fakes/simulated_serial_control.h"
#include "fuzz_support.h"
#include "output_stream.h"

using corvanta::OutputSettings;
using corvanta::RecordPart;
using corvanta::Text;
using corvanta::TextView;
using corvanta::fuzz::Choices;
using corvanta::fuzz::Difference;
using corvanta::fuzz::ShownBytes;
using corvanta::fuzz::StreamEvent;
using corvanta::fuzz::Tail;

namespace {

// Keeps what the system took: a refusing sender takes nothing.
class Sender : public corvanta::FakeKeystrokeSender {
  public:
    corvanta::SendResult SendKeys(TextView text) override {
        if (!refuse) {
            typed += text;
        }
        return FakeKeystrokeSender::SendKeys(text);
    }
    Text typed;
};

// What the pipeline makes of the events, each piece of bytes in one read.
Text Reference(const corvanta::AnsiCodePage& ansi,
               const corvanta::CodePages& code_pages,
               const OutputSettings& first,
               const std::vector<StreamEvent>& events) {
    corvanta::FakeTimer timer;
    corvanta::FakeClock clock;
    corvanta::OutputPipeline pipeline(ansi, code_pages, timer, clock);
    pipeline.SetSettings(first);
    Text typed;
    const auto take = [&typed](const std::vector<RecordPart>& parts) {
        for (const RecordPart& part : parts) {
            typed += part.typed;
        }
    };
    for (const StreamEvent& event : events) {
        switch (event.kind) {
            case StreamEvent::Kind::kBytes:
                take(pipeline.Receive(event.bytes));
                break;
            case StreamEvent::Kind::kPause:
                if (timer.Pending()) {
                    timer.Fire();
                    take(pipeline.GapElapsed());
                }
                break;
            case StreamEvent::Kind::kSettings:
                pipeline.SetSettings(event.settings);
                break;
        }
    }
    // The relay's last OnComm reads nothing.
    take(pipeline.Receive(""));
    if (timer.Pending()) {
        timer.Fire();
        take(pipeline.GapElapsed());
    }
    return typed;
}

// The journal's rows as they stand: whether each has settled.
struct Rows : corvanta::RecordJournal::Listener {
    void RowAdded(corvanta::RecordJournal::RowId id, const corvanta::LogRow& row) override { status[id] = row.status; }
    void RowChanged(corvanta::RecordJournal::RowId id, const corvanta::LogRow& row) override {
        status[id] = row.status;
    }
    size_t Waiting() const {
        return static_cast<size_t>(std::count_if(status.begin(), status.end(),
                                                 [](const auto& row) { return !corvanta::IsSettled(row.second); }));
    }
    std::map<corvanta::RecordJournal::RowId, corvanta::RecordStatus> status;
};

// The relay as the main form runs it, over the simulated port and the real typing queue.
struct Rig {
    explicit Rig(uint64_t seed) : choices(seed) {
        journal.Attach(rows);
        comm.SetOnComm([this] { relay.Pump(); });
        comm.SetPortOpen(true);
    }

    // What the reader took reaches the UI thread: one OnComm.
    void Deliver() {
        history += "(read)";
        comm.device.Deliver();
    }
    // The message loop runs a while: a few typing ticks.
    void Ticks(uint64_t count) {
        for (; count > 0 && typing_timer.Pending(); --count) {
            typing_timer.Fire();
        }
    }
    // Now and then something goes wrong for a while, or right again.
    void Mishaps(bool conversions_may_fail) {
        if (choices.OneIn(16)) {
            keys.refuse = !keys.refuse;
            history += keys.refuse ? "(refused)" : "(accepted)";
        }
        if (choices.OneIn(16)) {
            focus.own = !focus.own;
            history += focus.own ? "(own focus)" : "(focus back)";
        }
        if (choices.OneIn(24)) {
            focus.elevated = !focus.elevated;
            history += focus.elevated ? "(elevated focus)" : "(focus back)";
        }
        if (conversions_may_fail && choices.OneIn(12)) {
            ansi.fail_to_text = !ansi.fail_to_text;
            history += ansi.fail_to_text ? "(conversions fail)" : "(conversions work)";
        }
    }
    void AllWell() {
        keys.refuse = false;
        focus.own = false;
        focus.elevated = false;
        ansi.fail_to_text = false;
    }

    corvanta::FakeAnsiCodePage ansi;
    corvanta::FakeCodePages code_pages;
    corvanta::SimulatedSerialControl comm;
    Sender keys;
    corvanta::FakeFocusWindow focus;
    corvanta::FakeTimer typing_timer;
    corvanta::FakeTimer record_gap_timer;
    corvanta::FakeClock clock;
    corvanta::RecordJournal journal;
    Rows rows;
    Choices choices;
    std::string history;
    size_t reports = 0;
    // A report's box runs a modal loop, where the port raises OnComm.
    corvanta::TypingQueue queue{keys, focus, typing_timer, [this](TextView) {
                                    ++reports;
                                    history += "(report)";
                                    if (choices.OneIn(2)) {
                                        Deliver();
                                    }
                                }};
    corvanta::Relay relay{comm, queue, ansi, code_pages, record_gap_timer, clock, journal};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvanta::fuzz::Reader input(data, size);
    const uint8_t flags = input.U8();
    const uint32_t seed = input.U32();
    const OutputSettings first = corvanta::fuzz::ReadSettings(input);
    const std::vector<StreamEvent> events = corvanta::fuzz::ReadEvents(input);

    Rig rig(seed);
    rig.ansi.double_byte = (flags & 1) != 0;
    bool settings_change = false;
    for (const StreamEvent& event : events) {
        settings_change = settings_change || event.kind == StreamEvent::Kind::kSettings;
    }
    const bool quiet_gaps = !settings_change && first.prefix.empty() && first.suffix.empty();
    const Text expected = Reference(rig.ansi, rig.code_pages, first, events);

    rig.relay.SetSettings(first);
    for (const StreamEvent& event : events) {
        switch (event.kind) {
            case StreamEvent::Kind::kBytes:
                if (event.bytes.empty()) {
                    // An OnComm whose bytes an earlier one took.
                    rig.history += "(empty read)";
                    rig.relay.Pump();
                }
                for (size_t at = 0; at < event.bytes.size();) {
                    const size_t length = std::max<size_t>(1, rig.choices.ReadLength(event.bytes.size() - at));
                    const std::string piece = event.bytes.substr(at, length);
                    at += length;
                    rig.history += ShownBytes(piece);
                    rig.comm.device.Write(1, piece);
                    if (!rig.choices.OneIn(4)) {
                        rig.Deliver();
                    }
                    rig.Ticks(rig.choices.Next() % 4);
                    rig.Mishaps(quiet_gaps);
                    if (quiet_gaps && rig.record_gap_timer.Pending() && rig.choices.OneIn(4)) {
                        rig.history += "(gap)";
                        rig.record_gap_timer.Fire();
                    }
                }
                break;
            case StreamEvent::Kind::kPause:
                // What came before the pause reached the UI thread before the gap passed.
                rig.Deliver();
                if (rig.record_gap_timer.Pending()) {
                    rig.history += "(pause)";
                    rig.record_gap_timer.Fire();
                }
                break;
            case StreamEvent::Kind::kSettings:
                rig.Deliver();
                rig.history += "(settings)";
                rig.relay.SetSettings(event.settings);
                break;
        }
    }
    // All goes well again; the last bytes are read, the last record ends, and the message loop runs until the
    // queue is empty.
    rig.AllWell();
    rig.history += "(all well)";
    rig.Deliver();
    // Bytes whose conversion failed wait for the next OnComm.
    rig.relay.Pump();
    if (rig.record_gap_timer.Pending()) {
        rig.history += "(pause)";
        rig.record_gap_timer.Fire();
    }
    rig.Ticks(expected.size() + 1000);

    FUZZ_CHECK(rig.keys.typed == expected,
               "after " + Tail(rig.history) + " typed " + Difference(rig.keys.typed, expected));
    FUZZ_CHECK(rig.queue.Waiting().empty() && !rig.typing_timer.Pending(),
               "after " + Tail(rig.history) + " the queue still holds " + std::to_string(rig.queue.Waiting().size()) +
                   " units");
    FUZZ_CHECK(rig.comm.Input().empty(), "after " + Tail(rig.history) + " bytes wait at the port");
    FUZZ_CHECK(rig.rows.Waiting() == 0, "after " + Tail(rig.history) + " " + std::to_string(rig.rows.Waiting()) +
                                            " of the journal's rows still wait though all is typed");
    return 0;
}
