#pragma once

namespace corvanta {

// The program's title: the settings store's application name, the auto-start value's name and the caption
// of the main form and of the program's message boxes.
inline constexpr char16_t kAppTitle[] = u"Corvanta";

}  // namespace corvanta
