// The Monitor on a real window, driven through the program's message loop as a user would: keys, clicks, closing.
#ifdef CORVANTA_HAVE_WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "contract/message_loop_win32.h"
#include "core/record_journal.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_clipboard.h"
#include "fakes/simulated_serial_control.h"
#include "platform/win32/monitor_window.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/win32_row_list.h"

namespace corvanta {
namespace {

using namespace std::chrono_literals;
namespace id = win32::monitor_id;

LogRow Row(TextView received, RecordStatus status) {
    LogRow row;
    row.time = LocalTime{2026, 12, 7, 14, 3, 22, 512, 60};
    row.port = u"COM1";
    row.received = Text(received);
    row.typed = u"7\\r";
    row.status = status;
    return row;
}

Text TextOf(HWND window) {
    wchar_t text[512] = {};
    const int length = GetWindowTextW(window, text, 512);
    return win32::FromWide(text, static_cast<size_t>(length));
}

RECT ClientRectOf(HWND control, HWND parent) {
    RECT box{};
    GetWindowRect(control, &box);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&box), 2);
    return box;
}

class Win32Monitor : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "no display: no windows can be created";
        }
        comm.SetPortOpen(true);
    }
    HWND Open() {
        monitor.Open();
        EXPECT_TRUE(test::PumpUntil([&] { return GetForegroundWindow() == monitor.hWnd(); }, 5s))
            << "the Monitor did not come to the front";
        return monitor.hWnd();
    }
    HWND Item(int control_id) const { return GetDlgItem(monitor.hWnd(), control_id); }
    // A key as the user presses it on the control with the focus.
    void Press(WPARAM key) const { PostMessageW(GetFocus(), WM_KEYDOWN, key, 1); }

    RecordJournal journal;
    SimulatedSerialControl comm;
    FakeClipboard clipboard;
    FakeAnsiCodePage ansi;
    win32::Win32MonitorWindow monitor{GetModuleHandleW(nullptr),
                                      {journal, comm, clipboard, [this] { return &ansi; }, MonitorRequest{}}};
};

// The journal's rows appear at the bottom of the real list and change in place. The keyboard works as in a dialog:
// the Send box has the focus first and Enter there sends its text to the port, while Enter in the list sends
// nothing; Tab goes round the controls in their order on the screen, passing the disabled Request button; Esc
// closes the Monitor.
TEST_F(Win32Monitor, RowsAndKeys) {
    HWND window = Open();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(TextOf(window), u"Corvanta Monitor");
    EXPECT_EQ(GetFocus(), Item(id::kSendText));
    EXPECT_FALSE(IsWindowEnabled(Item(id::kRequest))) << "no request can be made";

    const RecordJournal::RowId waiting = journal.Add(Row(u"0123\\r", RecordStatus::kWaiting));
    journal.Add(Row(u"4567\\r", RecordStatus::kTyped));
    journal.Change(waiting, Row(u"0123\\r", RecordStatus::kHeld));
    const win32::Win32RowList list(Item(id::kRecords));
    ASSERT_EQ(list.RowCount(), 2u);
    EXPECT_EQ(list.Row(0), (std::vector<Text>{u"14:03:22.512", u"0123\\r", u"7\u21B5", u"held"}));

    SetWindowTextW(Item(id::kSendText), L"P\\r\\n");
    Press(VK_RETURN);
    EXPECT_TRUE(test::PumpUntil([&] { return comm.device.transmitted[1] == "P\r\n"; }, 5s))
        << "the port got \"" << comm.device.transmitted[1] << "\"";
    EXPECT_EQ(ToUtf8(TextOf(Item(id::kStatus))), "Sent 3 bytes to COM1: P\\r\\n");

    const int order[] = {id::kSend, id::kRecords, id::kCopy, id::kClear, id::kSendText, id::kSend, id::kRecords};
    for (int control : order) {
        Press(VK_TAB);
        EXPECT_TRUE(test::PumpUntil([&] { return GetFocus() == Item(control); }, 5s))
            << "Tab did not reach control " << control << "; the focus is on " << GetDlgCtrlID(GetFocus());
    }
    // The keys are handled in order: once the Tab after it has arrived, so has the Enter.
    Press(VK_RETURN);
    Press(VK_TAB);
    EXPECT_TRUE(test::PumpUntil([&] { return GetFocus() == Item(id::kCopy); }, 5s));
    EXPECT_EQ(comm.device.transmitted[1], "P\r\n") << "Enter in the list sent the box again";

    PostMessageW(Item(id::kClear), BM_CLICK, 0, 0);
    EXPECT_TRUE(test::PumpUntil([&] { return list.RowCount() == 0; }, 5s)) << "Clear left rows";
    Press(VK_ESCAPE);
    EXPECT_TRUE(test::PumpUntil([&] { return !monitor.IsOpen(); }, 5s)) << "Esc did not close the Monitor";
    EXPECT_FALSE(IsWindow(window));
}

// At any size from the smallest the window allows, the controls lie inside the window and none covers another.
TEST_F(Win32Monitor, ControlsNeverOverlap) {
    HWND window = Open();
    MINMAXINFO limits{};
    SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    RECT opened{};
    GetWindowRect(window, &opened);
    const SIZE sizes[] = {{opened.right - opened.left, opened.bottom - opened.top},
                          {limits.ptMinTrackSize.x, limits.ptMinTrackSize.y},
                          {1200, 900}};
    const int controls[] = {id::kRecordsLabel, id::kRecords, id::kCopy,    id::kClear, id::kSendLabel,
                            id::kSendText,     id::kSend,    id::kRequest, id::kStatus};
    for (const SIZE& size : sizes) {
        SetWindowPos(window, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
        test::PumpUntil([] { return false; }, 50ms);
        RECT client{};
        GetClientRect(window, &client);
        const std::string label = std::to_string(size.cx) + " x " + std::to_string(size.cy);
        for (size_t a = 0; a < std::size(controls); ++a) {
            const RECT box = ClientRectOf(Item(controls[a]), window);
            EXPECT_TRUE(box.left >= 0 && box.top >= 0 && box.right <= client.right && box.bottom <= client.bottom &&
                        box.right > box.left && box.bottom > box.top)
                << label << ": control " << controls[a] << " lies outside the window";
            for (size_t b = a + 1; b < std::size(controls); ++b) {
                const RECT other = ClientRectOf(Item(controls[b]), window);
                RECT common{};
                EXPECT_FALSE(IntersectRect(&common, &box, &other))
                    << label << ": controls " << controls[a] << " and " << controls[b] << " overlap";
            }
        }
    }
}

}  // namespace
}  // namespace corvanta
#endif
