#pragma once

#include <cstdint>

#include "common/text.h"
#include "platform/ansi_code_page.h"
#include "platform/registry.h"

namespace corvanta {

// The auto-start entry: a value named after the program under the machine's Run key, or under the user's own
// Run key (same path) where the user may not change the machine's.
inline constexpr RegKey kRunKeyRoot = reg::kHkeyLocalMachine;
inline constexpr RegKey kUserRunKeyRoot = reg::kHkeyCurrentUser;
inline constexpr char16_t kRunKeyPath[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Values larger than this read as absent rather than as a huge allocation.
inline constexpr uint32_t kMaxRegStringBytes = 1024 * 1024;

// The Run entry's data: directory, "\", name, ".exe", in double quotes so that Windows cannot split a path
// with spaces at the first blank and run "C:\Program.exe" instead. A directory at a drive's root already ends
// in "\", which gives two in a row; Windows reads "C:\\Corvanta.exe" as "C:\Corvanta.exe".
Text AutoStartCommandPath(TextView directory, TextView exe_name_without_extension);

// Creates the key when missing and stores data as a NUL-terminated REG_SZ value.
void RegWriteString(Registry& registry,
                    const AnsiCodePage& ansi,
                    RegKey root,
                    TextView key_path,
                    TextView value_name,
                    TextView data);

void RegDeleteValueOf(Registry& registry,
                      const AnsiCodePage& ansi,
                      RegKey root,
                      TextView key_path,
                      TextView value_name);

// The text of a REG_SZ value up to its first NUL; empty when the value is missing, of another type (REG_EXPAND_SZ
// included), larger than kMaxRegStringBytes or unreadable. Data without a NUL reads whole.
Text RegReadString(Registry& registry, const AnsiCodePage& ansi, RegKey root, TextView key_path, TextView value_name);

// Writes the auto-start value under `root` and reads it back: whether the key now holds `command`. The routines
// above examine no status code, so the value read back tells whether the write took, whatever stopped it; it is
// compared as the ANSI API stored it, so a path with characters outside the code page is not taken for a failure.
bool WriteAutoStartValue(Registry& registry, const AnsiCodePage& ansi, RegKey root, TextView command);

}  // namespace corvanta
