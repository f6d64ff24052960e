#include "platform/win32/win32_code_pages.h"

#include <windows.h>

#include <string>

#include "platform/win32/win32_ansi_code_page.h"
#include "platform/win32/win32_error.h"

namespace corvanta::win32 {

std::unique_ptr<AnsiCodePage> Win32CodePages::Open(uint32_t code_page) const {
    const Text name = AsciiText("code page " + std::to_string(code_page));
    // CP_ACP, CP_OEMCP, CP_MACCP and CP_THREAD_ACP are aliases whose meaning depends on the machine.
    if (code_page <= CP_THREAD_ACP || IsValidCodePage(code_page) == FALSE) {
        throw Error(name + u" is not installed on this system");
    }
    CPINFOEXW info{};
    if (GetCPInfoExW(code_page, 0, &info) == FALSE) {
        throw SystemError(u"GetCPInfoEx for " + name, GetLastError());
    }
    if (info.MaxCharSize > 2) {
        throw Error(name +
                    u" has characters of more than two bytes; only utf-8 and single- and double-byte code "
                    u"pages are read");
    }
    return std::make_unique<Win32AnsiCodePage>(code_page);
}

}  // namespace corvanta::win32
