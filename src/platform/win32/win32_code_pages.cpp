#include "platform/win32/win32_code_pages.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

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

namespace {

// EnumSystemCodePages hands its callback no context of its own: the list being made is the calling thread's.
thread_local std::vector<uint32_t>* t_listed = nullptr;

BOOL CALLBACK NoteCodePage(LPWSTR number) {
    t_listed->push_back(static_cast<uint32_t>(wcstoul(number, nullptr, 10)));
    return TRUE;
}

}  // namespace

std::vector<CodePages::Installed> Win32CodePages::List() const {
    std::vector<uint32_t> numbers;
    t_listed = &numbers;
    const BOOL listed = EnumSystemCodePagesW(&NoteCodePage, CP_INSTALLED);
    t_listed = nullptr;
    if (listed == FALSE) {
        throw SystemError(u"EnumSystemCodePages", GetLastError());
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    std::vector<Installed> installed;
    for (const uint32_t number : numbers) {
        CPINFOEXW info{};
        // Only those Open takes: the aliases and code pages of longer characters (UTF-7, UTF-8, GB18030) are left out.
        if (number <= CP_THREAD_ACP || GetCPInfoExW(number, 0, &info) == FALSE || info.MaxCharSize > 2) {
            continue;
        }
        const auto* name = reinterpret_cast<const char16_t*>(info.CodePageName);
        installed.push_back({number, name[0] != u'\0' ? Text(name) : AsciiText(std::to_string(number))});
    }
    return installed;
}

}  // namespace corvanta::win32
