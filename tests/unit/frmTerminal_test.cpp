#include "core/frmTerminal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/module_path.h"
#include "core/hotkey_names.h"
#include "core/mod1_registry.h"
#include "fakes/fake_form_host.h"
#include "fakes/fake_keystroke_sender.h"
#include "fakes/fake_popup_menu.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_shell_notify.h"
#include "fakes/fake_timer.h"
#include "fakes/simulated_serial_control.h"
#include "unit/terminal_rig.h"

namespace corvanta {
namespace {

using test::Rig;
using test::Stored;

constexpr uint32_t kLeftDown = 513, kLeftUp = 514, kRightDown = 516, kRightUp = 517;

// Whatever happened to the port, start-up ends with the form hidden and the tray icon shown with the form's own
// icon and the tooltip, and the store untouched.
void ExpectTrayUp(const Rig& rig, const std::string& label) {
    ASSERT_TRUE(rig.form.icon) << label;
    EXPECT_EQ(rig.form.icon->Handle(), FakeFormHost::kIconHandleBase + 101) << label;
    EXPECT_EQ(rig.tray.Icon().get(), rig.form.icon.get()) << label << ": the tray must get the very same picture";
    EXPECT_EQ(rig.tray.ToolTip(), u"Corvanta") << label;
    EXPECT_TRUE(rig.tray.Visible()) << label;
    EXPECT_TRUE(rig.form.hidden) << label;
    ASSERT_EQ(rig.shell.icons.size(), 1u) << label;
    const FakeShellNotify::Icon& icon = rig.shell.icons.begin()->second;
    EXPECT_EQ(icon.hIcon, rig.form.icon->Handle()) << label;
    EXPECT_EQ(icon.tip, "Corvanta") << label;
    // Icon and tooltip were in place before the icon was added: Visible came last.
    EXPECT_EQ(rig.control_host.property_changes, (std::vector<Text>{u"Icon", u"ToolTip", u"Visible"})) << label;
}

// Stored values are read with the control's own values as defaults, converted, applied in order, and the
// port opens with them; nothing is written back.
TEST(frmTerminalLoad, AppliesStoredValuesOrKeepsTheControlsOwn) {
    struct Case {
        const char* label;
        Stored stored;
        SimulatedSerialDevice::Applied opened;
    };
    const Case cases[] = {
        {"nothing stored", {}, {1, u"9600,n,8,1", 0}},
        {"all three",
         {{u"CommPort", u"3"}, {u"Settings", u"19200,E,7,1"}, {u"Handshaking", u"2"}},
         {3, u"19200,e,7,1", 2}},
        {"stop bits 1.5", {{u"Settings", u"9600,n,8,1.5"}}, {1, u"9600,n,8,1.5", 0}},
        {"blanks and signs", {{u"CommPort", u" +4 "}, {u"Handshaking", u"  3"}}, {4, u"9600,n,8,1", 3}},
        {"leading zeros", {{u"CommPort", u"002"}, {u"Handshaking", u"01"}}, {2, u"9600,n,8,1", 1}},
    };
    for (const Case& c : cases) {
        Rig rig(c.stored);
        const auto before = rig.store.values;
        rig.terminal.Form_Load();
        EXPECT_TRUE(rig.comm.PortOpen()) << c.label;
        EXPECT_EQ(rig.comm.LastOpen(), c.opened) << c.label;
        EXPECT_EQ(rig.comm.InputLen(), 0) << c.label;
        EXPECT_EQ(rig.store.values, before) << c.label << ": start-up must not write the store";
        EXPECT_TRUE(rig.form.message_boxes.empty()) << c.label;
        ExpectTrayUp(rig, c.label);
    }
}

Text RefusalOf(void (*apply)(SimulatedSerialControl&)) {
    SimulatedSerialControl probe;
    try {
        apply(probe);
    } catch (const Error& error) {
        return error.Description();
    }
    return u"(the control accepted it)";
}

// A port that cannot be configured or opened must not leave an invisible process: the port stays closed, no
// later value is applied, the tray icon still appears, and one exclamation box gives the reason.
TEST(frmTerminalLoad, PortFailureStillShowsTheTrayAndOneMessage) {
    struct Case {
        const char* label;
        Stored stored;
        std::set<int16_t> busy;
        Text description;
        int16_t port;  // the control's values afterwards: what was applied before the failure
        Text settings;
        int32_t handshaking;
    };
    const Stored good_rest = {{u"Settings", u"19200,e,7,1"}, {u"Handshaking", u"2"}};
    auto with = [&](Text key, Text value) {
        Stored stored = good_rest;
        stored[key] = value;
        return stored;
    };
    const Case cases[] = {
        {"port not a number",
         with(u"CommPort", u"abc"),
         {},
         u"The stored port number \"abc\" is not a number.",
         1,
         u"9600,n,8,1",
         0},
        {"port empty",
         with(u"CommPort", u""),
         {},
         u"The stored port number \"\" is not a number.",
         1,
         u"9600,n,8,1",
         0},
        {"port with decimals",
         with(u"CommPort", u"3.0"),
         {},
         u"The stored port number \"3.0\" is not a number.",
         1,
         u"9600,n,8,1",
         0},
        {"port out of range",
         with(u"CommPort", u"40000"),
         {},
         u"The stored port number \"40000\" is out of range.",
         1,
         u"9600,n,8,1",
         0},
        {"port far out of range",
         with(u"CommPort", u"-99999999999999999999999"),
         {},
         u"The stored port number \"-99999999999999999999999\" is out of range.",
         1,
         u"9600,n,8,1",
         0},
        {"port refused by the control",
         with(u"CommPort", u"0"),
         {},
         RefusalOf([](SimulatedSerialControl& c) { c.SetCommPort(0); }),
         1,
         u"9600,n,8,1",
         0},
        {"settings refused by the control",
         {{u"CommPort", u"3"}, {u"Settings", u"9600,x,8,1"}, {u"Handshaking", u"2"}},
         {},
         RefusalOf([](SimulatedSerialControl& c) { c.SetSettings(u"9600,x,8,1"); }),
         3,
         u"9600,n,8,1",
         0},
        {"handshaking not a number",
         with(u"Handshaking", u"two"),
         {},
         u"The stored handshaking code \"two\" is not a number.",
         1,
         u"19200,e,7,1",
         0},
        {"handshaking out of range",
         with(u"Handshaking", u"4294967296"),
         {},
         u"The stored handshaking code \"4294967296\" is out of range.",
         1,
         u"19200,e,7,1",
         0},
        {"handshaking refused by the control",
         with(u"Handshaking", u"7"),
         {},
         RefusalOf([](SimulatedSerialControl& c) { c.SetHandshaking(7); }),
         1,
         u"19200,e,7,1",
         0},
        {"port absent",
         with(u"CommPort", u"9"),
         {},
         u"COM9: The system cannot find the file specified. The port opens by itself when its device is connected.",
         9,
         u"19200,e,7,1",
         2},
        {"port busy", good_rest, {1}, u"COM1: Access is denied.", 1, u"19200,e,7,1", 2},
    };
    for (const Case& c : cases) {
        Rig rig(c.stored);
        rig.comm.device.busy_ports = c.busy;
        const auto before = rig.store.values;
        ASSERT_NO_THROW(rig.terminal.Form_Load()) << c.label;
        EXPECT_FALSE(rig.comm.PortOpen()) << c.label;
        EXPECT_EQ(rig.comm.LastOpen(), std::nullopt) << c.label;
        EXPECT_EQ(rig.comm.CommPort(), c.port) << c.label;
        EXPECT_EQ(rig.comm.Settings(), c.settings) << c.label;
        EXPECT_EQ(rig.comm.Handshaking(), c.handshaking) << c.label;
        EXPECT_EQ(rig.store.values, before) << c.label;
        ExpectTrayUp(rig, c.label);
        ASSERT_EQ(rig.form.message_boxes.size(), 1u) << c.label;
        const auto& box = rig.form.message_boxes[0];
        EXPECT_EQ(ToUtf8(box.prompt), ToUtf8(c.description)) << c.label;
        EXPECT_EQ(box.style, msgbox::kOkOnly | msgbox::kIconExclamation) << c.label;
        EXPECT_EQ(box.title, u"Corvanta") << c.label;

        // The program stays usable: unloading after a failed start is quiet.
        int16_t cancel = 0;
        EXPECT_NO_THROW(rig.terminal.Form_Unload(cancel)) << c.label;
    }
}

// The port's OnComm reaches the relay, and what came is typed; the output values read at start are in force.
TEST(frmTerminalRelay, WhatThePortReceivesIsTyped) {
    Rig rig;
    rig.registry.Put(kOutputUserRoot, ToUtf8(kOutputUserPath), "Suffix", reg::kRegSz, std::string("#\0", 2));
    rig.terminal.Form_Load();
    rig.comm.Receive("12345\r");
    EXPECT_EQ(rig.keys.texts, std::vector<Text>{u"12345#\r"});
}

// Output values that were not used are named in a box of their own, after the port's, once start-up is done.
TEST(frmTerminalOutput, RefusedValuesAreNamedAfterThePortsMessage) {
    Rig rig(Stored{{u"CommPort", u"abc"}});
    rig.registry.Put(kOutputUserRoot, ToUtf8(kOutputUserPath), "KeyMode", reg::kRegSz, std::string("fast\0", 5));
    rig.terminal.Form_Load();
    ASSERT_EQ(rig.form.message_boxes.size(), 2u);
    EXPECT_NE(rig.form.message_boxes[0].prompt.find(u"port number"), Text::npos)
        << ToUtf8(rig.form.message_boxes[0].prompt);
    EXPECT_NE(rig.form.message_boxes[1].prompt.find(u"KeyMode"), Text::npos)
        << ToUtf8(rig.form.message_boxes[1].prompt);
    ExpectTrayUp(rig, "a refused port and a refused output value");
}

void PutRequestValue(Rig& rig, const std::string& name, const std::string& text) {
    rig.registry.Put(reg::kHkeyCurrentUser, ToUtf8(kRequestUserPath), name, reg::kRegSz, text + '\0');
}

void PutRequestNumber(Rig& rig, const std::string& name, uint32_t value) {
    rig.registry.Put(reg::kHkeyCurrentUser, ToUtf8(kRequestUserPath), name, reg::kRegDword,
                     std::string(reinterpret_cast<const char*>(&value), sizeof(value)));
}

void PutOutputValue(Rig& rig, const std::string& name, const std::string& text) {
    rig.registry.Put(kOutputUserRoot, ToUtf8(kOutputUserPath), name, reg::kRegSz, text + '\0');
}

// A balance asked by the timer: the request goes out while the port is open, the reply is typed as the value the
// pattern keeps and logged, a reply that does not come gives one balloon and a log row; the timer pauses while the
// device is away and goes on when it is back.
TEST(frmTerminalRequests, ABalanceAskedByTheTimer) {
    Rig rig;
    PutOutputValue(rig, "Extract", "^S S +(\\S+)");
    PutOutputValue(rig, "LogFile", "C:\\logs\\scale.csv");
    PutRequestValue(rig, "Command", "SI\\r\\n");
    PutRequestNumber(rig, "Interval", 1000);
    rig.terminal.Form_Load();
    ASSERT_TRUE(rig.form.message_boxes.empty()) << ToUtf8(rig.form.message_boxes[0].prompt);
    ASSERT_TRUE(rig.request_interval_timer.pending) << "the port opened: the timer runs";

    rig.request_interval_timer.Fire();
    EXPECT_EQ(rig.comm.device.transmitted[1], "SI\r\n");
    rig.comm.Receive("S S      12.345 g\r\n");
    EXPECT_EQ(rig.keys.texts, std::vector<Text>{u"12.345\r"});
    rig.request_interval_timer.Fire();
    rig.reply_timer.Fire();
    EXPECT_EQ(rig.Balloons(), std::vector<std::string>{"No reply from COM1"});
    const std::string file = rig.log_files.files[u"C:\\logs\\scale.csv"];
    EXPECT_NE(file.find(",COM1,S S      12.345 g\\r\\n,12.345\\r,typed\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find(",COM1,,,no reply\r\n"), std::string::npos) << file;

    rig.comm.device.Unplug(1);
    EXPECT_FALSE(rig.request_interval_timer.pending) << "the device is away: the timer pauses";
    rig.comm.device.Plug(1, false);
    rig.comm.timer.Fire();
    EXPECT_TRUE(rig.request_interval_timer.pending) << "the port reopened: the timer goes on";
}

// "Request Reading" is in the menu, and makes a request, only while there is a Command; a port the user closed
// is named in a balloon, not a box.
TEST(frmTerminalRequests, RequestReadingInTheMenu) {
    for (const bool command : {false, true}) {
        const std::string label = command ? "with a command" : "without one";
        Rig rig;
        if (command) {
            PutRequestValue(rig, "Command", "P\\r");
        }
        rig.terminal.Form_Load();
        rig.menu.choice = mmRequestReading;
        rig.TrayMouse(kRightUp);
        const auto& items = rig.menu.items;
        const auto item =
            std::find_if(items.begin(), items.end(), [](const auto& i) { return i.id == mmRequestReading; });
        ASSERT_NE(item, items.end());
        EXPECT_EQ(item->visible, command) << label;
        EXPECT_EQ(rig.comm.device.transmitted[1], command ? "P\r" : "") << label;
        std::vector<std::string> captions;
        for (const auto& shown : items) {
            if (shown.visible) {
                captions.push_back(ToUtf8(shown.caption));
            }
        }
        // The first items keep their places; what came later goes between About and the line above Exit.
        std::vector<std::string> expected = {"CommPort Properties", "Run at Start Windows", "-", "About",
                                             "Monitor\u2026",       "Output Settings\u2026"};
        if (command) {
            expected.push_back("Request Reading");
        }
        expected.insert(expected.end(), {"-", "Exit"});
        EXPECT_EQ(captions, expected) << label;

        rig.comm.SetPortOpen(false);
        rig.TrayMouse(kRightUp);
        EXPECT_EQ(rig.Balloons(), command ? std::vector<std::string>{"COM1 is not open"} : std::vector<std::string>{})
            << label;
        EXPECT_TRUE(rig.form.message_boxes.empty()) << label;
    }
}

// A hotkey another program holds is named with the refused values at start; everything else works.
TEST(frmTerminalRequests, AHotkeyAnotherProgramHoldsIsNamedAtStart) {
    Rig rig;
    PutRequestValue(rig, "Command", "P\\r");
    PutRequestValue(rig, "Hotkey", "F9");
    rig.hotkey_board.HoldElsewhere(ParseHotkey(u"F9").value());
    rig.terminal.Form_Load();
    ASSERT_EQ(rig.form.message_boxes.size(), 1u);
    EXPECT_NE(rig.form.message_boxes[0].prompt.find(u"Hotkey: another program holds F9"), Text::npos)
        << ToUtf8(rig.form.message_boxes[0].prompt);
    rig.terminal.mmRequestReading_Click();
    EXPECT_EQ(rig.comm.device.transmitted[1], "P\r");
}

TEST(frmTerminalUnload, ClosesThePortAndNeverCancels) {
    Rig rig;
    rig.terminal.Form_Load();
    ASSERT_TRUE(rig.comm.PortOpen());
    for (int16_t cancel : {int16_t{0}, int16_t{1}, int16_t{-1}}) {
        int16_t value = cancel;
        rig.terminal.Form_Unload(value);
        EXPECT_EQ(value, cancel);
        EXPECT_FALSE(rig.comm.PortOpen());
    }
}

const std::string kRunPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::optional<FakeRegistry::Value> RunValue(const Rig& rig) {
    return rig.registry.Get(reg::kHkeyLocalMachine, kRunPath, "Corvanta");
}

std::optional<FakeRegistry::Value> UserRunValue(const Rig& rig) {
    return rig.registry.Get(reg::kHkeyCurrentUser, kRunPath, "Corvanta");
}

// The stored Run value for a command path: REG_SZ with its terminating NUL.
FakeRegistry::Value RunEntry(const std::string& command) {
    return {reg::kRegSz, command + std::string(1, '\0')};
}

// Releasing either button over the icon pops the menu up, left-aligned and choosable with either button;
// moving, pressing and double clicking open nothing.
TEST(frmTerminalMenu, OnlyAButtonReleaseOpensIt) {
    const struct {
        uint32_t message;
        bool opens;
    } cases[] = {
        {512, false},        {kLeftDown, false}, {kLeftUp, true}, {515, false},
        {kRightDown, false}, {kRightUp, true},   {518, false},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.terminal.Form_Load();
        rig.TrayMouse(c.message);
        EXPECT_EQ(rig.menu.popups,
                  c.opens ? std::vector<uint32_t>{popup::kLeftAlign | popup::kRightButton} : std::vector<uint32_t>{})
            << "mouse message " << c.message;
    }
}

// Each item chosen from the menu runs its own command, and only that one; a dismissed menu runs none.
TEST(frmTerminalMenu, EachItemRunsItsCommand) {
    const struct {
        const char* label;
        std::optional<int> choice;
        std::vector<std::string> shown;
        bool run_value;
        bool exited;
        bool monitor = false;
    } cases[] = {
        {"dismissed", std::nullopt, {}, false, false},
        {"CommPort Properties", mmPortSettinges, {"Properties"}, false, false},
        {"Run at Start Windows", AutoStart, {}, true, false},
        {"About", mmAbout, {"About"}, false, false},
        {"Monitor", mmMonitor, {}, false, false, true},
        {"Output Settings", mmOutputSettings, {"OutputSettings"}, false, false},
        {"Exit", mmExit, {}, false, true},
    };
    for (const auto& c : cases) {
        for (uint32_t button : {kLeftUp, kRightUp}) {
            Rig rig;
            rig.terminal.Form_Load();
            rig.menu.choice = c.choice;
            rig.TrayMouse(button);
            const std::string label = std::string(c.label) + ", mouse message " + std::to_string(button);
            EXPECT_EQ(rig.dialogs.shown, c.shown) << label;
            EXPECT_EQ(RunValue(rig).has_value(), c.run_value) << label;
            EXPECT_EQ(rig.menu.Checked(AutoStart), c.run_value) << label;
            EXPECT_EQ(rig.unload.done, c.exited) << label;
            EXPECT_EQ(rig.monitor.open, c.monitor) << label;
            EXPECT_EQ(rig.comm.PortOpen(), !c.exited) << label;
            EXPECT_EQ(rig.shell.icons.empty(), c.exited) << label;
        }
    }
}

// There is one Monitor at a time: choosing it again brings the open one to the front, a closed one opens anew,
// and the menu stays usable while it is open (it is no dialog that waits for an answer).
TEST(frmTerminalMenu, OneMonitorAtATime) {
    Rig rig;
    rig.terminal.Form_Load();
    rig.menu.choice = mmMonitor;
    rig.TrayMouse(kLeftUp);
    ASSERT_TRUE(rig.monitor.open);
    rig.monitor.in_front = false;  // the user went back to work in another window
    ASSERT_NO_THROW(rig.TrayMouse(kRightUp)) << "a second Monitor";
    EXPECT_TRUE(rig.monitor.in_front) << "the open Monitor was not brought to the front";
    EXPECT_EQ(rig.menu.popups.size(), 2u) << "the menu did not open while the Monitor was open";

    rig.monitor.open = false;  // closed by the user
    rig.monitor.in_front = false;
    rig.TrayMouse(kLeftUp);
    EXPECT_TRUE(rig.monitor.open && rig.monitor.in_front) << "no new Monitor after the first was closed";
}

// Exit takes the icon out of the tray before the form unloads and closes the port.
TEST(frmTerminalMenu, ExitRemovesTheIconBeforeThePortCloses) {
    Rig rig;
    rig.terminal.Form_Load();
    ASSERT_EQ(rig.shell.icons.size(), 1u);
    rig.menu.choice = mmExit;
    rig.TrayMouse(kRightUp);
    ASSERT_TRUE(rig.unload.done);
    EXPECT_EQ(rig.unload.icons_in_tray, 0u);
    EXPECT_TRUE(rig.unload.port_open) << "the port closes in Form_Unload, not before";
    EXPECT_FALSE(rig.tray.Visible());
    EXPECT_FALSE(rig.comm.PortOpen());
    EXPECT_TRUE(rig.form.message_boxes.empty()) << "no confirmation is asked";
}

// While a dialog is open, its command is still waiting: a click on the icon brings that dialog to the front
// instead of a second menu, whose item would show the open dialog a second time.
TEST(frmTerminalMenu, TrayClickWhileADialogIsOpenBringsItToFront) {
    const struct {
        int item;
        std::string dialog;
    } dialogs[] = {{mmPortSettinges, "Properties"}, {mmAbout, "About"}};
    for (const auto& d : dialogs) {
        for (uint32_t button : {kLeftUp, kRightUp}) {
            const std::string label = d.dialog + ", mouse message " + std::to_string(button);
            Rig rig;
            rig.terminal.Form_Load();
            rig.menu.choice = d.item;
            rig.dialogs.while_open = [&] { ASSERT_NO_THROW(rig.TrayMouse(button)) << label; };
            rig.TrayMouse(button);
            EXPECT_EQ(rig.dialogs.shown, std::vector<std::string>{d.dialog}) << label;
            EXPECT_EQ(rig.dialogs.brought_to_front, std::vector<std::string>{d.dialog}) << label;
            EXPECT_EQ(rig.menu.popups.size(), 1u) << label << ": no second menu over the dialog";

            // Once it has closed, the menu and the same dialog come again.
            rig.dialogs.while_open = nullptr;
            rig.TrayMouse(button);
            EXPECT_EQ(rig.dialogs.shown, (std::vector<std::string>{d.dialog, d.dialog})) << label;
        }
    }
}

// The check mark shows what the registry holds: set at start-up when either Run key has the value, and after
// each click read back, so a refused write or delete never leaves it claiming a state the registry does not hold.
// The click chooses from the check mark, not from a fresh read. A user without rights to the machine's key gets
// the value under their own; unchecking removes it from both; what the registry refuses, one message box says.
TEST(frmTerminalAutoStart, ClickTogglesTheRunValueAndTheCheckFollowsTheRegistry) {
    const std::string ours = "\"C:\\Program Files\\Corvanta\\Corvanta.exe\"";
    using Value = std::optional<FakeRegistry::Value>;
    const Value mine = RunEntry(ours);
    const Value old = RunEntry("\"D:\\Old\\Corvanta.exe\"");
    const Value empty_sz = FakeRegistry::Value{reg::kRegSz, std::string(1, '\0')};
    const Value no_data = FakeRegistry::Value{reg::kRegSz, ""};
    const Value expand_sz = FakeRegistry::Value{reg::kRegExpandSz, ours + std::string(1, '\0')};
    const Value no_nul = FakeRegistry::Value{reg::kRegSz, "C:\\x.exe"};
    enum Refused { kNothing, kMachine, kBoth };
    const struct {
        const char* label;
        Value machine_before, user_before;
        Refused refused;
        bool checked_at_start;
        int clicks;
        Value machine_after, user_after;
        bool checked_after;
        const char* message;  // words of the one message box shown, or none
    } cases[] = {
        {"first click writes", {}, {}, kNothing, false, 1, mine, {}, true, nullptr},
        {"second click deletes", {}, {}, kNothing, false, 2, {}, {}, false, nullptr},
        {"third click writes again", {}, {}, kNothing, false, 3, mine, {}, true, nullptr},
        {"present at start: click deletes", old, {}, kNothing, true, 1, {}, {}, false, nullptr},
        {"no rights: write refused, the user's key takes it", {}, {}, kMachine, false, 1, {}, mine, true, nullptr},
        {"no rights: delete refused", mine, {}, kMachine, true, 1, mine, {}, true, "only an administrator may"},
        {"no rights, both values: the user's goes", old, mine, kMachine, true, 1, old, {}, true, "an administrator"},
        {"the user's value at start: click deletes", {}, old, kNothing, true, 1, {}, {}, false, nullptr},
        {"no rights anywhere: nothing written", {}, {}, kBoth, false, 1, {}, {}, false, "refused to write"},
        {"no rights anywhere: the user's value stays", {}, old, kBoth, true, 1, {}, old, true, "refused to remove"},
        {"empty REG_SZ reads as absent, is written over", empty_sz, {}, kNothing, false, 1, mine, {}, true, nullptr},
        {"REG_SZ with no data reads as absent", no_data, {}, kNothing, false, 1, mine, {}, true, nullptr},
        {"REG_EXPAND_SZ reads as absent, is written over", expand_sz, {}, kNothing, false, 1, mine, {}, true, nullptr},
        {"data without NUL reads as present", no_nul, {}, kNothing, true, 1, {}, {}, false, nullptr},
    };
    for (const auto& c : cases) {
        Rig rig;
        for (const auto& [root, value] :
             {std::pair{reg::kHkeyLocalMachine, c.machine_before}, std::pair{reg::kHkeyCurrentUser, c.user_before}}) {
            if (value) {
                rig.registry.Put(root, kRunPath, "Corvanta", value->type, value->data);
            }
        }
        rig.registry.refuse_machine_writes = c.refused != kNothing;
        rig.registry.refuse_user_writes = c.refused == kBoth;
        rig.terminal.Form_Load();
        EXPECT_EQ(rig.menu.Checked(AutoStart), c.checked_at_start) << c.label;
        for (int i = 0; i < c.clicks; ++i) {
            rig.terminal.AutoStart_Click();
        }
        EXPECT_EQ(RunValue(rig), c.machine_after) << c.label;
        EXPECT_EQ(UserRunValue(rig), c.user_after) << c.label;
        EXPECT_EQ(rig.menu.Checked(AutoStart), c.checked_after) << c.label;
        EXPECT_EQ(rig.registry.OpenKeyCount(), 0u) << c.label;
        EXPECT_EQ(rig.form.message_boxes.size(), c.message == nullptr ? 0u : 1u) << c.label;
        for (const FakeFormHost::MessageBox& box : rig.form.message_boxes) {
            EXPECT_NE(ToUtf8(box.prompt).find(c.message == nullptr ? "" : c.message), std::string::npos)
                << c.label << ": " << ToUtf8(box.prompt);
        }
    }
}

// The check mark was set at start-up; another program removed the value since. The click deletes (nothing to
// delete) and the read-back clears the mark; the next click writes.
TEST(frmTerminalAutoStart, ValueRemovedBehindTheProgramsBack) {
    Rig rig;
    rig.registry.Put(reg::kHkeyLocalMachine, kRunPath, "Corvanta", reg::kRegSz, RunEntry("\"C:\\a.exe\"").data);
    rig.terminal.Form_Load();
    ASSERT_TRUE(rig.menu.Checked(AutoStart));
    RegDeleteValueOf(rig.registry, rig.ansi, kRunKeyRoot, kRunKeyPath, u"Corvanta");
    rig.terminal.AutoStart_Click();
    EXPECT_EQ(RunValue(rig), std::nullopt);
    EXPECT_FALSE(rig.menu.Checked(AutoStart));
    rig.terminal.AutoStart_Click();
    EXPECT_TRUE(RunValue(rig).has_value());
    EXPECT_TRUE(rig.menu.Checked(AutoStart));
}

// The Run value names the running executable: its folder, "\", its name with ".exe", in double quotes, in
// the ANSI code page. At a drive's root the folder already ends in "\", which gives two in a row.
TEST(frmTerminalAutoStart, CommandPathFromTheModulePath) {
    const struct {
        const char16_t* module;
        const char16_t* folder;
        std::string stored;
    } cases[] = {
        {u"C:\\Program Files\\Corvanta\\Corvanta.exe", u"C:\\Program Files\\Corvanta",
         "\"C:\\Program Files\\Corvanta\\Corvanta.exe\""},
        {u"C:\\Corvanta.exe", u"C:\\", "\"C:\\\\Corvanta.exe\""},
        {u"D:\\Tools\\corvanta.EXE", u"D:\\Tools", "\"D:\\Tools\\corvanta.exe\""},
        {u"E:\\My.Tools\\Corvanta.v2.exe", u"E:\\My.Tools", "\"E:\\My.Tools\\Corvanta.v2.exe\""},
        {u"C:\\Tools\\Corvanta", u"C:\\Tools", "\"C:\\Tools\\Corvanta.exe\""},
        {u"\\\\server\\share\\Corvanta.exe", u"\\\\server\\share", "\"\\\\server\\share\\Corvanta.exe\""},
        {u"C:\\Programme\\Gr\u00F6\u00DFe\\Corvanta.exe", u"C:\\Programme\\Gr\u00F6\u00DFe",
         "\"C:\\Programme\\Gr\xF6\xDF"
         "e\\Corvanta.exe\""},
        // Outside the ANSI code page: stored as the ANSI API converts it, and no second value for the user.
        {u"C:\\\u0422\u0435\u0441\u0442\\Corvanta.exe", u"C:\\\u0422\u0435\u0441\u0442", "\"C:\\????\\Corvanta.exe\""},
    };
    for (const auto& c : cases) {
        const std::string label = ToUtf8(c.module);
        const ModulePathParts parts = SplitModulePath(c.module);
        EXPECT_EQ(ToUtf8(parts.path), ToUtf8(c.folder)) << label;
        Rig rig;
        rig.app.path = parts.path;
        rig.app.exe_name = parts.exe_name;
        rig.terminal.Form_Load();
        rig.terminal.AutoStart_Click();
        EXPECT_EQ(RunValue(rig), RunEntry(c.stored)) << label;
        EXPECT_EQ(UserRunValue(rig), std::nullopt) << label;
    }
}

}  // namespace
}  // namespace corvanta
