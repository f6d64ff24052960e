// The output pipeline over whatever a device sends, cut into reads anywhere: with any settings, changed between
// any two bytes, and pauses of the record gap between them, the text to type and the records are the same as when
// each piece between two events came in one read; the gap timer runs after the same bytes; a gap while no record
// is open changes nothing, nor one where the record has no prefix or suffix to type; and what the pipeline holds
// back is never more than one incomplete character: the received text is always the decoding of all bytes but
// those of it.
//
// Input: a flags byte (bit 0: a double-byte ANSI code page; bit 1: gaps also where the record has no prefix or
// suffix, which end records without changing the text), a u32 seed for where reads are cut, the settings, then
// the events (output_stream.h).

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/output_pipeline.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_code_pages.h"
#include "fakes/fake_timer.h"
#include "fuzz_support.h"
#include "output_stream.h"

using corvanta::OutputSettings;
using corvanta::RecordPart;
using corvanta::Text;
using corvanta::fuzz::Difference;
using corvanta::fuzz::Shown;
using corvanta::fuzz::ShownBytes;
using corvanta::fuzz::StreamEvent;
using corvanta::fuzz::Tail;

namespace {

struct Record {
    Text received;
    Text typed;
    bool operator==(const Record&) const = default;
};

// A pipeline and what it gave so far.
struct Run {
    Run(const corvanta::AnsiCodePage& ansi, const corvanta::CodePages& code_pages)
        : pipeline(ansi, code_pages, timer, clock) {}

    void Take(const std::vector<RecordPart>& parts) {
        for (const RecordPart& part : parts) {
            received += part.received;
            typed += part.typed;
            open.received += part.received;
            open.typed += part.typed;
            if (part.end) {
                records.push_back(std::exchange(open, {}));
            }
        }
    }
    // The record gap passes, if the pipeline timed one.
    bool Pause() {
        if (!timer.Pending()) {
            return false;
        }
        timer.Fire();
        Take(pipeline.GapElapsed());
        return true;
    }

    corvanta::FakeTimer timer;
    corvanta::FakeClock clock;
    corvanta::OutputPipeline pipeline;
    Text received;
    Text typed;
    std::vector<Record> records;
    Record open;
};

// The last few records and the open one.
std::string ShownRecords(const std::vector<Record>& records, const Record& open) {
    std::string shown = std::to_string(records.size()) + " records ...";
    for (size_t i = records.size() < 4 ? 0 : records.size() - 4; i < records.size(); ++i) {
        const Record& record = records[i];
        shown += "{" + Shown(record.received) + " " + Shown(record.typed) + "}";
    }
    return shown + "{" + Shown(open.received) + " " + Shown(open.typed) + " open}";
}

// What the reference run gave at the end of an event.
struct Mark {
    size_t typed = 0;
    std::vector<Record> records;
    Record open;
    bool gap_timed = false;
};

// The received text as decoded from the bytes alone: all of them but an incomplete character at the end, which
// may wait for the next read (up to `most_held` bytes), line ends left out.
class DecodingOracle {
  public:
    DecodingOracle(uint32_t code_page, const corvanta::FakeAnsiCodePage& ansi) {
        if (code_page == corvanta::kUtf8CodePage) {
            most_held_ = 3;
            utf8_ = true;
            return;
        }
        code_page_.double_byte = code_page == 932 || ((code_page == 0 || code_page == 437) && ansi.double_byte);
        most_held_ = code_page_.double_byte ? 1 : 0;
    }

    void Check(const std::string& bytes, const Text& received) {
        for (size_t held = 0; held <= most_held_ && held <= bytes.size() - base_bytes_; ++held) {
            const std::string_view taken =
                std::string_view(bytes).substr(base_bytes_, bytes.size() - held - base_bytes_);
            Text decoded = utf8_ ? corvanta::FromUtf8(taken) : code_page_.ToText(taken);
            std::erase_if(decoded, [](char16_t unit) { return unit == u'\r' || unit == u'\n'; });
            if (received.size() == base_text_ + decoded.size() &&
                received.compare(base_text_, Text::npos, decoded) == 0) {
                if (held == 0) {
                    Settle(bytes, received);
                }
                return;
            }
        }
        FUZZ_CHECK(false, "after " + std::to_string(bytes.size()) + " bytes ..." +
                              ShownBytes(bytes.substr(base_bytes_).substr(0, 64)) + " the received text is ..." +
                              Shown(Text(received.substr(base_text_).substr(0, 64))) +
                              ": not their decoding less at most " + std::to_string(most_held_) + " held bytes");
    }
    // Everything so far is text: what comes next is decoded from here.
    void Settle(const std::string& bytes, const Text& received) {
        base_bytes_ = bytes.size();
        base_text_ = received.size();
    }

