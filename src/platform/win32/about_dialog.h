#pragma once

#include <windows.h>

#include "platform/ansi_code_page.h"
#include "platform/process_launcher.h"
#include "platform/registry.h"

namespace corvanta::win32 {

// Control ids of the About dialog, for tests that drive it.
namespace about_id {
constexpr int kOk = IDOK;
constexpr int kSysInfo = 1201;
constexpr int kDisclaimer = 1210;
constexpr int kTitle = 1211;
constexpr int kVersion = 1212;
constexpr int kComment0 = 1220;  // publisher; 1221 to 1223: its licence, PCRE2's copyright, PCRE2's licence
}  // namespace about_id

// Shows the About dialog modally and returns once it has closed. While another dialog is open, that one is
// brought to the front instead.
void ShowAboutDialog(HINSTANCE instance, Registry& reg, const AnsiCodePage& ansi, ProcessLauncher& launcher);

}  // namespace corvanta::win32
