#include "platform/win32/win32_dialogs.h"

#include "platform/win32/about_dialog.h"
#include "platform/win32/dialog_window.h"
#include "platform/win32/output_settings_dialog.h"
#include "platform/win32/properties_dialog.h"

namespace corvanta::win32 {

void Win32Dialogs::ShowProperties() {
    ShowPropertiesDialog(instance_, comm_, store_, spooler_, ansi_);
}

void Win32Dialogs::ShowAbout() {
    ShowAboutDialog(instance_, registry_, ansi_, launcher_);
}

void Win32Dialogs::ShowOutputSettings() {
    ShowOutputSettingsDialog(instance_, registry_, context_);
}

bool Win32Dialogs::BringOpenDialogToFront() {
    return win32::BringOpenDialogToFront();
}

}  // namespace corvanta::win32
