#include "config/frmProperties_logic.h"

#include <gtest/gtest.h>

#include "common/identity.h"
#include "config/port_settings.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_combo_box.h"
#include "fakes/fake_form_host.h"
#include "fakes/fake_settings_store.h"
#include "fakes/fake_spooler.h"
#include "fakes/simulated_serial_control.h"

namespace corvanta {
namespace {

// The session over the simulated device, able to report a settings text it would never accept itself, and keeping the
// last text the dialog handed it.
class ReportingSerialControl : public SimulatedSerialControl {
  public:
    Text Settings() const override { return report ? *report : SimulatedSerialControl::Settings(); }
    void SetSettings(TextView settings) override {
        handed = Text(settings);
        SimulatedSerialControl::SetSettings(settings);
    }
    std::optional<Text> report;
    Text handed;
};

class PropertiesTest : public testing::Test {
  protected:
    // The lists' selections as text, "" for no selection: port, speed, data bits, parity, stop bits, flow.
    std::vector<Text> Selections() const {
        return {cboPort.SelectedText(),   cboSpeed.SelectedText(),    cboDataBits.SelectedText(),
                cboParity.SelectedText(), cboStopBits.SelectedText(), cboFlow.SelectedText()};
    }
    void Configure(TextView settings, int16_t port, int32_t handshaking, bool open = false) {
        MSComm1.SetSettings(settings);
        MSComm1.SetCommPort(port);
        MSComm1.SetHandshaking(handshaking);
        MSComm1.SetPortOpen(open);
    }
    void Choose(TextView port, TextView speed, TextView data_bits, TextView parity, TextView stop_bits, TextView flow) {
        cboPort.Choose(port);
        cboSpeed.Choose(speed);
        cboDataBits.Choose(data_bits);
        cboParity.Choose(parity);
        cboStopBits.Choose(stop_bits);
        cboFlow.Choose(flow);
    }
    Text Stored(const char16_t* key) const {
        const auto it = store.values.find({kAppTitle, kPortSection, key});
        return it == store.values.end() ? u"<absent>" : it->second;
    }

