#pragma once

#include "platform/process_launcher.h"

namespace corvanta::win32 {

// GetFileAttributesW and CreateProcessW.
class Win32ProcessLauncher : public ProcessLauncher {
  public:
    bool IsPlainFile(TextView path) const override;
    void Start(TextView program_path, int show_command) override;
};

}  // namespace corvanta::win32
