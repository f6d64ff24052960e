// The relay over the simulated port and the real typing queue: what arrives is typed whole, in order, and nothing
// is dropped on the way.
#include "core/relay.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/record_journal.h"
#include "core/typing_queue.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_code_pages.h"
#include "fakes/fake_focus_window.h"
#include "fakes/fake_keystroke_sender.h"
#include "fakes/fake_timer.h"
#include "fakes/simulated_serial_control.h"

namespace corvanta {
namespace {

class ThrowingSender : public FakeKeystrokeSender {
  public:
    SendResult SendKeys(TextView text) override {
        if (fail_next) {
            fail_next = false;
            throw Error(u"SendInput: Access is denied.");
        }
        return FakeKeystrokeSender::SendKeys(text);
    }
    bool fail_next = false;
};

// The relay with its port open, as the main form starts it; OnComm reaches it as the form hands it on.
struct RelayRig {
    RelayRig() {
        comm.SetOnComm([this] { relay.Pump(); });
        comm.SetPortOpen(true);
    }

    // Runs the message loop of the typing queue until nothing is pending.
    void DrainTyping() {
        for (int ticks = 0; typing_timer.Pending() && ticks < 100000; ++ticks) {
            typing_timer.Fire();
        }
    }
    Text Typed() const {
        Text typed;
        for (const Text& text : keys.texts) {
            typed += text;
        }
        return typed;
    }

