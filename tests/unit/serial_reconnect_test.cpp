// The serial session's wait for a device that went away, over the simulated device; and the main form typing
// again once the device is back.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "fakes/simulated_serial_control.h"
#include "unit/terminal_rig.h"

namespace corvanta {
namespace {

// What OnComm saw each time it was raised: the state, and the bytes it read.
struct Event {
    PortState state;
    std::string input;
    bool operator==(const Event&) const = default;
};

void PrintTo(const Event& e, std::ostream* os) {
    *os << "{state " << static_cast<int>(e.state) << ", \"" << e.input << "\"}";
}

struct Line {
    Line() {
        comm.SetCommPort(4);
        comm.SetSettings(u"19200,e,7,1");
        comm.SetHandshaking(2);
        comm.SetOnComm([this] { events.push_back({comm.State(), comm.Input()}); });
    }
    SimulatedSerialControl comm;
    std::vector<Event> events;
};

TEST(SerialReconnect, GoneWaitsThenReopensWithTheSameSettings) {
    for (const bool announced : {false, true}) {
        SCOPED_TRACE(announced ? "driver announces the arrival" : "driver announces nothing");
        Line line;
        line.comm.SetPortOpen(true);
        line.comm.Receive("before");
        line.comm.device.Unplug(4);
        EXPECT_EQ(line.comm.State(), PortState::kWaitingForDevice);
        EXPECT_FALSE(line.comm.PortOpen());
        EXPECT_EQ(line.comm.PendingTickMs(), 1000u);
        // Tries while the device is away change nothing but the delay.
        line.comm.timer.Fire();
        EXPECT_EQ(line.comm.State(), PortState::kWaitingForDevice);

        line.comm.device.Plug(4, announced);
        EXPECT_EQ(line.comm.State(), announced ? PortState::kOpen : PortState::kWaitingForDevice);
        EXPECT_EQ(line.events.size(), 2u) << "no OnComm from inside the system's arrival notice";
        // The retry's open, or the announced reopen's event from the message loop.
        line.comm.timer.Fire();
        EXPECT_EQ(line.comm.State(), PortState::kOpen);
        EXPECT_EQ(line.comm.PendingTickMs(), std::nullopt);
        EXPECT_EQ(line.comm.LastOpen(), (SimulatedSerialDevice::Applied{4, u"19200,e,7,1", 2}));
        line.comm.Receive("after");
        const std::vector<Event> expected = {{PortState::kOpen, "before"},
                                             {PortState::kWaitingForDevice, ""},
                                             {PortState::kOpen, ""},
                                             {PortState::kOpen, "after"}};
        EXPECT_EQ(line.events, expected);
    }
}

TEST(SerialReconnect, RetryDelaysDoubleUpToHalfAMinute) {
    Line line;
    line.comm.SetPortOpen(true);
    line.comm.device.Unplug(4);
    std::vector<uint32_t> delays;
    for (int i = 0; i < 8; ++i) {
        delays.push_back(line.comm.PendingTickMs().value_or(0));
        line.comm.timer.Fire();
    }
    EXPECT_EQ(delays, (std::vector<uint32_t>{1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000}));
    // An announced arrival that does not open yet starts over from the short delay; another port's does not.
    line.comm.device.Plug(9, true);
    EXPECT_EQ(line.comm.PendingTickMs(), 30000u);
    line.comm.device.busy_ports.insert(4);
    line.comm.device.Plug(4, true);
    EXPECT_EQ(line.comm.PendingTickMs(), 1000u);
    line.comm.device.busy_ports.clear();
    line.comm.timer.Fire();
    EXPECT_EQ(line.comm.State(), PortState::kOpen);
}

// A port the user or the program closed is never opened behind their back, and nothing runs a timer for it.
TEST(SerialReconnect, NoWaitAndNoTimerUnlessTheDeviceWentAway) {
    const struct {
        const char* label;
        void (*steps)(SimulatedSerialControl&);
    } cases[] = {
        {"open and healthy", [](SimulatedSerialControl& c) { c.SetPortOpen(true); }},
        {"closed while waiting",
         [](SimulatedSerialControl& c) {
             c.SetPortOpen(true);
             c.device.Unplug(4);
             c.SetPortOpen(false);
         }},
        {"failed switch to an absent port",
         [](SimulatedSerialControl& c) {
             c.SetPortOpen(true);
             c.SetPortOpen(false);
             c.SetCommPort(7);
             EXPECT_THROW(c.SetPortOpen(true), Error);
         }},
        {"explicit open while waiting fails",
         [](SimulatedSerialControl& c) {
             c.SetPortOpen(true);
             c.device.Unplug(4);
             EXPECT_THROW(c.SetPortOpen(true), Error);
         }},
        {"start-up with a busy port",
         [](SimulatedSerialControl& c) {
             c.device.busy_ports.insert(4);
             EXPECT_THROW(c.OpenOrWaitForDevice(), Error);
             c.device.busy_ports.clear();
         }},
        {"device gone from a closed port", [](SimulatedSerialControl& c) { c.device.Unplug(4); }},
    };
    for (const auto& c : cases) {
        Line line;
        c.steps(line.comm);
        const bool open = line.comm.PortOpen();
        EXPECT_EQ(line.comm.State(), open ? PortState::kOpen : PortState::kClosed) << c.label;
        EXPECT_EQ(line.comm.PendingTickMs(), std::nullopt) << c.label;
        for (const int16_t port : {int16_t{4}, int16_t{7}}) {
            line.comm.device.Plug(port, true);
        }
        EXPECT_EQ(line.comm.PortOpen(), open) << c.label << ": the port changed by itself";
    }
}

// Settings given while waiting are those of the reopen; a new port number waits for that port's device.
TEST(SerialReconnect, ChangesWhileWaitingApplyToTheReopen) {
    Line line;
    line.comm.SetPortOpen(true);
    line.comm.device.Unplug(4);
    line.comm.timer.Fire();
    line.comm.SetSettings(u"9600,N,8,2");
    line.comm.SetHandshaking(1);
    line.comm.SetCommPort(3);
    EXPECT_EQ(line.comm.State(), PortState::kWaitingForDevice);
    EXPECT_EQ(line.comm.PendingTickMs(), 1000u);
    line.comm.timer.Fire();
    EXPECT_EQ(line.comm.LastOpen(), (SimulatedSerialDevice::Applied{3, u"9600,n,8,2", 1}));
}

// Nothing is read twice and nothing the returning device sent is lost; what lay in the driver before a
// user's open is an earlier session's and goes.
TEST(SerialReconnect, BytesAcrossALossAndAReturn) {
    Line line;
    SimulatedSerialDevice& device = line.comm.device;
    device.Write(4, "stale");
    line.comm.SetPortOpen(true);
    device.Write(4, "unread at the loss ");
    device.Unplug(4);
    device.Write(4, "sent while away");
    device.Plug(4, false);
    device.Write(4, "sent before the reopen");
    line.comm.timer.Fire();
    device.Deliver();
    std::string typed;
    for (const Event& e : line.events) {
        typed += e.input;
    }
    EXPECT_EQ(typed, "unread at the loss sent before the reopen");
}

// Bytes Input has not taken are kept across a loss, and a full buffer stays full: the returning device is not
// read until Input takes them, and then nothing it sent is lost.
TEST(SerialReconnect, AFullBufferStaysFullAcrossALoss) {
    SimulatedSerialControl comm;
    comm.SetCommPort(4);
    comm.SetPortOpen(true);
    const std::string held(SerialSession::kReceiveLimit, 'h');
    comm.Receive(held);
    ASSERT_FALSE(comm.device.Reading());
    comm.device.Unplug(4);
    comm.device.Plug(4, false);
    comm.timer.Fire();
    ASSERT_TRUE(comm.PortOpen());
    EXPECT_FALSE(comm.device.Reading()) << "the returning device is read while the buffer is full";
    EXPECT_EQ(comm.device.Write(4, "after"), 5u);
    comm.device.Deliver();
    EXPECT_EQ(comm.InBufferCount(), held.size());
    EXPECT_EQ(comm.Input(), held);
    EXPECT_TRUE(comm.device.Reading());
    comm.device.Deliver();
    EXPECT_EQ(comm.Input(), "after");
}

// The main form keeps typing across a pulled and returned cable, and a start without the device types once the
// device is plugged in.
TEST(SerialReconnect, MainFormTypesAfterTheDeviceReturns) {
    for (const bool absent_at_start : {false, true}) {
        SCOPED_TRACE(absent_at_start ? "absent at start-up" : "pulled while running");
        test::Rig rig;
        if (absent_at_start) {
            rig.comm.device.Unplug(1);
        }
        rig.terminal.Form_Load();
        EXPECT_EQ(rig.form.message_boxes.size(), absent_at_start ? 1u : 0u);
        EXPECT_EQ(rig.shell.icons.size(), 1u);
        if (!absent_at_start) {
            rig.comm.Receive("12");
            rig.comm.device.Unplug(1);
        }
        rig.comm.device.Plug(1, false);
        rig.comm.timer.Fire();
        rig.comm.Receive("34\r");
        const std::vector<Text> typed =
            absent_at_start ? std::vector<Text>{u"34\r"} : std::vector<Text>{u"12", u"34\r"};
        EXPECT_EQ(rig.keys.texts, typed);
    }
}

// Exit while the device is away: nothing reopens the port during the shutdown.
TEST(SerialReconnect, UnloadEndsTheWait) {
    test::Rig rig;
    rig.comm.device.Unplug(1);
    rig.terminal.Form_Load();
    int16_t cancel = 0;
    rig.terminal.Form_Unload(cancel);
    EXPECT_EQ(rig.comm.State(), PortState::kClosed);
    rig.comm.device.Plug(1, true);
    EXPECT_FALSE(rig.comm.PortOpen());
}

}  // namespace
}  // namespace corvanta
