#pragma once

#include "common/text.h"

namespace corvanta {

namespace show {
// The new program's window shown normally and given the focus (SW_SHOWNORMAL).
constexpr int kNormalFocus = 1;
}  // namespace show

// Starts other programs and tests for files.
class ProcessLauncher {
  public:
    virtual ~ProcessLauncher() = default;

    // True when path names an existing file that is not a folder.
    virtual bool IsPlainFile(TextView path) const = 0;

    // Starts the program at path, the whole text being one program path (never split at a blank), with no
    // arguments, and returns without waiting for it. Throws corvanta::Error when it cannot be started.
    virtual void Start(TextView program_path, int show_command) = 0;
};

}  // namespace corvanta