    FakeComboBox cboPort, cboSpeed, cboDataBits, cboParity, cboStopBits, cboFlow;
    ReportingSerialControl MSComm1;
    FakeSettingsStore store;
    FakeSpooler spooler = FakeSpooler::WithNames({"COM1:", "COM2:", "COM3:", "COM4:", "FILE:", "LPT1:"});
    FakeAnsiCodePage code_page;
    FakeFormHost host;
    bool unloaded = false;
    frmProperties dialog{{cboPort, cboSpeed, cboDataBits, cboParity, cboStopBits, cboFlow},
                         {MSComm1, store, spooler, code_page, host, [this] { unloaded = true; }}};
};

// The lists show the control's live values; one that has no entry leaves only its own list unselected.
TEST_F(PropertiesTest, LoadPreselectsTheLiveValues) {
    struct Case {
        const char16_t* settings;
        int16_t port;
        int32_t handshaking;
        std::vector<std::string> spooler_names;
        std::vector<Text> selected;
    };
    const std::vector<std::string> standard = {"COM1:", "COM2:", "COM3:", "COM4:", "FILE:", "LPT1:"};
    const Case cases[] = {
        {u"9600,n,8,1", 1, 0, standard, {u"COM1:", u"9600", u"8", u"None", u"1", u"None"}},
        {u"19200,e,7,1.5", 2, 3, standard, {u"COM2:", u"19200", u"7", u"Even", u"1.5", u"XOn/RTS"}},
        {u"256000,m,5,1.5", 4, 1, standard, {u"COM4:", u"256000", u"5", u"Mark", u"1.5", u"Xon/Xoff"}},
        {u"110,s,6,2", 3, 2, standard, {u"COM3:", u"110", u"6", u"Space", u"2", u"RTS"}},
        {u"300,o,4,2", 1, 0, standard, {u"COM1:", u"300", u"4", u"Odd", u"2", u"None"}},
        // Not starting at COM1, with gaps: chosen by name, not by position.
        {u"9600,n,8,1", 7, 0, {"COM3", "LPT1:", "COM7"}, {u"COM7", u"9600", u"8", u"None", u"1", u"None"}},
        {u"9600,n,8,1", 12, 0, {"COM1:", "COM12:"}, {u"COM12:", u"9600", u"8", u"None", u"1", u"None"}},
        // The live port is not listed, or no port at all.
        {u"9600,n,8,1", 12, 2, standard, {u"", u"9600", u"8", u"None", u"1", u"RTS"}},
        {u"9600,n,8,1", 1, 0, {}, {u"", u"9600", u"8", u"None", u"1", u"None"}},
        {u"9600,n,8,1", 1, 0, {"LPT1:", "FILE:"}, {u"", u"9600", u"8", u"None", u"1", u"None"}},
        // A speed the list does not offer.
        {u"4000000,n,8,1", 1, 0, standard, {u"COM1:", u"", u"8", u"None", u"1", u"None"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.settings) + " COM" + std::to_string(c.port));
        spooler = FakeSpooler::WithNames(c.spooler_names);
        MSComm1.device.existing_ports = {c.port};
        Configure(c.settings, c.port, c.handshaking);
        dialog.LoadPropertySettings();
        EXPECT_EQ(Selections(), c.selected);
        EXPECT_TRUE(host.message_boxes.empty());
    }
}

// Texts the control might report that do not fit the fixed positions: only the lists they touch stay empty,
// and every list is still filled.
TEST_F(PropertiesTest, LoadSurvivesReportsThatDoNotFit) {
    struct Case {
        const char16_t* report;
        std::vector<Text> selected;
    };
    const Case cases[] = {
        {u"9600,N,8,1", {u"COM1:", u"9600", u"8", u"", u"1", u"None"}},
        {u"9600,n,8,1.5", {u"COM1:", u"9600", u"8", u"None", u"1.5", u"None"}},
        {u",n,8,1", {u"COM1:", u"", u"8", u"None", u"1", u"None"}},
        {u"n,8,1", {u"COM1:", u"", u"8", u"None", u"1", u"None"}},
        {u"8,1", {u"COM1:", u"", u"8", u"", u"1", u"None"}},
        {u"1", {u"COM1:", u"", u"", u"", u"1", u"None"}},
        {u"1.5", {u"COM1:", u"", u"", u"", u"1.5", u"None"}},
        {u".", {u"COM1:", u"", u"", u"", u"", u"None"}},
        {u"", {u"COM1:", u"", u"", u"", u"", u"None"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.report));
        MSComm1.report = Text(c.report);
        dialog.LoadPropertySettings();
        EXPECT_EQ(Selections(), c.selected);
        const std::vector<int32_t> counts = {cboPort.ListCount(),   cboSpeed.ListCount(),    cboDataBits.ListCount(),
                                             cboParity.ListCount(), cboStopBits.ListCount(), cboFlow.ListCount()};
        EXPECT_EQ(counts, (std::vector<int32_t>{4, 16, 5, 5, 3, 4}));
    }
}

// The port state after OK, for each combination of open/closed and same/other port, including a new port
// that cannot be opened (absent or busy).
TEST_F(PropertiesTest, OkLeavesThePortInTheRightState) {
    enum class NewPort { kFine, kAbsent, kBusy };
    struct Case {
        const char* what;
        bool open_before;
        const char16_t* chosen;
        NewPort new_port;
        bool open_after;
        int16_t port_after;
        bool accepted;  // applied, stored and unloaded; otherwise one message and nothing stored
    };
    const Case cases[] = {
        {"open, same port", true, u"COM1:", NewPort::kFine, true, 1, true},
        {"open, other port", true, u"COM3:", NewPort::kFine, true, 3, true},
        {"open, other port absent", true, u"COM3:", NewPort::kAbsent, false, 1, false},
        {"open, other port busy", true, u"COM3:", NewPort::kBusy, false, 1, false},
        {"closed, other port", false, u"COM3:", NewPort::kFine, false, 3, true},
        {"closed, other port absent", false, u"COM3:", NewPort::kAbsent, false, 3, true},
        {"closed, same port", false, u"COM1:", NewPort::kFine, false, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ReportingSerialControl comm;
        comm.device.existing_ports = {1, 2, 3, 4};
        if (c.new_port == NewPort::kAbsent) {
            comm.device.existing_ports.erase(3);
        }
        if (c.new_port == NewPort::kBusy) {
            comm.device.busy_ports = {3};
        }
        comm.SetPortOpen(c.open_before);
        FakeSettingsStore fresh_store;
        FakeFormHost fresh_host;
        bool closed = false;
        frmProperties properties({cboPort, cboSpeed, cboDataBits, cboParity, cboStopBits, cboFlow},
                                 {comm, fresh_store, spooler, code_page, fresh_host, [&] { closed = true; }});
        properties.LoadPropertySettings();
        Choose(c.chosen, u"19200", u"7", u"Even", u"1", u"RTS");

        properties.cmdOK_Click();

        EXPECT_EQ(comm.PortOpen(), c.open_after);
        EXPECT_EQ(comm.CommPort(), c.port_after);
        EXPECT_EQ(closed, c.accepted);
        if (c.accepted) {
            EXPECT_TRUE(fresh_host.message_boxes.empty());
            EXPECT_EQ(comm.Settings(), u"19200,e,7,1");
            EXPECT_EQ(comm.Handshaking(), 2);
            EXPECT_EQ(fresh_store.values.size(), 3u);
            if (c.open_after) {
                EXPECT_EQ(comm.LastOpen()->port, c.port_after);
            }
        } else {
            ASSERT_EQ(fresh_host.message_boxes.size(), 1u);
            const auto& box = fresh_host.message_boxes[0];
            EXPECT_NE(box.prompt.find(u"COM3"), Text::npos) << ToUtf8(box.prompt);
            EXPECT_EQ(box.style, msgbox::kIconExclamation | msgbox::kOkOnly);
            EXPECT_EQ(box.title, u"Corvanta");
            EXPECT_EQ(comm.Settings(), u"9600,n,8,1");
            EXPECT_TRUE(fresh_store.values.empty());
        }
    }
}

TEST_F(PropertiesTest, OkStoresTheControlsReportInOrderAndUnloads) {
    Configure(u"9600,n,8,1", 1, 0, true);
    dialog.LoadPropertySettings();
    Choose(u"COM3:", u"19200", u"7", u"Even", u"1", u"RTS");

    dialog.cmdOK_Click();

    EXPECT_EQ(MSComm1.handed, u"19200,E,7,1");
    EXPECT_EQ(Stored(kKeySettings), u"19200,e,7,1");
    EXPECT_EQ(Stored(kKeyCommPort), u"3");
    EXPECT_EQ(Stored(kKeyHandshaking), u"2");
    EXPECT_TRUE(MSComm1.PortOpen());
    EXPECT_TRUE(unloaded);
    EXPECT_TRUE(host.message_boxes.empty());
}

TEST_F(PropertiesTest, OkHandsTheParityEntrysFirstLetterAndStopBitsAsListed) {
    struct Case {
        const char16_t* parity;
        const char16_t* stop_bits;
        const char16_t* handed;
        const char16_t* stored;
    };
    const Case cases[] = {
        {u"Space", u"1", u"9600,S,8,1", u"9600,s,8,1"},
        {u"Mark", u"2", u"9600,M,8,2", u"9600,m,8,2"},
        {u"Odd", u"1.5", u"9600,O,8,1.5", u"9600,o,8,1.5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.parity));
        dialog.LoadPropertySettings();
        cboParity.Choose(c.parity);
        cboStopBits.Choose(c.stop_bits);
        dialog.cmdOK_Click();
        EXPECT_EQ(MSComm1.handed, c.handed);
        EXPECT_EQ(Stored(kKeySettings), c.stored);
    }
}

// A refused settings string stops before the flow control: one message, nothing stored, the dialog stays.
TEST_F(PropertiesTest, RefusedSettingsLeaveHandshakingAndStoreAlone) {
    Configure(u"9600,n,8,1", 1, 1, true);
    dialog.LoadPropertySettings();
    cboFlow.Choose(u"RTS");
    cboSpeed.Choose(u"19200");
    cboParity.selected = ComboBox::kNoSelection;  // as after an upper-case parity in the control's report

    dialog.cmdOK_Click();

    ASSERT_EQ(host.message_boxes.size(), 1u);
    EXPECT_NE(host.message_boxes[0].prompt.find(u"19200,,8,1"), Text::npos) << ToUtf8(host.message_boxes[0].prompt);
    EXPECT_EQ(MSComm1.Settings(), u"9600,n,8,1");
    EXPECT_EQ(MSComm1.Handshaking(), 1);
    EXPECT_TRUE(MSComm1.PortOpen());
    EXPECT_TRUE(store.values.empty());
    EXPECT_FALSE(unloaded);
}

// A refused flow control: the port change and settings already made stay, nothing is stored.
TEST_F(PropertiesTest, RefusedHandshakingKeepsEarlierStepsAndStoresNothing) {
    Configure(u"9600,n,8,1", 1, 0, true);
    dialog.LoadPropertySettings();
    cboPort.Choose(u"COM2:");
    cboSpeed.Choose(u"4800");
    cboFlow.selected = ComboBox::kNoSelection;

    dialog.cmdOK_Click();

    EXPECT_EQ(host.message_boxes.size(), 1u);
    EXPECT_EQ(MSComm1.CommPort(), 2);
    EXPECT_TRUE(MSComm1.PortOpen());
    EXPECT_EQ(MSComm1.Settings(), u"4800,n,8,1");
    EXPECT_EQ(MSComm1.Handshaking(), 0);
    EXPECT_TRUE(store.values.empty());
    EXPECT_FALSE(unloaded);
}

// With the live port not listed nothing is selected in the port list; OK keeps that port open rather than
// closing it for a port the user never chose.
TEST_F(PropertiesTest, OkWithoutAPortEntryKeepsTheLivePort) {
    MSComm1.device.existing_ports = {12};
    Configure(u"9600,n,8,1", 12, 0, true);
    dialog.LoadPropertySettings();
    ASSERT_EQ(cboPort.selected, ComboBox::kNoSelection);
    cboSpeed.Choose(u"57600");

    dialog.cmdOK_Click();

    EXPECT_TRUE(host.message_boxes.empty());
    EXPECT_TRUE(MSComm1.PortOpen());
    EXPECT_EQ(MSComm1.CommPort(), 12);
    EXPECT_EQ(Stored(kKeyCommPort), u"12");
    EXPECT_EQ(Stored(kKeySettings), u"57600,n,8,1");
    EXPECT_TRUE(unloaded);
}

TEST_F(PropertiesTest, FailedWritesAreSkippedSilently) {
    store.refuse_writes = true;
    dialog.LoadPropertySettings();
    cboSpeed.Choose(u"1200");
    dialog.cmdOK_Click();
    EXPECT_TRUE(host.message_boxes.empty());
    EXPECT_EQ(MSComm1.Settings(), u"1200,n,8,1");
    EXPECT_TRUE(unloaded);
}

TEST_F(PropertiesTest, CancelChangesNothing) {
    Configure(u"9600,n,8,1", 1, 0, true);
    dialog.LoadPropertySettings();
    Choose(u"COM3:", u"115200", u"7", u"Space", u"2", u"XOn/RTS");

    dialog.cmdCancel_Click();

    EXPECT_TRUE(unloaded);
    EXPECT_EQ(MSComm1.CommPort(), 1);
    EXPECT_EQ(MSComm1.Settings(), u"9600,n,8,1");
    EXPECT_EQ(MSComm1.Handshaking(), 0);
    EXPECT_TRUE(MSComm1.PortOpen());
    EXPECT_TRUE(store.values.empty());
    EXPECT_TRUE(host.message_boxes.empty());
}

}  // namespace
}  // namespace corvanta