    FakeAnsiCodePage ansi;
    FakeCodePages code_pages;
    SimulatedSerialControl comm;
    ThrowingSender keys;
    FakeFocusWindow focus;
    FakeTimer typing_timer;
    FakeTimer record_gap_timer;
    std::vector<Text> reports;
    std::function<void()> while_report_open;
    FakeClock clock;
    RecordJournal journal;
    TypingQueue queue{keys, focus, typing_timer, [this](TextView message) {
                          reports.emplace_back(message);
                          if (while_report_open) {
                              while_report_open();
                          }
                      }};
    Relay relay{comm, queue, ansi, code_pages, record_gap_timer, clock, journal};
};

// Every OnComm reads the whole buffer once and types it as one text, in the ANSI code page.
TEST(Relay, OneReadOneText) {
    struct Case {
        const char* label;
        std::vector<std::string> pieces;  // queued before the one event
        std::vector<Text> typed;
    };
    const Case cases[] = {
        {"digits and CR", {"12345\r"}, {u"12345\r"}},
        {"arrived in pieces", {"123", "45", "\r"}, {u"12345\r"}},
        {"empty buffer", {}, {}},
        {"sender notation is not escaped", {"a+b^c%d~e{f}g[h](i)"}, {u"a+b^c%d~e{f}g[h](i)"}},
        {"bytes above 127 in Windows-1252", {"\xE9\x80\x9F\xFF"}, {u"\u00E9\u20AC\u0178\u00FF"}},
        {"Esc and LF pass, NUL is not typed", {std::string("a\0b\x1B\n", 5)}, {Text(u"ab\x1B\n")}},
    };
    for (const Case& c : cases) {
        RelayRig rig;
        for (const std::string& piece : c.pieces) {
            rig.comm.device.Write(1, piece);
        }
        ASSERT_NO_THROW(rig.comm.device.Deliver()) << c.label;
        EXPECT_EQ(rig.keys.texts, c.typed) << c.label;
        EXPECT_EQ(rig.comm.Input(), "") << c.label;
    }
}

// A double-byte character whose two bytes arrive in two reads is typed once, whole. The walk starts at the
// block's first byte, since a trail byte can look like a lead byte.
TEST(Relay, DoubleByteCharacterSplitBetweenReadsIsTypedWhole) {
    struct Case {
        const char* label;
        std::vector<std::string> reads;
        std::vector<Text> typed;
    };
    const Case cases[] = {
        {"split after the lead byte",
         {"A\x93",
          "\xFA"
          "B"},
         {u"A", u"\u65E5B"}},
        {"lead byte alone", {"\x93", "\xFA"}, {u"\u65E5"}},
        {"whole characters", {"\x93\xFA\x96\x7B"}, {u"\u65E5\u672C"}},
        {"trail byte in the lead range ends a block", {"x\x81\x81", "y"}, {u"x\u30FB", u"y"}},
        {"trail byte in the lead range, then a split", {"\x81\x81\x93", "\xFA"}, {u"\u30FB", u"\u65E5"}},
        {"half-width katakana are single bytes", {"\xB1\xB2"}, {u"\uFF71\uFF72"}},
    };
    for (const Case& c : cases) {
        RelayRig rig;
        rig.ansi.double_byte = true;
        for (const std::string& read : c.reads) {
            rig.comm.Receive(read);
        }
        EXPECT_EQ(rig.keys.texts, c.typed) << c.label;
    }
}

// A sender that refuses or fails never takes the handler down, and the text is typed once keys go in again.
TEST(Relay, SenderFailureLosesNothing) {
    const struct {
        const char* label;
        bool refuse;
        std::vector<Text> handed_over;  // to the sender, in order
    } cases[] = {
        {"refused, then typed", true, {u"kept", u"keptnext"}},
        {"failed, then typed", false, {u"keptnext"}},
    };
    for (const auto& c : cases) {
        RelayRig rig;
        rig.keys.refuse = c.refuse;
        rig.keys.fail_next = !c.refuse;
        EXPECT_NO_THROW(rig.comm.Receive("kept")) << c.label;
        rig.comm.Receive("next");
        rig.keys.refuse = false;
        rig.DrainTyping();
        EXPECT_EQ(rig.keys.texts, c.handed_over) << c.label;
        EXPECT_EQ(rig.reports.size(), 1u) << c.label;
    }
}

// Nothing received is dropped without a word: bytes that fail to convert are reported once and converted again
// with the next read; text the full queue turns away waits, and the port's bytes behind it, until there is room;
// bytes that arrive while a report is open keep their place. While the port is not read, a pause is not taken for
// the end of a record: its suffix comes after the bytes that waited.
TEST(Relay, TextThatCannotGoOnYetIsKeptInOrder) {
    const Text big = Text(kTypingQueueLimit + 700, u'x');
    const struct {
        const char* label;
        bool fail_conversion;  // of the first read
        std::string first;
        const char* during_report;  // arrives while the report is open
        bool typed_before_more;     // the queue drains before more bytes arrive: the pause was real
    } kCases[] = {
        {"conversion failed", true, "12", "", false},
        {"queue full", false, std::string(big.begin(), big.end()), "", false},
        {"queue full, bytes during its report", false, std::string(big.begin(), big.end()), "5", false},
        {"queue full, then a pause", false, std::string(big.begin(), big.end()), "", true},
    };
    for (const auto& c : kCases) {
        RelayRig rig;
        OutputSettings settings;
        settings.suffix = u"|";
        rig.relay.SetSettings(settings);
        rig.ansi.fail_to_text = c.fail_conversion;
        rig.while_report_open = [&rig, &c] {
            if (*c.during_report != '\0') {
                rig.comm.Receive(c.during_report);
            }
        };
        const auto pause = [&rig] {
            if (rig.record_gap_timer.Pending()) {
                rig.record_gap_timer.Fire();
            }
        };
        rig.comm.Receive(c.first);
        pause();
        if (c.typed_before_more) {
            rig.DrainTyping();
        }
        rig.comm.Receive("3");
        rig.ansi.fail_to_text = false;
        rig.comm.Receive("4");
        pause();
        rig.DrainTyping();
        pause();
        rig.DrainTyping();

        const std::string expected = c.first + c.during_report + (c.typed_before_more ? "|" : "") + "34|";
        EXPECT_TRUE(rig.Typed() == Text(expected.begin(), expected.end()))
            << c.label << ": " << rig.Typed().size() << " of " << expected.size() << " units typed, or out of order";
        EXPECT_EQ(rig.reports.size(), 1u) << c.label;
        EXPECT_EQ(rig.comm.Input(), "") << c.label;
    }
}

// A pause that passes while bytes wait for their conversion comes too late for them: they arrived before it, so
// the suffix goes after them, and a pause is only taken as one once no byte waits.
TEST(Relay, APauseWhileBytesWaitForTheirConversion) {
    const struct {
        const char* label;
        std::vector<std::string> steps;  // "!": conversions fail from here, "=": they work again, "": a pause
        const char* typed;
    } kCases[] = {
        {"bytes after the pause", {"12", "!", "3", "", "=", "4", ""}, "1234|"},
        {"a line end after the pause", {"12", "!", "3", "", "=", "\r"}, "123|\r"},
        {"a pause once they are text", {"12", "!", "3", "=", "4", ""}, "1234|"},
    };
    for (const auto& c : kCases) {
        RelayRig rig;
        OutputSettings settings;
        settings.suffix = u"|";
        rig.relay.SetSettings(settings);
        for (const std::string& step : c.steps) {
            if (step == "!" || step == "=") {
                rig.ansi.fail_to_text = step == "!";
            } else if (step.empty()) {
                if (rig.record_gap_timer.Pending()) {
                    rig.record_gap_timer.Fire();
                }
            } else {
                rig.comm.Receive(step);
            }
        }
        rig.DrainTyping();
        EXPECT_EQ(ToUtf8(rig.Typed()), c.typed) << c.label;
    }
}

// The journal's rows as a listener sees them: "added" or "changed", the status, the port, received | typed.
struct Rows : RecordJournal::Listener {
    void RowAdded(RecordJournal::RowId, const LogRow& row) override { Note("added", row); }
    void RowChanged(RecordJournal::RowId, const LogRow& row) override { Note("changed", row); }
    void Note(const std::string& what, const LogRow& row) {
        seen.push_back(what + " " + ToUtf8(StatusText(row.status)) + " " + ToUtf8(row.port) + " " +
                       ToUtf8(row.received) + " | " + ToUtf8(row.typed));
        times.push_back(row.time);
    }
    std::vector<std::string> seen;
    std::vector<LocalTime> times;
};

// Every record that ends gets its row: waiting while its text is in the queue, then typed, or held when it had to
// wait for a window of higher integrity; one that types nothing is settled at once. Every record, typed or not, ends
// the wait of a request.
TEST(Relay, EveryRecordGetsARow) {
    OutputSettings balance;
    balance.extract = ExtractPattern(u"^S S +(\\S+)");
    const struct {
        const char* label;
        OutputSettings settings;
        bool elevated;  // a window of higher integrity has the focus until the drain
        std::vector<std::string> reads;
        std::vector<std::string> rows;   // before the drain
        std::vector<std::string> later;  // after it
    } cases[] = {
        {"typed at once",
         {},
         false,
         {"12\r\n3", "4\r"},
         {"added waiting COM1 12\\r\\n | 12\\r", "changed typed COM1 12\\r\\n | 12\\r",
          "added waiting COM1 34\\r | 34\\r", "changed typed COM1 34\\r | 34\\r"},
         {}},
        {"held for an elevated window",
         {},
         true,
         {"12\r"},
         {"added waiting COM1 12\\r | 12\\r"},
         {"changed held COM1 12\\r | 12\\r"}},
        {"nothing to type",
         balance,
         false,
         {"S D 1 g\r", "S S 2 g\r"},
         {"added no match COM1 S D 1 g\\r | ", "added waiting COM1 S S 2 g\\r | 2\\r",
          "changed typed COM1 S S 2 g\\r | 2\\r"},
         {}},
    };
    for (const auto& c : cases) {
        RelayRig rig;
        Rows rows;
        rig.journal.Attach(rows);
        int records = 0;
        rig.relay.SetOnRecord([&records] { ++records; });
        rig.relay.SetSettings(c.settings);
        rig.focus.elevated = c.elevated;
        for (const std::string& read : c.reads) {
            rig.comm.Receive(read);
            rig.clock.Advance(10);
        }
        EXPECT_EQ(rows.seen, c.rows) << c.label;
        rows.seen.clear();
        rig.focus.elevated = false;
        rig.DrainTyping();
        EXPECT_EQ(rows.seen, c.later) << c.label;
        EXPECT_EQ(records, static_cast<int>(c.reads.size())) << c.label;
        ASSERT_FALSE(rows.times.empty()) << c.label;
        EXPECT_EQ(rows.times[0], FakeClock().now) << c.label << ": the row's time is when the record ended";
    }
}

// Beyond the records the queue takes, the rest of a read waits in the relay with its records' ends, and the port
// waits behind it; every row settles once its text is typed, in order.
TEST(Relay, RecordsBeyondTheQueuesLimitWaitInOrder) {
    RelayRig rig;
    size_t typed_rows = 0;
    struct Count : RecordJournal::Listener {
        explicit Count(size_t& typed) : typed_(typed) {}
        void RowAdded(RecordJournal::RowId, const LogRow&) override {}
        void RowChanged(RecordJournal::RowId, const LogRow& row) override {
            typed_ += row.status == RecordStatus::kTyped;
        }
        size_t& typed_;
    } count(typed_rows);
    rig.journal.Attach(count);
    rig.focus.own = true;
    std::string many;
    for (size_t i = 0; i < kTypingQueueRecordLimit + 2; ++i) {
        many += "7\r";
    }
    rig.comm.Receive(many);
    rig.comm.Receive("8\r");
    EXPECT_EQ(rig.comm.InBufferCount(), 2u) << "the port is read while records wait in the relay";
    rig.focus.own = false;
    rig.DrainTyping();
    rig.DrainTyping();
    EXPECT_EQ(typed_rows, kTypingQueueRecordLimit + 3);
    EXPECT_TRUE(rig.Typed() == Text(many.begin(), many.end()) + u"8\r") << "typed out of order or not whole";
}

// The settings reach both the shaping and the typing: the suffix at the end of a record, the key mode at once.
TEST(Relay, SettingsReachThePipelineAndTheQueue) {
    RelayRig rig;
    OutputSettings settings;
    settings.prefix = u"<";
    settings.suffix = u">";
    settings.key_mode = KeyMode::kUnicode;
    rig.relay.SetSettings(settings);
    EXPECT_EQ(rig.keys.key_mode, KeyMode::kUnicode);
    rig.comm.Receive("A1");
    rig.record_gap_timer.Fire();
    EXPECT_EQ(rig.keys.texts, (std::vector<Text>{u"<A1", u">"}));
}

}  // namespace
}  // namespace corvanta
