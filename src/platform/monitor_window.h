#pragma once

#include "common/text.h"

namespace corvanta {

// The Monitor's window as the tray menu sees it: modeless, at most one at a time, and gone with everything it
// showed once the user closes it.
class MonitorWindow {
  public:
    virtual ~MonitorWindow() = default;

    virtual bool IsOpen() const = 0;
    // Shows a new Monitor; its rows start with the records that come from now on.
    virtual void Open() = 0;
    // Brings the open Monitor to the front, restored if it was minimised.
    virtual void BringToFront() = 0;
};

// The Monitor's window as its logic sees it, besides the list of rows: the text typed into the Send box, the status
// line, and whether the Request button can be pressed.
class MonitorView {
  public:
    virtual ~MonitorView() = default;

    virtual Text SendText() const = 0;
    virtual void SetStatus(TextView text) = 0;
    virtual void EnableRequest(bool enabled) = 0;
};

}  // namespace corvanta
