#include "platform/win32/win32_error.h"

#include <string>

namespace corvanta::win32 {

Text SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    Text message;
    if (length != 0 && buffer != nullptr) {
        message = FromWide(buffer, length);
        while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r' || message.back() == u' ')) {
            message.pop_back();
        }
    }
    if (buffer != nullptr) {
        LocalFree(buffer);
    }
    if (message.empty()) {
        message = AsciiText("System error " + std::to_string(code) + ".");
    }
    return message;
}

Error SystemError(TextView operation, DWORD code) {
    Text text(operation);
    text += u": ";
    text += SystemMessage(code);
    return Error(std::move(text));
}

void ThrowLastError(TextView operation) {
    const DWORD code = GetLastError();
    throw SystemError(operation, code);
}

}  // namespace corvanta::win32
