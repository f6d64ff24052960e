#pragma once

#include <functional>
#include <optional>

#include "core/serial_control.h"
#include "platform/ansi_code_page.h"
#include "platform/form_host.h"
#include "platform/list_control.h"
#include "platform/settings_store.h"
#include "platform/spooler.h"

namespace corvanta {

// The six drop-down lists of the port properties dialog.
struct PropertiesLists {
    ComboBox& cboPort;
    ComboBox& cboSpeed;
    ComboBox& cboDataBits;
    ComboBox& cboParity;
    ComboBox& cboStopBits;
    ComboBox& cboFlow;
};

// What the port properties dialog works with besides its lists: the main form's serial control (edited
// live, no copy), the settings store, the spooler for the port list, the dialog's own host for its message
// box, and a way to unload the dialog.
struct PropertiesServices {
    SerialControl& MSComm1;
    SettingsStore& store;
    Spooler& spooler;
    const AnsiCodePage& code_page;
    FormHost& host;
    std::function<void()> unload;
};

// The logic of the "CommPort Properties" dialog; its window routes the buttons to cmdOK_Click and
// cmdCancel_Click and calls LoadPropertySettings when it loads.
class frmProperties {
  public:
    frmProperties(PropertiesLists lists, PropertiesServices services);

    // Fills the lists and selects the serial control's live values. A value that has no entry leaves its
    // list unselected; the others still load.
    void LoadPropertySettings();

    // Applies the chosen values to the serial control, stores them and unloads the dialog; on a failure it
    // shows the control's description and keeps the dialog open.
    void cmdOK_Click();

    // Unloads the dialog; nothing is applied or stored.
    void cmdCancel_Click();

  private:
    void FillFixedLists();
    void Preselect();
    std::optional<int16_t> ChosenPort() const;
    void ShowFailure(const Text& description);
    void StoreSettings();

    PropertiesLists lists_;
    PropertiesServices services_;
};

}  // namespace corvanta
