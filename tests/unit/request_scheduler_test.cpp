// The request policy over the simulated serial device, the fake timers and the fake hotkey board; and the checks
// of the request values.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/hotkey_names.h"
#include "core/request_scheduler.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_system_hotkey.h"
#include "fakes/fake_timer.h"
#include "fakes/simulated_serial_control.h"

namespace corvanta {
namespace {

constexpr int16_t kPort = 3;

RequestSettings Asking(std::string command,
                       uint32_t interval_ms,
                       uint32_t reply_timeout_ms,
                       const char16_t* hotkey = u"") {
    return {std::move(command), ParseHotkey(hotkey), interval_ms, reply_timeout_ms};
}

// The scheduler as the main form will hold it: OnComm tells it of the port, as the relay will.
struct RequestRig {
    explicit RequestRig(const RequestSettings& settings) {
        comm.SetCommPort(kPort);
        comm.SetOnComm([this] {
            comm.Input();
            scheduler.PortStateChanged();
        });
        comm.SetPortOpen(true);
        refusal = scheduler.SetSettings(settings);
        scheduler.PortStateChanged();
    }

    // What the device received since the last look.
    std::string Written() { return std::exchange(comm.device.transmitted[kPort], {}); }

    SimulatedSerialControl comm;
    FakeTimer interval_timer;
    FakeTimer reply_timer;
    FakeHotkeyBoard board;
    FakeSystemHotkey hotkey{board};
    std::vector<std::string> balloons;
    std::vector<int16_t> no_reply_rows;
    RequestScheduler scheduler{{comm, interval_timer, reply_timer, hotkey,
                                [this](TextView text, BalloonIcon icon) {
                                    balloons.push_back(ToUtf8(text) +
                                                       (icon == BalloonIcon::kWarning ? "" : " (as information)"));
                                },
                                [this](int16_t port) { no_reply_rows.push_back(port); }}};
    std::optional<Text> refusal;
};

// What happens to the rig, as the user, the device and the system make it happen.
void Do(RequestRig& rig, std::string_view action) {
    if (action == "menu") {
        rig.scheduler.RequestReading();
    } else if (action == "hotkey") {
        rig.board.Press(rig.scheduler.Settings().hotkey.value_or(Hotkey{}));
    } else if (action == "tick") {
        ASSERT_TRUE(rig.interval_timer.pending) << "no tick is due";
        rig.interval_timer.Fire();
    } else if (action == "timeout") {
        ASSERT_TRUE(rig.reply_timer.pending) << "no reply is awaited";
        rig.reply_timer.Fire();
    } else if (action == "record") {
        // The relay passes a record on and tells the scheduler.
        rig.comm.Receive("ST,+00012.34  g\r\n");
        rig.scheduler.RecordArrived();
    } else if (action == "unplug") {
        rig.comm.device.Unplug(kPort);
    } else if (action == "replug") {
        rig.comm.device.Plug(kPort, false);
        rig.comm.timer.Fire();
    } else if (action == "close") {
        // The port dialog closed the port; the form tells the scheduler when the dialog ends.
        rig.comm.SetPortOpen(false);
        rig.scheduler.PortStateChanged();
    } else if (action == "close unnoticed") {
        rig.comm.SetPortOpen(false);
    } else if (action == "open") {
        rig.comm.SetPortOpen(true);
        rig.scheduler.PortStateChanged();
    } else {
        FAIL() << "unknown action " << action;
    }
}

struct Step {
    const char* action;
    const char* written;  // what reached the device
    const char* balloon;  // the balloon it brought, or ""
    bool no_reply_row;    // whether the log got a "no reply" row
    bool ticking;         // whether the interval timer runs afterwards
};

struct Scenario {
    const char* rule;
    RequestSettings settings;
    std::vector<Step> steps;
};

// Each scenario starts with the port open and the settings applied; every step states its whole outcome.
TEST(RequestScheduler, RequestsRepliesAndThePort) {
    const Scenario scenarios[] = {
        {"one request at a time: any record ends the wait",
         Asking("P\r\n", 0, 2000),
         {
             {"menu", "P\r\n", "", false, false},
             {"menu", "", "", false, false},
             {"record", "", "", false, false},
             {"menu", "P\r\n", "", false, false},
             {"record", "", "", false, false},
         }},
        {"no record within the timeout: the balloon once until a record comes again, a log row every time",
         Asking("P\r\n", 0, 2000),
         {
             {"menu", "P\r\n", "", false, false},
             {"timeout", "", "No reply from COM3", true, false},
             {"menu", "P\r\n", "", false, false},
             {"timeout", "", "", true, false},
             {"record", "", "", false, false},
             {"menu", "P\r\n", "", false, false},
             {"timeout", "", "No reply from COM3", true, false},
             {"record", "", "", false, false},
             {"menu", "P\r\n", "", false, false},
         }},
        {"no reply timeout: nothing is waited for, every request is written",
         Asking("SI\r\n", 0, 0),
         {
             {"menu", "SI\r\n", "", false, false},
             {"menu", "SI\r\n", "", false, false},
         }},
        {"the timer requests while the port is open, and skips a tick while a reply is awaited",
         Asking("P", 500, 2000),
         {
             {"tick", "P", "", false, true},
             {"tick", "", "", false, true},
             {"record", "", "", false, true},
             {"tick", "P", "", false, true},
             {"timeout", "", "No reply from COM3", true, true},
             {"tick", "P", "", false, true},
             {"menu", "", "", false, true},
         }},
        {"the timer pauses while the device is away and goes on when it is back; the user hears the port is not open",
         Asking("P", 500, 2000),
         {
             {"tick", "P", "", false, true},
             {"unplug", "", "", false, false},
             {"menu", "", "COM3 is not open", false, false},
             {"replug", "", "", false, true},
             {"tick", "P", "", false, true},
             {"record", "", "", false, true},
             {"close", "", "", false, false},
             {"menu", "", "COM3 is not open", false, false},
             {"open", "", "", false, true},
             {"menu", "P", "", false, true},
         }},
        {"a tick that comes before the port's news pauses the timer without a word",
         Asking("P", 500, 0),
         {
             {"close unnoticed", "", "", false, true},
             {"tick", "", "", false, false},
             {"open", "", "", false, true},
             {"tick", "P", "", false, true},
         }},
        {"the hotkey and the menu make the same request",
         Asking("P", 0, 2000, u"F9"),
         {
             {"hotkey", "P", "", false, false},
             {"menu", "", "", false, false},
             {"record", "", "", false, false},
             {"close", "", "", false, false},
             {"hotkey", "", "COM3 is not open", false, false},
         }},
        {"without a command nothing is requested, no timer runs and no hotkey is held",
         Asking("", 500, 2000, u"F9"),
         {
             {"menu", "", "", false, false},
             {"hotkey", "", "", false, false},
             {"close", "", "", false, false},
             {"menu", "", "", false, false},
         }},
    };
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.rule);
        RequestRig rig(scenario.settings);
        EXPECT_EQ(rig.refusal, std::nullopt);
        EXPECT_EQ(rig.scheduler.CanRequest(), !scenario.settings.command.empty());
        for (size_t i = 0; i < scenario.steps.size(); ++i) {
            const Step& step = scenario.steps[i];
            const std::string label = "step " + std::to_string(i + 1) + ", " + step.action;
            const size_t balloons = rig.balloons.size();
            const size_t rows = rig.no_reply_rows.size();
            Do(rig, step.action);
            EXPECT_EQ(rig.Written(), step.written) << label;
            const std::string balloon = rig.balloons.size() > balloons ? rig.balloons.back() : "";
            EXPECT_EQ(balloon, step.balloon) << label;
            EXPECT_LE(rig.balloons.size(), balloons + 1) << label;
            EXPECT_EQ(rig.no_reply_rows.size(), rows + (step.no_reply_row ? 1 : 0)) << label;
            EXPECT_EQ(rig.interval_timer.pending, step.ticking) << label;
            if (rig.interval_timer.pending) {
                EXPECT_EQ(rig.interval_timer.delay, scenario.settings.interval_ms) << label;
            }
        }
        EXPECT_EQ(rig.no_reply_rows, std::vector<int16_t>(rig.no_reply_rows.size(), kPort));
    }
}

