#include "platform/win32/win32_dialogs.h"

// TEMPORARY until the dialog windows are committed: without them the menu's dialog commands report an error.
#if __has_include("platform/win32/dialog_window.h")
#define CORVANTA_HAVE_DIALOG_WINDOWS 1
#include "platform/win32/about_dialog.h"
#include "platform/win32/dialog_window.h"
#include "platform/win32/properties_dialog.h"
#else
#include "platform/text.h"
#endif

namespace corvanta::win32 {

#if CORVANTA_HAVE_DIALOG_WINDOWS
void Win32Dialogs::ShowProperties() {
    ShowPropertiesDialog(instance_, comm_, store_, spooler_, ansi_);
}

void Win32Dialogs::ShowAbout() {
    ShowAboutDialog(instance_, registry_, ansi_, launcher_);
}

bool Win32Dialogs::BringOpenDialogToFront() {
    return win32::BringOpenDialogToFront();
}
#else
void Win32Dialogs::ShowProperties() {
    throw Error(u"The port properties dialog is not built yet.");
}

void Win32Dialogs::ShowAbout() {
    throw Error(u"The About dialog is not built yet.");
}

bool Win32Dialogs::BringOpenDialogToFront() {
    return false;
}
#endif

}  // namespace corvanta::win32
