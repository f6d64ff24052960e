#pragma once

#include <windows.h>

#include "core/serial_control.h"
#include "platform/ansi_code_page.h"
#include "platform/settings_store.h"
#include "platform/spooler.h"

namespace corvanta::win32 {

// Control ids of the "CommPort Properties" dialog, for tests that drive it.
namespace properties_id {
constexpr int kFrame = 1000;
constexpr int kPort = 1001;
constexpr int kSpeed = 1002;
constexpr int kDataBits = 1003;
constexpr int kParity = 1004;
constexpr int kStopBits = 1005;
constexpr int kFlow = 1006;
constexpr int kOk = IDOK;
constexpr int kCancel = IDCANCEL;
}  // namespace properties_id

// Shows the "CommPort Properties" dialog modally over the live serial control and returns once it has
// unloaded. While another dialog is open, that one is brought to the front instead.
void ShowPropertiesDialog(HINSTANCE instance,
                          SerialControl& comm,
                          SettingsStore& store,
                          Spooler& spooler,
                          const AnsiCodePage& ansi);

}  // namespace corvanta::win32