// The hotkey is held only while there is a command; one another program holds is named for the start-up message,
// and everything else works without it. New settings let an earlier combination go, and take a combination
// that has become free.
TEST(RequestScheduler, TheHotkeyFollowsTheSettings) {
    RequestRig rig(Asking("P", 0, 0));
    const Hotkey taken = ParseHotkey(u"Ctrl+Shift+W").value();
    rig.board.HoldElsewhere(taken);
    const struct {
        const char* what;
        RequestSettings settings;
        std::optional<const char16_t*> held;
        const char* refusal;
    } steps[] = {
        {"a free combination", Asking("P", 0, 0, u"F9"), u"F9", ""},
        {"one another program holds", Asking("P", 0, 0, u"ctrl+shift+w"), std::nullopt,
         "another program holds Ctrl+Shift+W (Registering the hotkey: Hot key is already registered)"},
        {"another free one", Asking("P", 0, 0, u"Alt+F9"), u"Alt+F9", ""},
        {"no command", Asking("", 0, 0, u"Alt+F9"), std::nullopt, ""},
        {"a command again", Asking("Q", 0, 0, u"Alt+F9"), u"Alt+F9", ""},
        {"no hotkey", Asking("Q", 0, 0), std::nullopt, ""},
    };
    for (const auto& step : steps) {
        const std::optional<Text> refusal = rig.scheduler.SetSettings(step.settings);
        EXPECT_EQ(ToUtf8(refusal.value_or(u"")), step.refusal) << step.what;
        EXPECT_EQ(rig.hotkey.Held(), step.held ? ParseHotkey(*step.held) : std::nullopt) << step.what;
        EXPECT_EQ(rig.board.holders.size(), rig.hotkey.Held() ? 2u : 1u) << step.what << ": a combination left held";
        rig.scheduler.RequestReading();
        EXPECT_EQ(rig.Written(), step.settings.command) << step.what;
    }
    rig.board.holders.erase(taken);
    EXPECT_EQ(rig.scheduler.SetSettings(Asking("P", 0, 0, u"Ctrl+Shift+W")), std::nullopt);
    EXPECT_EQ(rig.hotkey.Held(), taken);
}

