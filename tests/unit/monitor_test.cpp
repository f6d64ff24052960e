#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/escapes.h"
#include "core/record_journal.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_clipboard.h"
#include "fakes/fake_monitor_window.h"
#include "fakes/fake_row_list.h"
#include "fakes/simulated_serial_control.h"
#include "monitor/frmMonitor.h"
#include "monitor/monitor_rows.h"

namespace corvanta {
namespace {

// A Monitor over the journal, the simulated COM1 and fakes of its window's controls, loaded as its window loads it.
struct Rig {
    explicit Rig(MonitorRequest request = {}) : monitor(list, view, Services(std::move(request))) {
        monitor.Form_Load();
    }

    MonitorServices Services(MonitorRequest request) {
        return {journal, comm, clipboard, [this] { return output_code_page; }, std::move(request)};
    }

    // A record of the scanner at 14:03:SS.
    RecordJournal::RowId Add(int second, std::string_view received, TextView typed, RecordStatus status) {
        return journal.Add(Row(second, received, typed, status));
    }
    static LogRow Row(int second, std::string_view received, TextView typed, RecordStatus status) {
        LogRow row;
        row.time = LocalTime{2026, 12, 7, 14, 3, second, 512, 60};
        row.port = u"COM1";
        row.received = ReceivedField(received, nullptr);
        row.typed = TypedField(typed);
        row.status = status;
        return row;
    }
    // The list's rows as the user sees them, one text each: "time|received|typed|status".
    std::vector<std::string> Shown() const {
        std::vector<std::string> shown;
        for (const FakeRowList::Entry& entry : list.rows) {
            std::string line;
            for (const Text& cell : entry.cells) {
                line += (line.empty() ? "" : "|") + ToUtf8(cell);
            }
            shown.push_back(line);
        }
        return shown;
    }