  private:
    corvanta::FakeAnsiCodePage code_page_;
    bool utf8_ = false;
    size_t most_held_ = 0;
    size_t base_bytes_ = 0;
    size_t base_text_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvanta::fuzz::Reader input(data, size);
    const uint8_t flags = input.U8();
    corvanta::fuzz::Choices choices(input.U32());
    const OutputSettings first = corvanta::fuzz::ReadSettings(input);
    const std::vector<StreamEvent> events = corvanta::fuzz::ReadEvents(input);

    corvanta::FakeAnsiCodePage ansi;
    ansi.double_byte = (flags & 1) != 0;
    corvanta::FakeCodePages code_pages;
    bool settings_change = false;
    bool one_code_page = true;
    for (const StreamEvent& event : events) {
        if (event.kind == StreamEvent::Kind::kSettings) {
            settings_change = true;
            one_code_page = one_code_page && event.settings.code_page == first.code_page;
        }
    }
    // Gaps that change no text: the record has nothing around it, and no new settings wait for its end.
    const bool quiet_gaps = (flags & 2) != 0 && !settings_change && first.prefix.empty() && first.suffix.empty();

    // Each piece between two events in one read.
    Run whole(ansi, code_pages);
    whole.pipeline.SetSettings(first);
    std::vector<Mark> marks;
    for (const StreamEvent& event : events) {
        Mark mark;
        switch (event.kind) {
            case StreamEvent::Kind::kBytes:
                whole.Take(whole.pipeline.Receive(event.bytes));
                break;
            case StreamEvent::Kind::kPause:
                mark.gap_timed = whole.Pause();
                break;
            case StreamEvent::Kind::kSettings:
                whole.pipeline.SetSettings(event.settings);
                break;
        }
        mark.typed = whole.typed.size();
        mark.records = whole.records;
        mark.open = whole.open;
        marks.push_back(std::move(mark));
    }
    whole.Pause();

    // The same cut into reads anywhere, with gaps that change nothing between them.
    Run cut(ansi, code_pages);
    cut.pipeline.SetSettings(first);
    std::optional<DecodingOracle> oracle;
    if (one_code_page) {
        oracle.emplace(first.code_page, ansi);
    }
    std::string stream;
    std::string history;  // for the failure message: the reads and gaps so far
    for (size_t e = 0; e < events.size(); ++e) {
        const StreamEvent& event = events[e];
        switch (event.kind) {
            case StreamEvent::Kind::kBytes: {
                // Empty reads too: an OnComm whose bytes an earlier read took.
                size_t at = 0;
                do {
                    const size_t length = choices.ReadLength(event.bytes.size() - at);
                    const std::string read = event.bytes.substr(at, length);
                    at += length;
                    history += ShownBytes(read);
                    stream += read;
                    cut.Take(cut.pipeline.Receive(read));
                    if (oracle) {
                        oracle->Check(stream, cut.received);
                    }
                    if (!cut.timer.Pending() && choices.OneIn(4)) {
                        history += "(idle gap)";
                        const std::vector<RecordPart> parts = cut.pipeline.GapElapsed();
                        FUZZ_CHECK(parts.empty(), "a gap with no record open gave " + std::to_string(parts.size()) +
                                                      " parts after " + Tail(history));
                    } else if (quiet_gaps && choices.OneIn(3) && cut.Pause()) {
                        history += "(gap)";
                        if (oracle) {
                            oracle->Check(stream, cut.received);
                        }
                    }
                } while (at < event.bytes.size());
                break;
            }
            case StreamEvent::Kind::kPause: {
                history += "(pause)";
                const size_t received = cut.received.size();
                const bool timed = cut.Pause();
                FUZZ_CHECK(quiet_gaps || timed == marks[e].gap_timed,
                           std::string("the gap timer ") + (timed ? "ran" : "was idle") + " after " + Tail(history) +
                               ", not as after the whole pieces");
                if (oracle && cut.received.size() != received) {
                    // A pause ends a character cut short: it is typed as one U+FFFD in its record.
                    FUZZ_CHECK(
                        cut.received.substr(received) == u"\uFFFD",
                        "a pause gave " + Shown(Text(cut.received.substr(received))) + " after " + Tail(history));
                    oracle->Settle(stream, cut.received);
                }
                break;
            }
            case StreamEvent::Kind::kSettings:
                history += "(settings)";
                cut.pipeline.SetSettings(event.settings);
                break;
        }
        const Mark& mark = marks[e];
        FUZZ_CHECK(cut.typed == whole.typed.substr(0, mark.typed),
                   "after " + Tail(history) + " typed " + Difference(cut.typed, whole.typed.substr(0, mark.typed)) +
                       " as from the whole pieces");
        FUZZ_CHECK(quiet_gaps || (cut.records == mark.records && cut.open == mark.open),
                   "after " + Tail(history) + " the records " + ShownRecords(cut.records, cut.open) + ", not " +
                       ShownRecords(mark.records, mark.open) + " as from the whole pieces");
    }
    cut.Pause();
    FUZZ_CHECK(cut.typed == whole.typed,
               "after " + Tail(history) + " typed " + Difference(cut.typed, whole.typed) + " in the end");
    return 0;
}