// A new interval takes effect at once; no interval stops the timer.
TEST(RequestScheduler, ANewIntervalRestartsTheTimer) {
    RequestRig rig(Asking("P", 500, 0));
    for (const uint32_t interval : {2000u, 100u, 0u, 86400000u}) {
        rig.scheduler.SetSettings(Asking("P", interval, 0));
        EXPECT_EQ(rig.interval_timer.pending, interval != 0) << interval;
        if (interval != 0) {
            EXPECT_EQ(rig.interval_timer.delay, interval);
        }
    }
}

// A port that refuses the write (its device takes nothing) is named once in a balloon, not with every tick, and
// nothing is awaited; once a write goes out again, the next refusal is named again.
TEST(RequestScheduler, ARefusedWriteIsNamedOnce) {
    const std::string command(40000, 'Q');
    RequestRig rig(Asking(command, 100, 2000));
    rig.comm.device.hold_output = true;
    const std::string refused =
        "COM3: The device is not taking what is written to it (40000 bytes wait; check the handshaking).";
    const struct {
        const char* action;
        const char* balloon;
        bool awaiting;
    } steps[] = {
        {"menu", "", true},
        {"timeout", "No reply from COM3", false},
        {"menu", refused.c_str(), false},
        {"tick", "", false},
        {"menu", "", false},
    };
    for (const auto& step : steps) {
        const size_t balloons = rig.balloons.size();
        Do(rig, step.action);
        EXPECT_EQ(rig.balloons.size() > balloons ? rig.balloons.back() : "", step.balloon) << step.action;
        EXPECT_EQ(rig.scheduler.AwaitingReply(), step.awaiting) << step.action;
    }
    rig.comm.device.ReleaseOutput();
    EXPECT_EQ(rig.Written(), command);
    // A write goes out (into a line held again), and a refusal after it is named again.
    rig.comm.device.hold_output = true;
    Do(rig, "menu");
    EXPECT_TRUE(rig.scheduler.AwaitingReply());
    Do(rig, "record");
    const size_t balloons = rig.balloons.size();
    Do(rig, "menu");
    ASSERT_EQ(rig.balloons.size(), balloons + 1);
    EXPECT_EQ(rig.balloons.back(), refused);
}