    RecordJournal journal;
    SimulatedSerialControl comm;
    FakeClipboard clipboard;
    FakeAnsiCodePage windows_1252;
    const AnsiCodePage* output_code_page = &windows_1252;
    FakeRowList list;
    FakeMonitorView view;
    frmMonitor monitor;
};

// The typed column shows the keys: every Enter (CR, LF, CR LF) as ↵, Tab as ⇥, other controls as escapes. Typed
// backslashes and typed arrow characters stay distinguishable from the keys.
TEST(MonitorColumns, TypedKeysAsSymbols) {
    const struct {
        Text typed;
        Text shown;
    } cases[] = {
        {u"12345\r", u"12345\u21B5"},
        {u"12345\r\n", u"12345\u21B5"},
        {u"A\nB\n\n", u"A\u21B5B\u21B5\u21B5"},
        {u"4711\t3\t", u"4711\u21E53\u21E5"},
        {u"C:\\temp\\r\\t", u"C:\\\\temp\\\\r\\\\t"},
        {u"\\\r", u"\\\\\u21B5"},
        {u"\x1B\x1D|\x7F", u"\\e\\x1D|\\x7F"},
        {u"\u21B5\u21E5", u"\\u21B5\\u21E5"},
        {u"\u00E9\u6F22\U0001F600", u"\u00E9\u6F22\U0001F600"},
        {u"", u""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToUtf8(ShownTyped(TypedField(c.typed))), ToUtf8(c.shown)) << "typed " << ToUtf8(EscapeText(c.typed));
    }
    // A typed text too long for a row keeps its note of how much more there was.
    const Text shown = ShownTyped(TypedField(Text(kMaxShownBytes + 3, u'7')));
    EXPECT_EQ(ToUtf8(shown.substr(kMaxShownBytes)), "\u2026(+3 characters)");
}

// The time of day to the millisecond, with leading zeros.
TEST(MonitorColumns, TimeOfDay) {
    const struct {
        LocalTime time;
        const char* shown;
    } cases[] = {
        {{2026, 12, 7, 14, 3, 22, 512, 60}, "14:03:22.512"},
        {{2026, 12, 8, 0, 0, 0, 7, -300}, "00:00:00.007"},
        {{2026, 12, 31, 23, 59, 59, 999, 0}, "23:59:59.999"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToUtf8(ShownTime(c.time)), c.shown) << c.shown;
    }
}

// Every record of the journal gets a row at the bottom, its status as the log words it; no row is shown for what
// came before the Monitor opened or after it closed.
TEST(MonitorList, RowsInOrderWhileOpen) {
    RecordJournal journal;
    journal.Add(Rig::Row(1, "before\r", u"before\r", RecordStatus::kTyped));
    Rig rig;
    const struct {
        std::string_view received;
        Text typed;
        RecordStatus status;
    } records[] = {
        {"0123\r\n", u"0123\r", RecordStatus::kWaiting},
        {"01\x1D"
         "10AB\r",
         u"", RecordStatus::kNoMatch},
        {"0123\r\n", u"", RecordStatus::kRepeat},
        {"ST,+0012.34 g\r\n", u"0012.34\t", RecordStatus::kHeld},
        {"\xC3\xA9\x04", u"\u00E9", RecordStatus::kTooLong},
        {"", u"", RecordStatus::kNoReply},
    };
    for (size_t i = 0; i < std::size(records); ++i) {
        rig.Add(static_cast<int>(i), records[i].received, records[i].typed, records[i].status);
    }
    EXPECT_EQ(rig.Shown(), (std::vector<std::string>{
                               "14:03:00.512|0123\\r\\n|0123\u21B5|waiting",
                               "14:03:01.512|01\\x1D10AB\\r||no match",
                               "14:03:02.512|0123\\r\\n||repeat",
                               "14:03:03.512|ST,+0012.34 g\\r\\n|0012.34\u21E5|held",
                               "14:03:04.512|\u00E9\\x04|\u00E9|too long",
                               "14:03:05.512|||no reply",
                           }));

    rig.monitor.Form_Unload();
    rig.Add(9, "after\r", u"after\r", RecordStatus::kTyped);
    EXPECT_EQ(rig.list.RowCount(), std::size(records)) << "a row came after the Monitor closed";
}

// Only the last 500 records are kept: the oldest row goes as a new one comes.
TEST(MonitorList, TheLast500) {
    Rig rig;
    for (int n = 1; n <= 501; ++n) {
        rig.Add(n % 60, std::to_string(n), u"", RecordStatus::kTyped);
    }
    ASSERT_EQ(rig.list.RowCount(), 500u);
    EXPECT_EQ(ToUtf8(rig.list.rows.front().cells[kColumnReceived]), "2");
    EXPECT_EQ(ToUtf8(rig.list.rows.back().cells[kColumnReceived]), "501");
}

// A row changes in place as its record's status settles, selected or not, what was typed with it; a record whose
// row is gone (dropped as the oldest, or cleared) does not come back.
TEST(MonitorList, StatusSettlesInPlace) {
    const struct {
        const char* label;
        int records_after;  // how many records come after the waiting one before it settles
        bool cleared;
        bool shown;  // whether the settled row is shown
    } cases[] = {
        {"the newest row", 0, false, true},
        {"a row higher up", 3, false, true},
        {"the oldest of 500 rows", 499, false, true},
        {"a row dropped as the oldest", 500, false, false},
        {"a cleared row", 0, true, false},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.Add(0, "first\r", u"first\r", RecordStatus::kTyped);
        const RecordJournal::RowId waiting = rig.Add(1, "7\r", u"7\r", RecordStatus::kWaiting);
        for (int n = 0; n < c.records_after; ++n) {
            rig.Add(2, "later\r", u"later\r", RecordStatus::kTyped);
        }
        if (c.cleared) {
            rig.monitor.cmdClear_Click();
        }
        const size_t place = c.records_after >= 499 ? 0 : 1;
        const std::vector<std::string> before = rig.Shown();
        if (c.shown) {
            rig.list.Select(place, true);
        }
        rig.journal.Change(waiting, Rig::Row(1, "7\r", u"PRE7\r", RecordStatus::kHeld));

        if (!c.shown) {
            EXPECT_EQ(rig.Shown(), before) << c.label;
            continue;
        }
        std::vector<std::string> after = before;
        after[place] = "14:03:01.512|7\\r|PRE7\u21B5|held";
        EXPECT_EQ(rig.Shown(), after) << c.label;
        EXPECT_EQ(rig.list.SelectedRows(), std::vector<size_t>{place}) << c.label;
    }
}

// The newest row stays in view as rows come, unless the user has scrolled up to read older ones; scrolled back to
// the bottom, the list follows again.
TEST(MonitorList, NewestKeptInViewUnlessScrolledUp) {
    const struct {
        const char* label;
        size_t rows_before;
        std::optional<size_t> user_scrolls_to;
        bool follows;
    } cases[] = {
        {"an empty list", 0, std::nullopt, true},
        {"a list that fills its view", 9, std::nullopt, true},
        {"a list longer than its view", 30, std::nullopt, true},
        {"the user scrolled up", 30, 5, false},
        {"the user scrolled up in a full list", 500, 100, false},
        {"the user scrolled back to the bottom", 30, 20, true},
    };
    for (const auto& c : cases) {
        Rig rig;
        for (size_t n = 0; n < c.rows_before; ++n) {
            rig.Add(0, "old\r", u"old\r", RecordStatus::kTyped);
        }
        if (c.user_scrolls_to) {
            rig.list.top = *c.user_scrolls_to;
        }
        const size_t top = rig.list.top;
        rig.Add(1, "new\r", u"new\r", RecordStatus::kTyped);
        EXPECT_EQ(rig.list.LastRowInView(), c.follows) << c.label;
        if (!c.follows) {
            EXPECT_EQ(rig.list.top, top) << c.label << ": the list moved under the user's eyes";
        }
    }
}

// Copy puts the selected rows on the clipboard as the list shows them, a line each with tabs between the columns,
// in the list's order whatever the order of selecting; without a selection, or with the clipboard held by another
// program, the clipboard keeps what it had and the status line says why.
TEST(MonitorCopy, SelectedRowsAsTabSeparatedText) {
    const struct {
        const char* label;
        std::vector<size_t> selected;
        bool clipboard_held = false;
        const char* clipboard;
        const char* status;
    } cases[] = {
        {"one row", {1}, false, "14:03:01.512\tA\\tB\\r\\n\tA\u21E5B\u21B5\ttyped\r\n", "Copied 1 row."},
        {"two rows",
         {2, 0},
         false,
         "14:03:00.512\t0123\\r\tPRE0123\u21B5\twaiting\r\n14:03:02.512\t\\x02\\\\\t\tno match\r\n",
         "Copied 2 rows."},
        {"nothing selected",
         {},
         false,
         "old",
         "Nothing copied: select the rows to copy first (Ctrl+A selects every row)."},
        {"clipboard held", {0}, true, "old", "Not copied: Opening the clipboard: Access is denied."},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.Add(0, "0123\r", u"PRE0123\r", RecordStatus::kWaiting);
        rig.Add(1, "A\tB\r\n", u"A\tB\r", RecordStatus::kTyped);
        rig.Add(2, "\x02\\", u"", RecordStatus::kNoMatch);
        for (size_t index : c.selected) {
            rig.list.Select(index, true);
        }
        rig.clipboard.text = u"old";
        rig.clipboard.held_by_another_program = c.clipboard_held;
        rig.monitor.cmdCopy_Click();
        EXPECT_EQ(ToUtf8(rig.clipboard.text), c.clipboard) << c.label;
        EXPECT_EQ(ToUtf8(rig.view.status), c.status) << c.label;
    }
}

// Ctrl+A selects every row, for Copy.
TEST(MonitorCopy, SelectAllCopiesEveryRow) {
    Rig rig;
    for (int n = 0; n < 3; ++n) {
        rig.Add(n, std::to_string(n), u"", RecordStatus::kTyped);
    }
    rig.monitor.SelectAll();
    rig.monitor.cmdCopy_Click();
    EXPECT_EQ(ToUtf8(rig.clipboard.text),
              "14:03:00.512\t0\t\ttyped\r\n14:03:01.512\t1\t\ttyped\r\n14:03:02.512\t2\t\ttyped\r\n");
}

// Clear empties the list; the records that come later fill it again from the top.
TEST(MonitorList, ClearEmptiesTheList) {
    Rig rig;
    for (int n = 0; n < 20; ++n) {
        rig.Add(n, "old\r", u"old\r", RecordStatus::kTyped);
    }
    rig.list.Select(3, true);
    rig.view.status = u"Copied 1 row.";
    rig.monitor.cmdClear_Click();
    EXPECT_EQ(rig.list.RowCount(), 0u);
    EXPECT_EQ(rig.view.status, u"");
    rig.Add(30, "new\r", u"new\r", RecordStatus::kTyped);
    EXPECT_EQ(rig.Shown(), std::vector<std::string>{"14:03:30.512|new\\r|new\u21B5|typed"});
}

// A list that fails to take a row says so on the status line and never fails the journal's caller, the records'
// way to the keyboard; once the list works again it shows every row, the missed one included.
TEST(MonitorList, AListThatFailsCatchesUp) {
    Rig rig;
    rig.Add(0, "a\r", u"a\r", RecordStatus::kTyped);
    rig.list.refuse_adds = true;
    const RecordJournal::RowId missed = rig.Add(1, "b\r", u"b\r", RecordStatus::kWaiting);
    EXPECT_NO_THROW(rig.journal.Change(missed, Rig::Row(1, "b\r", u"b\r", RecordStatus::kTyped)));
    EXPECT_EQ(ToUtf8(rig.view.status),
              "The list could not show every record: Adding a row to the list: Not enough memory resources are "
              "available to process this command.");
    rig.list.refuse_adds = false;
    rig.Add(2, "c\r", u"c\r", RecordStatus::kTyped);
    EXPECT_EQ(rig.Shown(),
              (std::vector<std::string>{"14:03:00.512|a\\r|a\u21B5|typed", "14:03:01.512|b\\r|b\u21B5|typed",
                                        "14:03:02.512|c\\r|c\u21B5|typed"}));
    EXPECT_EQ(ToUtf8(rig.view.status), "The list shows every record again.");
}

// Send writes the box's text to the port with its escapes resolved (\xNN as the byte itself, other characters in
// the output encoding), and the status line shows the bytes as the received column would; what cannot be written
// is not written at all, and the status line says why.
TEST(MonitorSend, WritesTheBoxToThePort) {
    FakeAnsiCodePage windows_1252;
    const struct {
        Text box;
        const AnsiCodePage* code_page;  // nullptr: UTF-8
        bool port_open;
        std::string written;
        const char* status;
    } cases[] = {
        {u"P\\r\\n", &windows_1252, true, "P\r\n", "Sent 3 bytes to COM1: P\\r\\n"},
        {u"\\x02W\\x03", &windows_1252, true, "\x02W\x03", "Sent 3 bytes to COM1: \\x02W\\x03"},
        {u"\\e!", &windows_1252, true, "\x1B!", "Sent 2 bytes to COM1: \\e!"},
        {u"T\\u00E9", &windows_1252, true, "T\xE9", "Sent 2 bytes to COM1: T\u00E9"},
        {u"T\\u00E9", nullptr, true, "T\xC3\xA9", "Sent 3 bytes to COM1: T\u00E9"},
        {u"\\xFF", nullptr, true, "\xFF", "Sent 1 byte to COM1: \\xFF"},
        {u"SI\\q", &windows_1252, true, "", "Not sent: \\q is not an escape (write \\\\ for a backslash)."},
        {u"\u4E2D", &windows_1252, true, "", "Not sent: \"\u4E2D\" is not in the output encoding's code page."},
        {u"SI\\r", &windows_1252, false, "", "Not sent: COM1 is not open."},
        {u"", &windows_1252, true, "",
         "Nothing to send: type the text for the device into the box, with escapes such as \\r or \\x02 for control "
         "characters."},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.output_code_page = c.code_page;
        if (c.port_open) {
            rig.comm.SetPortOpen(true);
        }
        rig.view.send_text = c.box;
        rig.monitor.cmdSend_Click();
        const std::string label = ToUtf8(c.box) + (c.code_page == nullptr ? " in UTF-8" : "");
        EXPECT_EQ(rig.comm.device.transmitted[1], c.written) << label;
        EXPECT_EQ(ToUtf8(rig.view.status), c.status) << label;
        EXPECT_EQ(rig.view.send_text, c.box) << label << ": the box keeps its text for another try";
    }
}

// The Request button can be pressed while a request Command is set, and makes the request the tray menu makes;
// without a Command, or before the scheduler is wired, it stays disabled. A Command set or removed meanwhile is
// seen when the window is activated again.
TEST(MonitorRequestButton, OnlyWithACommand) {
    const struct {
        const char* label;
        bool wired;
        bool command_set;
    } cases[] = {
        {"not wired", false, false},
        {"no Command", true, false},
        {"a Command", true, true},
    };
    for (const auto& c : cases) {
        bool command_set = c.command_set;
        MonitorRequest request;
        std::optional<Rig> rig_holder;
        if (c.wired) {
            request = {[&] { return command_set; }, [&] { rig_holder->comm.Output("R\r"); }};
        }
        rig_holder.emplace(std::move(request));
        Rig& rig = *rig_holder;
        rig.comm.SetPortOpen(true);
        EXPECT_EQ(rig.view.request_enabled, c.command_set) << c.label;
        rig.monitor.cmdRequest_Click();
        EXPECT_EQ(rig.comm.device.transmitted[1], c.command_set ? "R\r" : "") << c.label;

        command_set = !command_set;
        rig.monitor.Form_Activate();
        EXPECT_EQ(rig.view.request_enabled, c.wired && command_set) << c.label << ", after a change";
    }
}

}  // namespace
}  // namespace corvanta
