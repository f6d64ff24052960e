#pragma once

#include "common/text.h"
#include "platform/monitor_window.h"

namespace corvanta {

// Whether the Monitor is open and in front; the test closes it or puts another window in front as a user would.
// A second window while one is open is refused, as a fault the tray menu must not make.
class FakeMonitorWindow : public MonitorWindow {
  public:
    bool IsOpen() const override { return open; }
    void Open() override {
        if (open) {
            throw Error(u"A second Monitor was opened.");
        }
        open = true;
        in_front = true;
    }
    void BringToFront() override { in_front = open; }

    bool open = false;
    bool in_front = false;
};

// The Monitor window's Send box, status line and Request button.
class FakeMonitorView : public MonitorView {
  public:
    Text SendText() const override { return send_text; }
    void SetStatus(TextView text) override { status = text; }
    void EnableRequest(bool enabled) override { request_enabled = enabled; }

    Text send_text;
    Text status;
    bool request_enabled = false;
};

}  // namespace corvanta
