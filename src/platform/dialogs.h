#pragma once

namespace corvanta {

// The program's dialogs. Each is loaded anew at every opening and shown modally: the call returns once the
// dialog has closed.
class Dialogs {
  public:
    virtual ~Dialogs() = default;

    // "CommPort Properties", over the main form's live serial control.
    virtual void ShowProperties() = 0;
    virtual void ShowAbout() = 0;
    // "Output Settings", over the registry's Output and Request values.
    virtual void ShowOutputSettings() = 0;

    // Brings the dialog that is open now (or the message box it shows) to the front; false when none is open.
    virtual bool BringOpenDialogToFront() = 0;
};

}  // namespace corvanta
