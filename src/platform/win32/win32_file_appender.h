#pragma once

#include "platform/file_appender.h"

namespace corvanta::win32 {

// CreateFileW with write access, sharing reading only: a spreadsheet may open the file meanwhile, and one that
// holds it (Excel does while it shows it) makes Open fail with a sharing violation instead of waiting.
class Win32FileAppender : public FileAppender {
  public:
    std::unique_ptr<AppendingFile> Open(const Text& path) override;
};

}  // namespace corvanta::win32
