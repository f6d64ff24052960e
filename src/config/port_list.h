#pragma once

#include <cstdint>
#include <optional>

#include "common/text.h"
#include "platform/ansi_code_page.h"
#include "platform/list_control.h"
#include "platform/spooler.h"

namespace corvanta {

namespace port_kind {
constexpr int32_t kSerial = 1;    // names beginning with "COM"
constexpr int32_t kParallel = 2;  // names beginning with "LPT"
}  // namespace port_kind

// Clears list, then appends the names of the spooler's ports of the given kind, whole and in the spooler's
// order. Returns the number of records the spooler reported in its last answer (every kind of port), 0 when
// it had nothing to return. Asks the spooler twice at most: for the size, then for the data.
int32_t FillPortList(ComboBox& list, int32_t kind, Spooler& spooler, const AnsiCodePage& code_page);

// The NUL-terminated ANSI string at address, as text; a null address gives empty text.
Text AnsiPtrToString(const char* address, const AnsiCodePage& code_page);

}  // namespace corvanta
