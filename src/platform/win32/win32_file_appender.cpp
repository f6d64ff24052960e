#include "platform/win32/win32_file_appender.h"

#include <windows.h>

#include <algorithm>
#include <limits>

#include "platform/win32/handles.h"
#include "platform/win32/win32_error.h"

namespace corvanta::win32 {

namespace {

class Win32AppendingFile : public AppendingFile {
  public:
    Win32AppendingFile(UniqueHandle file, Text path, uint64_t size)
        : file_(std::move(file)), path_(std::move(path)), size_(size) {}

    uint64_t Size() const override { return size_; }

    void Append(std::string_view bytes) override {
        LARGE_INTEGER end{};
        if (SetFilePointerEx(file_.Get(), LARGE_INTEGER{}, &end, FILE_END) == FALSE) {
            ThrowLastError(u"Writing " + path_);
        }
        size_t written = 0;
        while (written < bytes.size()) {
            const DWORD chunk =
                static_cast<DWORD>(std::min<size_t>(bytes.size() - written, std::numeric_limits<DWORD>::max()));
            DWORD done = 0;
            const BOOL wrote = WriteFile(file_.Get(), bytes.data() + written, chunk, &done, nullptr);
            if (wrote == FALSE || done == 0) {
                const DWORD error = wrote == FALSE ? GetLastError() : ERROR_WRITE_FAULT;
                TakeBack(end);
                throw SystemError(u"Writing " + path_, error);
            }
            written += done;
        }
    }

  private:
    // A write cut short by a full disk leaves part of a line: the file is cut back to where it ended. Nothing
    // more can be done if that fails too; the write's own error is the one reported.
    void TakeBack(LARGE_INTEGER end) {
        if (SetFilePointerEx(file_.Get(), end, nullptr, FILE_BEGIN) != FALSE) {
            SetEndOfFile(file_.Get());
        }
    }

    UniqueHandle file_;
    Text path_;
    uint64_t size_;
};

}  // namespace

std::unique_ptr<AppendingFile> Win32FileAppender::Open(const Text& path) {
    UniqueHandle file(CreateFileW(Wide(path), GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        ThrowLastError(u"Opening " + path);
    }
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) {
        throw Error(u"Opening " + path + u": it is a device, not a file.");
    }
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file.Get(), &size) == FALSE) {
        ThrowLastError(u"Opening " + path);
    }
    return std::make_unique<Win32AppendingFile>(std::move(file), path, static_cast<uint64_t>(size.QuadPart));
}

}  // namespace corvanta::win32
