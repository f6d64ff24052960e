#pragma once

#include <functional>

#include "common/text.h"
#include "core/record_journal.h"
#include "core/serial_control.h"
#include "monitor/monitor_rows.h"
#include "platform/ansi_code_page.h"
#include "platform/clipboard.h"
#include "platform/list_control.h"
#include "platform/monitor_window.h"

namespace corvanta {

// A reading asked of the device from the Monitor, as the tray menu's "Request Reading" asks it. Until both are
// given, the Request button stays disabled.
struct MonitorRequest {
    std::function<bool()> possible;  // whether a request can be made: a request Command is set
    std::function<void()> make;
};

// What the Monitor works with; all of it outlives the Monitor.
struct MonitorServices {
    RecordJournal& journal;
    SerialControl& port;
    Clipboard& clipboard;
    // The output encoding as records are decoded now, in which the Send box's characters above U+007F are written
    // (see EncodeCommand); nullptr stands for UTF-8.
    std::function<const AnsiCodePage*()> output_code_page;
    MonitorRequest request;
};

// The Monitor's logic: the rows of the records that come while it is open, and what its buttons do. Its window
// routes the handlers here. Nothing it does can hold up or fail the records' way to the focused window: a row it
// cannot show is said on its status line.
class frmMonitor : private RecordJournal::Listener {
  public:
    frmMonitor(RowList& lstRecords, MonitorView& view, MonitorServices services);
    ~frmMonitor() override;
    frmMonitor(const frmMonitor&) = delete;
    frmMonitor& operator=(const frmMonitor&) = delete;

    // Rows from now on; the Request button follows whether a request can be made.
    void Form_Load();
    // The window is active again: the request Command may have been set or removed meanwhile.
    void Form_Activate();
    // The rows go, and no more come.
    void Form_Unload();

    // Writes what the Send box holds, its escapes resolved, to the port; the status line says what went or why
    // nothing did.
    void cmdSend_Click();
    void cmdRequest_Click();
    // The selected rows onto the clipboard as tab-separated text.
    void cmdCopy_Click();
    void cmdClear_Click();
    // Ctrl+A in the list.
    void SelectAll();

  private:
    void RowAdded(RecordJournal::RowId id, const LogRow& row) override;
    void RowChanged(RecordJournal::RowId id, const LogRow& row) override;
    bool RequestPossible() const;
    // Runs a change of the list; after a failure, the next change fills the list anew from the rows instead.
    void UpdateList(const std::function<void()>& step);

    RowList& lstRecords_;
    MonitorView& view_;
    MonitorServices services_;
    MonitorRows rows_;
    bool list_in_step_ = true;
};

}  // namespace corvanta
