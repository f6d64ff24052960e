#include "platform/win32/win32_ansi_code_page.h"

#include <climits>
#include <string>

#include "platform/win32/win32_error.h"

namespace corvanta::win32 {

namespace {

// The conversion functions count in int.
int Length(size_t size, const char16_t* what) {
    if (size > static_cast<size_t>(INT_MAX)) {
        throw Error(Text(what) + u": The text is too long.");
    }
    return static_cast<int>(size);
}

}  // namespace

Text Win32AnsiCodePage::ToText(std::string_view ansi) const {
    // A lone lead byte at the end would be dropped or turned into the code page's default character depending
    // on the Windows version; make it U+FFFD everywhere.
    bool lone_lead = false;
    for (size_t i = 0; i < ansi.size(); ++i) {
        if (IsLeadByte(static_cast<unsigned char>(ansi[i]))) {
            lone_lead = i + 1 == ansi.size();
            ++i;
        }
    }
    if (lone_lead) {
        ansi.remove_suffix(1);
    }
    Text text;
    if (!ansi.empty()) {
        const int length = Length(ansi.size(), u"MultiByteToWideChar");
        const int needed = MultiByteToWideChar(code_page_, 0, ansi.data(), length, nullptr, 0);
        if (needed <= 0) {
            ThrowLastError(u"MultiByteToWideChar");
        }
        text.resize(static_cast<size_t>(needed));
        if (MultiByteToWideChar(code_page_, 0, ansi.data(), length, reinterpret_cast<wchar_t*>(text.data()), needed) !=
            needed) {
            ThrowLastError(u"MultiByteToWideChar");
        }
    }
    if (lone_lead) {
        text.push_back(u'\uFFFD');
    }
    return text;
}

std::string Win32AnsiCodePage::ToAnsi(TextView text) const {
    std::string ansi;
    if (text.empty()) {
        return ansi;
    }
    const int length = Length(text.size(), u"WideCharToMultiByte");
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    // No best fit: Windows would otherwise turn look-alikes into other characters (Omega into "O", a
    // full-width quote into a real one); what the code page lacks becomes "?". UTF-8, which Windows 10 offers as
    // the ANSI code page, lacks nothing and refuses the flag (ERROR_INVALID_FLAGS).
    const UINT page = code_page_ == CP_ACP ? GetACP() : code_page_;
    const DWORD flags = page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int needed = WideCharToMultiByte(code_page_, flags, wide, length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        ThrowLastError(u"WideCharToMultiByte");
    }
    ansi.resize(static_cast<size_t>(needed));
    if (WideCharToMultiByte(code_page_, flags, wide, length, ansi.data(), needed, nullptr, nullptr) != needed) {
        ThrowLastError(u"WideCharToMultiByte");
    }
    return ansi;
}

bool Win32AnsiCodePage::IsLeadByte(unsigned char byte) const {
    return IsDBCSLeadByteEx(code_page_, byte) != FALSE;
}

unsigned Win32AnsiCodePage::CodePage() {
    return GetACP();
}

}  // namespace corvanta::win32
