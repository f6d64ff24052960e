#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/keystroke_backlog.h"
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
    bool OwnWindowHasFocus() const override { return sender.OwnWindowHasFocus(); }

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
    FakeTimer timer;
    std::vector<Text> warnings;
    std::function<void()> while_warning_open;
    KeystrokeBacklog backlog{target, timer, [this](TextView message) {
                                 warnings.emplace_back(message);
                                 if (while_warning_open) {
                                     while_warning_open();
                                 }
                             }};
};

TEST(KeystrokeBacklog, AScanIsTypedAtOnce) {
    Rig rig;
    rig.backlog.SendKeys(u"12345\r");
    EXPECT_EQ(rig.target.typed, u"12345\r");
    EXPECT_FALSE(rig.timer.Pending());
    EXPECT_TRUE(rig.warnings.empty());
}

// However the text arrives, all of it is typed in order, in bounded calls, one block per tick, without a word.
TEST(KeystrokeBacklog, EverythingIsTypedInOrderInBoundedBlocks) {
    const struct {
        const char* arrival;
        std::vector<size_t> pieces;
    } kCases[] = {
        {"one block exactly", {kTypingBlock}},
        {"one piece of five blocks and a bit", {kTypingBlock * 5 + 3}},
        {"small pieces faster than one block per tick", std::vector<size_t>(200, 13)},
        {"a big piece, then small ones while it waits", {kTypingBlock * 3, 1, 2, 700, 5}},
        {"the whole backlog at once", {kBacklogLimit}},
    };
    for (const auto& c : kCases) {
        Rig rig;
        Text sent;
        for (size_t i = 0; i < c.pieces.size(); ++i) {
            const Text piece = Letters(c.pieces[i], i);
            sent += piece;
            rig.backlog.SendKeys(piece);
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
        EXPECT_TRUE(rig.backlog.Waiting().empty()) << c.arrival;
    }
}

TEST(KeystrokeBacklog, ASurrogatePairIsNeverSplitBetweenBlocks) {
    Rig rig;
    Text text = Letters(kTypingBlock - 1) + u"\U0001F600" + Letters(10);
    rig.backlog.SendKeys(text);
    rig.Drain();
    EXPECT_EQ(rig.target.typed, text);
    for (const Text& call : rig.target.sender.texts) {
        EXPECT_FALSE(call.back() >= 0xD800 && call.back() <= 0xDBFF) << "a block ends in half a pair";
    }
}

TEST(KeystrokeBacklog, AFullBacklogKeepsWhatFitsAndSaysSoOncePerEpisode) {
    Rig rig;
    // The first block is typed at once; the second text fills the backlog to the limit exactly.
    const Text first = Letters(kBacklogLimit) + Letters(kTypingBlock, 1);
    SendResult result = rig.backlog.SendKeys(TextView(first).substr(0, kBacklogLimit));
    EXPECT_EQ(result.accepted, kBacklogLimit);
    result = rig.backlog.SendKeys(TextView(first).substr(kBacklogLimit));
    EXPECT_EQ(result.accepted, kTypingBlock);
    ASSERT_TRUE(rig.warnings.empty());

    result = rig.backlog.SendKeys(u"dropped");
    EXPECT_EQ(result.accepted, 0u);
    ASSERT_EQ(rig.warnings.size(), 1u);
    EXPECT_NE(Narrow(rig.warnings[0]).find("not typed"), std::string::npos) << Narrow(rig.warnings[0]);
    rig.backlog.SendKeys(u"dropped too");
    EXPECT_EQ(rig.warnings.size(), 1u) << "a second report in the same episode";

    rig.Drain();
    EXPECT_TRUE(rig.target.typed == first) << "what fitted was not typed whole and in order";

    // Caught up: the next overflow is a new episode.
    rig.backlog.SendKeys(Letters(kBacklogLimit + kTypingBlock + 1));
    EXPECT_EQ(rig.warnings.size(), 2u);
}

TEST(KeystrokeBacklog, RefusedTextIsKeptReportedOnceAndTypedWhenTheSystemTakesItAgain) {
    Rig rig;
    rig.target.sender.refuse = true;
    rig.backlog.SendKeys(u"abc");
    ASSERT_EQ(rig.warnings.size(), 1u);
    EXPECT_NE(Narrow(rig.warnings[0]).find("refused"), std::string::npos) << Narrow(rig.warnings[0]);
    rig.backlog.SendKeys(u"def");
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
    rig.backlog.SendKeys(u"g");
    EXPECT_EQ(rig.warnings.size(), 2u);
}

TEST(KeystrokeBacklog, APartlyTakenBlockIsReportedAndNotTypedTwice) {
    Rig rig;
    rig.target.accept_events = 2;
    rig.backlog.SendKeys(u"abcd");
    rig.backlog.SendKeys(u"ef");
    rig.Drain();
    EXPECT_EQ(rig.target.typed, u"abef");
    ASSERT_EQ(rig.warnings.size(), 1u);
    EXPECT_NE(Narrow(rig.warnings[0]).find("missing"), std::string::npos) << Narrow(rig.warnings[0]);
}

// The report is a modal box: while it is open, bytes keep arriving and the loop keeps turning, but nothing may be
// typed into the box, and no second box may open.
TEST(KeystrokeBacklog, NothingIsTypedWhileAReportIsOpen) {
    Rig rig;
    rig.target.sender.refuse = true;
    int boxes = 0;
    rig.while_warning_open = [&rig, &boxes] {
        if (++boxes > 1) {
            return;
        }
        rig.target.sender.refuse = false;  // the user switched windows meanwhile
        rig.backlog.SendKeys(u"def");
        if (rig.timer.Pending()) {
            rig.timer.Fire();
        }
        rig.backlog.SendKeys(Letters(kBacklogLimit));  // overflows: reported after this box closes
        EXPECT_EQ(rig.target.typed, u"") << "typed while the report was open";
    };
    rig.backlog.SendKeys(u"abc");
    ASSERT_EQ(rig.warnings.size(), 2u) << "the overflow during the first report was not reported after it";
    EXPECT_NE(Narrow(rig.warnings[1]).find("not typed"), std::string::npos) << Narrow(rig.warnings[1]);
    ASSERT_TRUE(rig.timer.Pending()) << "typing did not resume after the report";
    rig.Drain();
    const Text expected = u"abcdef" + Letters(kBacklogLimit).substr(0, kBacklogLimit - 6);
    EXPECT_TRUE(rig.target.typed == expected) << rig.target.typed.size() << " units typed";
}

// Keys typed into the program's own menu or dialog would work its controls (Enter is OK) and be lost to the
// user's window. The text waits, in order, for as long as the program keeps the focus, whatever arrives meanwhile
// and however it arrives: at the start, between blocks of a long text.
TEST(KeystrokeBacklog, TextWaitsWhileTheProgramsOwnWindowHasTheFocus) {
    const struct {
        const char* when;
        size_t typed_before;  // units typed before the program's window takes the focus
    } kCases[] = {{"before the first scan", 0}, {"between two blocks", kTypingBlock}};
    for (const auto& c : kCases) {
        Rig rig;
        const Text first = Letters(c.typed_before == 0 ? 13 : 3 * kTypingBlock, 1);
        if (c.typed_before == 0) {
            rig.target.sender.own_window_focused = true;
        }
        rig.backlog.SendKeys(first);
        if (c.typed_before != 0) {
            rig.target.sender.own_window_focused = true;
        }
        for (int tick = 0; tick < 5; ++tick) {
            rig.backlog.SendKeys(u"scan\r");
            ASSERT_TRUE(rig.timer.Pending()) << c.when << ": the waiting text is no longer looked after";
            rig.timer.Fire();
            ASSERT_TRUE(rig.timer.Pending()) << c.when << ": the waiting text is no longer looked after";
            EXPECT_EQ(rig.timer.delay, kOwnWindowDelayMs) << c.when;
        }
        EXPECT_EQ(rig.target.typed.size(), c.typed_before) << c.when << ": typed into the program's own window";

        rig.target.sender.own_window_focused = false;
        rig.Drain();
        Text expected = first;
        for (int tick = 0; tick < 5; ++tick) {
            expected += u"scan\r";
        }
        EXPECT_TRUE(rig.target.typed == expected) << c.when << ": " << Narrow(rig.target.typed);
        EXPECT_TRUE(rig.warnings.empty()) << c.when;
    }
}

}  // namespace
}  // namespace corvanta
