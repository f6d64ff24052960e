#include "about/frmAbout_logic.h"

#include <exception>
#include <string>

#include "common/identity.h"
#include "core/mod1_registry.h"

namespace corvanta {

namespace {

constexpr char16_t kSysInfoKey[] = u"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr char16_t kSysInfoValue[] = u"PATH";
constexpr char16_t kSysInfoFolderKey[] = u"SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr char16_t kSysInfoFolderValue[] = u"MSINFO";
constexpr char16_t kSysInfoExe[] = u"\\MSINFO32.EXE";

// The number in data bytes stored least significant first, in decimal. The hexadecimal text that reading
// them last byte first gives ("&h0000002A") would mean the same number; a decimal reads plainer.
Text DecimalOfBytes(const std::string& bytes) {
    if (bytes.size() > sizeof(uint64_t)) {
        Text hex = u"&h";
        static constexpr char kDigits[] = "0123456789ABCDEF";
        for (auto it = bytes.rbegin(); it != bytes.rend(); ++it) {
            const auto byte = static_cast<unsigned char>(*it);
            hex += static_cast<char16_t>(kDigits[byte >> 4]);
            hex += static_cast<char16_t>(kDigits[byte & 0x0F]);
        }
        return hex;
    }
    uint64_t value = 0;
    for (auto it = bytes.rbegin(); it != bytes.rend(); ++it) {
        value = (value << 8) | static_cast<unsigned char>(*it);
    }
    return AsciiText(std::to_string(value));
}

}  // namespace

bool frmAbout::GetKeyValue(RegKey KeyRoot, TextView KeyName, TextView SubKeyRef, Text& KeyVal) {
    const RegValueRead read = ReadRegValue(registry_, ansi_, KeyRoot, KeyName, SubKeyRef);
    if (read.status != RegValueRead::Status::kRead) {
        KeyVal.clear();
        return false;
    }
    std::string data = read.value.data;
    if (data.empty()) {
        // No last character to test for a NUL: an error for the caller's trap.
        throw Error(u"The registry value " + Text(SubKeyRef) + u" holds no data.");
    }
    // Trimmed as bytes, before conversion, so a double-byte character cannot shift the cut.
    if (data.back() == '\0') {
        data.pop_back();
    }
    if (read.value.type == reg::kRegSz) {
        KeyVal = ansi_.ToText(data);
    } else if (read.value.type == reg::kRegDword) {
        KeyVal = DecimalOfBytes(data);
    }
    return true;
}

void frmAbout::StartSysInfo() {
    bool started = false;
    try {
        Text SysInfoPath;
        bool found = GetKeyValue(reg::kHkeyLocalMachine, kSysInfoKey, kSysInfoValue, SysInfoPath);
        if (!found && GetKeyValue(reg::kHkeyLocalMachine, kSysInfoFolderKey, kSysInfoFolderValue, SysInfoPath)) {
            SysInfoPath += kSysInfoExe;
            found = launcher_.IsPlainFile(SysInfoPath);
        }
        if (found) {
            launcher_.Start(SysInfoPath, show::kNormalFocus);
            started = true;
        }
    } catch (const std::exception&) {
        // A failed start and an unreadable value end like a missing program: in the same message.
        started = false;
    }
    if (!started) {
        form_.MsgBox(kUnavailableMessage, msgbox::kOkOnly, kAppTitle);
    }
}

}  // namespace corvanta