// Interval: 0 or 100 to 86400000 ms; ReplyTimeout: 0 to 60000 ms. The ends of each range are tested both ways.
TEST(RequestValues, IntervalAndReplyTimeoutRanges) {
    const struct {
        uint32_t (*parse)(uint32_t);
        const char* name;
        uint32_t ms;
        const char* refusal;
    } cases[] = {
        {&ParseRequestInterval, "Interval", 0, ""},
        {&ParseRequestInterval, "Interval", 99, "99 ms is neither 0 (no timer) nor between 100 and 86400000"},
        {&ParseRequestInterval, "Interval", 100, ""},
        {&ParseRequestInterval, "Interval", 86400000, ""},
        {&ParseRequestInterval, "Interval", 86400001,
         "86400001 ms is neither 0 (no timer) nor between 100 and 86400000"},
        {&ParseReplyTimeout, "ReplyTimeout", 0, ""},
        {&ParseReplyTimeout, "ReplyTimeout", 1, ""},
        {&ParseReplyTimeout, "ReplyTimeout", 60000, ""},
        {&ParseReplyTimeout, "ReplyTimeout", 60001, "60001 ms is more than 60000"},
    };
    for (const auto& c : cases) {
        const std::string label = std::string(c.name) + " " + std::to_string(c.ms);
        if (*c.refusal == '\0') {
            EXPECT_EQ(c.parse(c.ms), c.ms) << label;
            continue;
        }
        try {
            c.parse(c.ms);
            ADD_FAILURE() << label << " was accepted";
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), c.refusal) << label;
        }
    }
}

// The command's bytes: the escapes resolved, \xNN as the byte itself, other characters above U+007F in the output
// encoding; what cannot be written as meant is refused.
TEST(RequestValues, CommandBytes) {
    FakeAnsiCodePage windows_1252;
    FakeAnsiCodePage shift_jis;
    shift_jis.double_byte = true;
    const struct {
        Text value;
        const AnsiCodePage* code_page;  // nullptr: UTF-8
        std::string bytes;              // with refusal empty
        const char* refusal = "";
    } cases[] = {
        {u"P\\r\\n", &windows_1252, "P\r\n"},
        {u"\\eP", &windows_1252, "\x1BP"},
        {u"\\x02W\\x03", &windows_1252, "\x02W\x03"},
        {u"\\x00\\xFF\\x80", nullptr, std::string("\0\xFF\x80", 3)},
        {u"\\\\x41", &windows_1252, "\\x41"},
        {u"a\\\\\\x41", &windows_1252, "a\\A"},
        {u"\u00E9\\u00E9", &windows_1252, "\xE9\xE9"},
        {u"\u00E9\\u00E9", nullptr, "\xC3\xA9\xC3\xA9"},
        {u"\u20AC5", &windows_1252,
         "\x80"
         "5"},
        {u"\\u65E5", &shift_jis, "\x93\xFA"},
        {u"\\uD83D\\uDE00", nullptr, "\xF0\x9F\x98\x80"},
        {u"\u4E2D", &windows_1252, "", "\"\u4E2D\" is not in the output encoding's code page"},
        {u"\\uD83D", nullptr, "", "it holds half of a surrogate pair, which is no character"},
        {u"\\x4", &windows_1252, "", "\\x needs 2 hexadecimal digits"},
        {u"\\q", &windows_1252, "", "\\q is not an escape (write \\\\ for a backslash)"},
        {u"P\\", &windows_1252, "", "a \\ ends the text (write \\\\ for a backslash)"},
    };
    for (const auto& c : cases) {
        const std::string label = ToUtf8(c.value) + (c.code_page == nullptr ? " in UTF-8" : "");
        try {
            EXPECT_EQ(EncodeCommand(c.value, c.code_page), c.bytes) << label;
            EXPECT_STREQ(c.refusal, "") << label << " was accepted";
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), c.refusal) << label;
        }
    }
}

}  // namespace
}  // namespace corvanta
