#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/typing_queue.h"
#include "fakes/fake_focus_window.h"
#include "fakes/fake_keystroke_sender.h"
#include "fakes/fake_timer.h"

namespace corvanta {
namespace {

// The focused window: what it got as keystrokes. A refusing system leaves it untouched; `accept_events` makes
// the next call accept only that many events (a call the system took in part).
class Target : public KeystrokeSender {
  public:
    SendResult SendKeys(TextView text) override {
        SendResult result = sender.SendKeys(text);
        if (accept_events >= 0) {
            result.accepted = std::min(result.accepted, static_cast<size_t>(accept_events));
            typed.append(text.substr(0, result.accepted));
            accept_events = -1;
        } else if (result.accepted == result.events) {
            typed.append(text);
        }
        return result;
    }
    void SetKeyMode(KeyMode mode) override { sender.SetKeyMode(mode); }

    FakeKeystrokeSender sender;
    Text typed;
    long accept_events = -1;
};

Text Letters(size_t count, size_t seed = 0) {
    Text text;
    for (size_t i = 0; i < count; ++i) {
        text.push_back(static_cast<char16_t>(u'!' + (i * 7 + seed) % 94));
    }
    return text;
}

std::string Narrow(TextView text) {
    return std::string(text.begin(), text.end());
}

struct Rig {
    // Runs the message loop until no tick is pending (or a sanity bound is hit).
    void Drain() {
        for (int ticks = 0; timer.Pending() && ticks < 100000; ++ticks) {
            timer.Fire();
        }
    }

