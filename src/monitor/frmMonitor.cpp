#include "monitor/frmMonitor.h"

#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/serial_settings.h"
#include "core/escapes.h"
#include "core/request_scheduler.h"

namespace corvanta {

namespace {

Text Describe(const std::exception& failure) {
    if (const auto* error = dynamic_cast<const Error*>(&failure)) {
        return error->Description();
    }
    return FromUtf8(failure.what());
}

// A reason as the end of a sentence of the status line.
Text Sentence(Text reason) {
    if (reason.empty() || reason.back() != u'.') {
        reason.push_back(u'.');
    }
    return reason;
}

Text Count(size_t count, const char* one, const char* many) {
    return AsciiText(std::to_string(count) + " " + (count == 1 ? one : many));
}

}  // namespace

frmMonitor::frmMonitor(RowList& lstRecords, MonitorView& view, MonitorServices services)
    : lstRecords_(lstRecords), view_(view), services_(std::move(services)) {}

frmMonitor::~frmMonitor() {
    services_.journal.Detach(*this);
}

void frmMonitor::Form_Load() {
    services_.journal.Attach(*this);
    view_.EnableRequest(RequestPossible());
}

void frmMonitor::Form_Activate() {
    view_.EnableRequest(RequestPossible());
}

void frmMonitor::Form_Unload() {
    services_.journal.Detach(*this);
    rows_.Clear();
}

bool frmMonitor::RequestPossible() const {
    return services_.request.possible && services_.request.make && services_.request.possible();
}

void frmMonitor::RowAdded(RecordJournal::RowId id, const LogRow& row) {
    const bool dropped_oldest = rows_.Add(id, row).dropped_oldest;
    UpdateList([&] {
        const bool follow = lstRecords_.LastRowInView();
        lstRecords_.AddRow(ShownCells(row));
        if (dropped_oldest) {
            lstRecords_.RemoveFirstRow();
        }
        if (follow) {
            lstRecords_.ScrollToLastRow();
        }
    });
}

void frmMonitor::RowChanged(RecordJournal::RowId id, const LogRow& row) {
    if (const std::optional<size_t> index = rows_.Change(id, row)) {
        UpdateList([&] { lstRecords_.SetRow(*index, ShownCells(row)); });
    }
}

void frmMonitor::UpdateList(const std::function<void()>& step) {
    // The journal tells the rows from the records' way to the keyboard: a failure here must end here.
    try {
        if (list_in_step_) {
            step();
            return;
        }
        lstRecords_.Clear();
        for (size_t index = 0; index < rows_.Size(); ++index) {
            lstRecords_.AddRow(ShownCells(rows_.Row(index)));
        }
        lstRecords_.ScrollToLastRow();
        list_in_step_ = true;
        view_.SetStatus(u"The list shows every record again.");
    } catch (const std::exception& failure) {
        // Until the list is filled anew, its indexes may no longer be the rows'.
        list_in_step_ = false;
        view_.SetStatus(u"The list could not show every record: " + Sentence(Describe(failure)));
    }
}

void frmMonitor::cmdSend_Click() {
    const Text value = view_.SendText();
    if (value.empty()) {
        view_.SetStatus(
            u"Nothing to send: type the text for the device into the box, with escapes such as \\r or "
            u"\\x02 for control characters.");
        return;
    }
    const AnsiCodePage* code_page = services_.output_code_page();
    try {
        const std::string bytes = EncodeCommand(value, code_page);
        services_.port.Output(bytes);
        view_.SetStatus(u"Sent " + Count(bytes.size(), "byte", "bytes") + u" to " +
                        CommPortName(services_.port.CommPort()) + u": " + EscapeReceived(bytes, code_page));
    } catch (const Error& refusal) {
        view_.SetStatus(u"Not sent: " + Sentence(refusal.Description()));
    }
}

void frmMonitor::cmdRequest_Click() {
    if (!RequestPossible()) {
        view_.EnableRequest(false);
        view_.SetStatus(u"No request was made: no request Command is set.");
        return;
    }
    // The reply, or a "no reply" row, comes into the list; the request's own failures are told as the tray
    // menu's are.
    view_.SetStatus({});
    services_.request.make();
}

void frmMonitor::cmdCopy_Click() {
    const std::vector<size_t> selected = lstRecords_.SelectedRows();
    if (selected.empty()) {
        view_.SetStatus(u"Nothing copied: select the rows to copy first (Ctrl+A selects every row).");
        return;
    }
    std::vector<MonitorCells> cells;
    cells.reserve(selected.size());
    for (size_t index : selected) {
        if (index < rows_.Size()) {
            cells.push_back(ShownCells(rows_.Row(index)));
        }
    }
    try {
        services_.clipboard.SetText(TabSeparated(cells));
        view_.SetStatus(u"Copied " + Count(cells.size(), "row", "rows") + u".");
    } catch (const Error& failure) {
        view_.SetStatus(u"Not copied: " + Sentence(failure.Description()));
    }
}

void frmMonitor::cmdClear_Click() {
    rows_.Clear();
    lstRecords_.Clear();
    list_in_step_ = true;
    view_.SetStatus({});
}

void frmMonitor::SelectAll() {
    for (size_t index = 0; index < lstRecords_.RowCount(); ++index) {
        lstRecords_.Select(index, true);
    }
}

}  // namespace corvanta
