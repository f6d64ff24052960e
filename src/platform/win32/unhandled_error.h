#pragma once

#include <exception>

namespace corvanta::win32 {

// The last stop for an error that a window procedure caught: exceptions must never unwind through the system's
// code that called the procedure. Tells the user in a message box captioned with the program title; the
// program carries on.
void ReportUnhandledError(const std::exception& error) noexcept;

}  // namespace corvanta::win32