    Target target;
    FakeFocusWindow focus;
    FakeTimer timer;
    std::vector<Text> warnings;
    std::function<void()> while_warning_open;
    TypingQueue queue{target, focus, timer, [this](TextView message) {
                          warnings.emplace_back(message);
                          if (while_warning_open) {
                              while_warning_open();
                          }
                      }};
};

TEST(TypingQueue, AScanIsTypedAtOnce) {
    Rig rig;
    rig.queue.Enqueue(u"12345\r");
    EXPECT_EQ(rig.target.typed, u"12345\r");
    EXPECT_FALSE(rig.timer.Pending());
    EXPECT_TRUE(rig.warnings.empty());
}

// However the text arrives, all of it is typed in order, in bounded calls, one block per tick, without a word.
TEST(TypingQueue, EverythingIsTypedInOrderInBoundedBlocks) {
    const struct {
        const char* arrival;
        std::vector<size_t> pieces;
    } kCases[] = {
        {"one block exactly", {kTypingBlock}},
        {"one piece of five blocks and a bit", {kTypingBlock * 5 + 3}},
        {"small pieces faster than one block per tick", std::vector<size_t>(200, 13)},
        {"a big piece, then small ones while it waits", {kTypingBlock * 3, 1, 2, 700, 5}},
        {"a whole queue at once", {kTypingQueueLimit}},
    };
    for (const auto& c : kCases) {
        Rig rig;
        Text sent;
        for (size_t i = 0; i < c.pieces.size(); ++i) {
            const Text piece = Letters(c.pieces[i], i);
            sent += piece;
            rig.queue.Enqueue(piece);
            // The loop turns once between two arrivals.
            if (rig.timer.Pending()) {
                rig.timer.Fire();
            }
        }
        rig.Drain();
        EXPECT_TRUE(rig.target.typed == sent)
            << c.arrival << ": " << rig.target.typed.size() << " of " << sent.size() << " units typed, or out of order";
        EXPECT_TRUE(rig.warnings.empty()) << c.arrival;
        for (const Text& call : rig.target.sender.texts) {
            ASSERT_LE(call.size(), kTypingBlock) << c.arrival;
        }
        EXPECT_TRUE(rig.queue.Waiting().empty()) << c.arrival;
    }
}

TEST(TypingQueue, ASurrogatePairIsNeverSplitBetweenBlocks) {
    Rig rig;
    Text text = Letters(kTypingBlock - 1) + u"\U0001F600" + Letters(10);
    rig.queue.Enqueue(text);
    rig.Drain();
    EXPECT_EQ(rig.target.typed, text);
    for (const Text& call : rig.target.sender.texts) {
        EXPECT_FALSE(call.back() >= 0xD800 && call.back() <= 0xDBFF) << "a block ends in half a pair";
    }
}

// What does not fit is the caller's to keep: the count says how much went in, the room handler when to offer the
// rest again.
TEST(TypingQueue, AFullQueueKeepsWhatFitsAndSaysSoOncePerEpisode) {
    Rig rig;
    int room_calls = 0;
    rig.queue.SetOnRoom([&room_calls] { ++room_calls; });
    // The first block is typed at once; the second text fills the queue to the limit exactly.
    const Text first = Letters(kTypingQueueLimit) + Letters(kTypingBlock, 1);
    EXPECT_EQ(rig.queue.Enqueue(TextView(first).substr(0, kTypingQueueLimit)), kTypingQueueLimit);
    EXPECT_EQ(rig.queue.Enqueue(TextView(first).substr(kTypingQueueLimit)), kTypingBlock);
    ASSERT_TRUE(rig.warnings.empty());

    EXPECT_EQ(rig.queue.Enqueue(u"turned away"), 0u);
    ASSERT_EQ(rig.warnings.size(), 1u);
    EXPECT_NE(Narrow(rig.warnings[0]).find("waits"), std::string::npos) << Narrow(rig.warnings[0]);
    rig.queue.Enqueue(u"turned away too");
    EXPECT_EQ(rig.warnings.size(), 1u) << "a second report in the same episode";

    for (int ticks = 0; room_calls == 0 && rig.timer.Pending(); ++ticks) {
        rig.timer.Fire();
    }
    EXPECT_EQ(room_calls, 1);
    EXPECT_LE(rig.queue.Waiting().size(), kTypingQueueLimit / 2) << "room offered before half the queue was typed";
    rig.Drain();
    EXPECT_EQ(room_calls, 1) << "room offered again though nothing was turned away since";
    EXPECT_TRUE(rig.target.typed == first) << "what fitted was not typed whole and in order";

    // Caught up: the next overflow is a new episode.
    rig.queue.Enqueue(Letters(kTypingQueueLimit + kTypingBlock + 1));
    EXPECT_EQ(rig.warnings.size(), 2u);
}

TEST(TypingQueue, RefusedTextIsKeptReportedOnceAndTypedWhenTheSystemTakesItAgain) {
    Rig rig;
    rig.target.sender.refuse = true;
    rig.queue.Enqueue(u"abc");
    ASSERT_EQ(rig.warnings.size(), 1u);
    EXPECT_NE(Narrow(rig.warnings[0]).find("refused"), std::string::npos) << Narrow(rig.warnings[0]);
    rig.queue.Enqueue(u"def");
    for (int retry = 0; retry < 3; ++retry) {
        ASSERT_TRUE(rig.timer.Pending()) << "no retry scheduled";
        rig.timer.Fire();
    }
    EXPECT_EQ(rig.timer.delay, kRetryDelayMs);
    EXPECT_EQ(rig.warnings.size(), 1u) << "reported again while still refused";
    EXPECT_EQ(rig.target.typed, u"");

    rig.target.sender.refuse = false;
    rig.Drain();
    EXPECT_EQ(rig.target.typed, u"abcdef");

    // Typing worked again, so a new refusal is news.
    rig.target.sender.refuse = true;
    rig.queue.Enqueue(u"g");
    EXPECT_EQ(rig.warnings.size(), 2u);
}

TEST(TypingQueue, APartlyTakenBlockIsReportedAndNotTypedTwice) {
    Rig rig;
    rig.target.accept_events = 2;
    rig.queue.Enqueue(u"abcd");
    rig.queue.Enqueue(u"ef");
    rig.Drain();
    EXPECT_EQ(rig.target.typed, u"abef");
    ASSERT_EQ(rig.warnings.size(), 1u);
    EXPECT_NE(Narrow(rig.warnings[0]).find("missing"), std::string::npos) << Narrow(rig.warnings[0]);
}

// The report is a modal box: while it is open, bytes keep arriving and the loop keeps turning, but nothing may be
// typed into the box, and no second box may open.
TEST(TypingQueue, NothingIsTypedWhileAReportIsOpen) {
    Rig rig;
    rig.target.sender.refuse = true;
    int boxes = 0;
    rig.while_warning_open = [&rig, &boxes] {
        if (++boxes > 1) {
            return;
        }
        rig.target.sender.refuse = false;  // the user switched windows meanwhile
        rig.queue.Enqueue(u"def");
        if (rig.timer.Pending()) {
            rig.timer.Fire();
        }
        rig.queue.Enqueue(Letters(kTypingQueueLimit));  // overflows: reported after this box closes
        EXPECT_EQ(rig.target.typed, u"") << "typed while the report was open";
    };
    rig.queue.Enqueue(u"abc");
    ASSERT_EQ(rig.warnings.size(), 2u) << "the overflow during the first report was not reported after it";
    EXPECT_NE(Narrow(rig.warnings[1]).find("waits"), std::string::npos) << Narrow(rig.warnings[1]);
    ASSERT_TRUE(rig.timer.Pending()) << "typing did not resume after the report";
    rig.Drain();
    const Text expected = u"abcdef" + Letters(kTypingQueueLimit).substr(0, kTypingQueueLimit - 6);
    EXPECT_TRUE(rig.target.typed == expected) << rig.target.typed.size() << " units typed";
}

// Keys typed into the program's own menu or dialog would work its controls (Enter is OK) and be lost to the
// user's window; keys sent to a program run as administrator are dropped by Windows, often without SendInput
// saying so. The text waits, in order, for as long as such a window keeps the focus, whatever arrives meanwhile
// and however it arrives: at the start, between blocks of a long text. Only the elevated window is news to the
// user: one report names it and says what to do.
TEST(TypingQueue, TextWaitsWhileAWindowThatMustNotGetItHasTheFocus) {
    const struct {
        const char* when;
        bool elevated;        // else the program's own window
        size_t typed_before;  // units typed before the window takes the focus
    } kCases[] = {
        {"own window, before the first scan", false, 0},
        {"own window, between two blocks", false, kTypingBlock},
        {"elevated window, before the first scan", true, 0},
        {"elevated window, between two blocks", true, kTypingBlock},
    };
    for (const auto& c : kCases) {
        Rig rig;
        bool& focus_flag = c.elevated ? rig.focus.elevated : rig.focus.own;
        rig.focus.title = u"Registry Editor";
        const Text first = Letters(c.typed_before == 0 ? 13 : 3 * kTypingBlock, 1);
        if (c.typed_before == 0) {
            focus_flag = true;
        }
        rig.queue.Enqueue(first);
        if (c.typed_before != 0) {
            focus_flag = true;
        }
        for (int tick = 0; tick < 5; ++tick) {
            rig.queue.Enqueue(u"scan\r");
            ASSERT_TRUE(rig.timer.Pending()) << c.when << ": the waiting text is no longer looked after";
            rig.timer.Fire();
            ASSERT_TRUE(rig.timer.Pending()) << c.when << ": the waiting text is no longer looked after";
            // Soon after the user switches windows the text arrives; just after a report, sooner still.
            EXPECT_LE(rig.timer.delay, kFocusCheckDelayMs) << c.when;
        }
        EXPECT_EQ(rig.target.typed.size(), c.typed_before) << c.when << ": typed into the window";

        focus_flag = false;
        rig.Drain();
        Text expected = first;
        for (int tick = 0; tick < 5; ++tick) {
            expected += u"scan\r";
        }
        EXPECT_TRUE(rig.target.typed == expected) << c.when << ": " << Narrow(rig.target.typed);
        if (!c.elevated) {
            EXPECT_TRUE(rig.warnings.empty()) << c.when;
            continue;
        }
        ASSERT_EQ(rig.warnings.size(), 1u) << c.when;
        const std::string said = Narrow(rig.warnings[0]);
        EXPECT_NE(said.find("Registry Editor"), std::string::npos) << c.when << ": " << said;
        EXPECT_NE(said.find("start Corvanta as administrator"), std::string::npos) << c.when << ": " << said;

        // Typed again: the next time an elevated window has the focus is news again.
        rig.focus.elevated = true;
        rig.queue.Enqueue(u"x");
        EXPECT_EQ(rig.warnings.size(), 2u) << c.when;
    }
}

// Records' text, each with a mark at its end: the queue tells when all of a record's text has been typed, in order,
// and whether any of it had to wait for a window of higher integrity (the text before a record's mark is its own,
// however many calls brought it). What is typed at once is told at once.
TEST(TypingQueue, MarksTellWhenARecordHasBeenTyped) {
    const std::string kElevated = "(elevated)", kOwn = "(own window)", kNormal = "(normal)", kTick = "(tick)";
    const struct {
        const char* rule;
        // Steps: a focus change, a tick, or "text|mark offsets" enqueued (marks numbered in order from 1).
        std::vector<std::string> steps;
        std::vector<std::string> told;   // "id typed" or "id held", in order, after all the steps and the drain
        std::vector<size_t> told_after;  // how many were told after each enqueue and tick
    } cases[] = {
        {"typed at once", {"ab\rcd\r|3,6"}, {"1 typed", "2 typed"}, {2}},
        {"a record's end with no text of its own", {"|0", "x|", "|0"}, {"1 typed", "2 typed"}, {1, 1, 2}},
        {"longer than a block: told when its last block is typed",
         {std::string(300, 'a') + "\r" + std::string(300, 'b') + "\r|301,602", kTick},
         {"1 typed", "2 typed"},
         {1, 2}},
        {"waited for an elevated window",
         {kElevated, "S S 1 g\r|8", kTick, kNormal, kTick, "S S 2 g\r|8"},
         {"1 held", "2 typed"},
         {0, 0, 1, 2}},
        {"its first part waited, its end did not",
         {kElevated, "12", kTick, kNormal, kTick, "3\r|2"},
         {"1 held"},
         {0, 0, 0, 1}},
        {"our own window is not an elevated one", {kOwn, "a\r|2", kTick, kNormal, kTick}, {"1 typed"}, {0, 0, 1}},
    };
    for (const auto& c : cases) {
        Rig rig;
        std::vector<std::string> told;
        rig.queue.SetOnTyped(
            [&told](uint64_t id, bool held) { told.push_back(std::to_string(id) + (held ? " held" : " typed")); });
        uint64_t next_id = 1;
        std::vector<size_t> told_after;
        for (const std::string& step : c.steps) {
            if (step == kElevated || step == kOwn || step == kNormal) {
                rig.focus.elevated = step == kElevated;
                rig.focus.own = step == kOwn;
                continue;
            }
            if (step == kTick) {
                if (rig.timer.Pending()) {
                    rig.timer.Fire();
                }
            } else {
                const size_t bar = std::min(step.find('|'), step.size());
                const Text text(step.begin(), step.begin() + static_cast<ptrdiff_t>(bar));
                std::vector<TypingQueue::Mark> marks;
                for (size_t at = bar + 1; at < step.size();) {
                    const size_t comma = std::min(step.find(',', at), step.size());
                    marks.push_back({std::stoul(step.substr(at, comma - at)), next_id++});
                    at = comma + 1;
                }
                const TypingQueue::Kept kept = rig.queue.Enqueue(text, marks);
                EXPECT_EQ(kept.units, text.size()) << c.rule;
                EXPECT_EQ(kept.marks, marks.size()) << c.rule;
            }
            told_after.push_back(told.size());
        }
        rig.Drain();
        EXPECT_EQ(told, c.told) << c.rule;
        EXPECT_EQ(told_after, c.told_after) << c.rule;
    }
}

// Beyond 10,000 records waiting, a record's end waits with the caller and with it the text after it, said once;
// the room handler offers them again once half have been typed.
TEST(TypingQueue, TenThousandRecordsWaitAtMost) {
    Rig rig;
    rig.focus.own = true;
    int room_calls = 0;
    rig.queue.SetOnRoom([&room_calls] { ++room_calls; });
    size_t typed_marks = 0;
    rig.queue.SetOnTyped([&typed_marks](uint64_t, bool) { ++typed_marks; });
    Text text;
    std::vector<TypingQueue::Mark> marks;
    for (uint64_t id = 1; id <= kTypingQueueRecordLimit + 1; ++id) {
        text += u"7\r";
        marks.push_back({text.size(), id});
    }
    text += u"8";
    const TypingQueue::Kept kept = rig.queue.Enqueue(text, marks);
    EXPECT_EQ(kept.marks, kTypingQueueRecordLimit);
    EXPECT_EQ(kept.units, 2 * kTypingQueueRecordLimit + 2) << "the text of the record whose end waits goes in";
    ASSERT_EQ(rig.warnings.size(), 1u);
    EXPECT_NE(Narrow(rig.warnings[0]).find("10,000 records"), std::string::npos) << Narrow(rig.warnings[0]);

    rig.focus.own = false;
    for (int ticks = 0; room_calls == 0 && rig.timer.Pending(); ++ticks) {
        rig.timer.Fire();
    }
    EXPECT_EQ(room_calls, 1);
    EXPECT_GE(typed_marks, kTypingQueueRecordLimit / 2);
    const TypingQueue::Kept rest =
        rig.queue.Enqueue(TextView(text).substr(kept.units), std::vector<TypingQueue::Mark>{{0, 10001}});
    EXPECT_EQ(rest.marks, 1u);
    rig.Drain();
    EXPECT_EQ(typed_marks, kTypingQueueRecordLimit + 1);
    EXPECT_TRUE(rig.target.typed == text) << "typed out of order or not whole";
}

// With a key delay each character is its own call, one per tick of the delay; a surrogate pair stays whole.
// Without one, the text goes in blocks. The key mode of the settings is the sender's.
TEST(TypingQueue, SettingsKeyDelayAndKeyMode) {
    const Text text = u"ab\rc\U0001F600\n\r";
    const struct {
        uint32_t delay_ms;
        std::vector<Text> calls;
    } kCases[] = {
        {0, {text}},
        {5, {u"a", u"b", u"\r", u"c", u"\U0001F600", u"\n", u"\r"}},
    };
    for (const auto& c : kCases) {
        Rig rig;
        OutputSettings settings;
        settings.key_delay_ms = c.delay_ms;
        settings.key_mode = c.delay_ms == 0 ? KeyMode::kScanCode : KeyMode::kUnicode;
        rig.queue.SetSettings(settings);
        EXPECT_EQ(rig.target.sender.key_mode, settings.key_mode) << "delay " << c.delay_ms;
        rig.queue.Enqueue(text);
        EXPECT_EQ(rig.target.sender.texts.size(), 1u) << "delay " << c.delay_ms << ": the first character waited";
        while (rig.timer.Pending()) {
            EXPECT_EQ(rig.timer.delay, c.delay_ms) << "delay " << c.delay_ms;
            rig.timer.Fire();
        }
        EXPECT_EQ(rig.target.sender.texts, c.calls) << "delay " << c.delay_ms;
        EXPECT_EQ(rig.target.typed, text) << "delay " << c.delay_ms;
    }
}

}  // namespace
}  // namespace corvanta
