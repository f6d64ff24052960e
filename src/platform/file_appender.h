#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "common/text.h"

namespace corvanta {

// A file open for adding to its end. Others may read it meanwhile (a spreadsheet showing the log) but not write.
class AppendingFile {
  public:
    virtual ~AppendingFile() = default;

    // Its size in bytes when it was opened.
    virtual uint64_t Size() const = 0;

    // Adds the bytes at the end, all of them or none: a write that fails part way (a full disk) is taken back, so
    // the file never ends in half a line. Throws Error "operation: reason".
    virtual void Append(std::string_view bytes) = 0;
};

// Opens files for appending, each for as long as its AppendingFile lives.
class FileAppender {
  public:
    virtual ~FileAppender() = default;

    // Opens the file, creating it when it is missing (its folder is not created). Throws Error naming the path
    // and the reason: a missing folder, a file another program holds (a spreadsheet that has it open), no right.
    virtual std::unique_ptr<AppendingFile> Open(const Text& path) = 0;
};

}  // namespace corvanta
