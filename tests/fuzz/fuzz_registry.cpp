// RegReadString and the About dialog's GetKeyValue / StartSysInfo, both readers of ReadRegValue, over arbitrary
// registry values: any type, any size (past the limit of every value too), data with or without its NUL, a value
// that changes between the size query and the read. Nothing reads past the data, no key stays open, and each
// routine gives the text its rules promise.

#include <string>

#include "about/frmAbout_logic.h"
#include "core/auto_start.h"
#include "core/mod1_registry.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_form_host.h"
#include "fakes/fake_process_launcher.h"
#include "fakes/fake_registry.h"
#include "fakes/racing_registry.h"
#include "fuzz_support.h"

using corvanta::FakeRegistry;
using corvanta::RegKey;
using corvanta::Text;
using corvanta::fuzz::Shown;
namespace reg = corvanta::reg;

namespace {

constexpr char kRunPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kRunName[] = "Corvanta";
constexpr char kInfoPath[] = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr char kInfoName[] = "PATH";
constexpr char kFolderPath[] = "SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr char kFolderName[] = "MSINFO";

enum Flags : uint8_t {
    kDoubleByte = 0x01,   // a Shift-JIS-like ANSI code page
    kNoValue = 0x02,      // the value is missing
    kNoKey = 0x04,        // its key is missing too
    kRace = 0x08,         // the value changes right after the size query
    kFolderValue = 0x10,  // the System Information folder value instead of its path value
    kFileExists = 0x20,   // the launcher knows the file the value names
    kOversize = 0x40,     // the value's data runs past reg::kMaxValueBytes
};

// Sizes come from 16 bits; kOversize pads the data with NULs past the limit every value is read with.
FakeRegistry::Value ReadValue(corvanta::fuzz::Reader& input, bool oversize) {
    FakeRegistry::Value value;
    value.type = input.U32();
    value.data = std::string(input.Bytes(input.U16()));
    if (oversize) {
        value.data.resize(reg::kMaxValueBytes + 1 + value.data.size() % 16, '\0');
    }
    return value;
}

std::string Describe(const FakeRegistry::Value& value) {
    return "type " + std::to_string(value.type) + ", " + std::to_string(value.data.size()) + " bytes";
}

// The text of string data up to its first NUL byte, as RegReadString promises it.
Text UpToNul(const corvanta::AnsiCodePage& ansi, const std::string& data) {
    return ansi.ToText(data.substr(0, data.find('\0')));
}

// The number the little-endian data bytes hold, as GetKeyValue shows a REG_DWORD.
Text DwordText(const std::string& bytes) {
    if (bytes.size() > 8) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        std::string hex = "&h";
        for (auto it = bytes.rbegin(); it != bytes.rend(); ++it) {
            hex += kDigits[static_cast<unsigned char>(*it) >> 4];
            hex += kDigits[static_cast<unsigned char>(*it) & 0x0F];
        }
        return corvanta::AsciiText(hex);
    }
    uint64_t number = 0;
    for (auto it = bytes.rbegin(); it != bytes.rend(); ++it) {
        number = number << 8 | static_cast<unsigned char>(*it);
    }
    return corvanta::AsciiText(std::to_string(number));
}

void CheckRegReadString(corvanta::RacingRegistry& registry,
                        const corvanta::FakeAnsiCodePage& ansi,
                        uint8_t flags,
                        const std::optional<FakeRegistry::Value>& first,
                        const std::optional<FakeRegistry::Value>& second) {
    if (second) {
        registry.RewriteAfterSizeQuery(reg::kHkeyLocalMachine, kRunPath, kRunName, *second);
    }
    const Text read =
        corvanta::RegReadString(registry, ansi, corvanta::kRunKeyRoot, corvanta::kRunKeyPath, u"Corvanta");
    const std::string context = "RegReadString of " + (first ? Describe(*first) : "no value");
    FUZZ_CHECK(registry.OpenKeyCount() == 0, context + " left a key open");
    FUZZ_CHECK(read.find(u'\0') == Text::npos, context + " kept a NUL: " + Shown(read));
    const bool race = (flags & kRace) != 0;
    if (!first || first->data.size() > reg::kMaxValueBytes || (!race && first->type != reg::kRegSz)) {
        FUZZ_CHECK(read.empty(), context + " read " + Shown(read));
    } else if (!race) {
        FUZZ_CHECK(read == UpToNul(ansi, first->data), context + " read " + Shown(read));
    } else {
        // Changed under it: the value as the second call finds it, so never more text than the buffer sized by
        // the first query holds, and text only from a value that is a string now.
        const std::string changed = context + ", then " + Describe(*second) + ", read " + Shown(read);
        FUZZ_CHECK(read.size() <= first->data.size(), changed);
        FUZZ_CHECK(read.empty() || second->type == reg::kRegSz, changed);
    }
}

void CheckGetKeyValue(FakeRegistry& registry,
                      const corvanta::FakeAnsiCodePage& ansi,
                      const std::optional<FakeRegistry::Value>& value,
                      bool folder) {
    corvanta::FakeFormHost form;
    corvanta::FakeProcessLauncher launcher;
    corvanta::frmAbout about(form, registry, ansi, launcher);
    const Text unchanged = u"unchanged";
    Text text = unchanged;
    const std::string context = "GetKeyValue of " + (value ? Describe(*value) : "no value");
    bool read = false;
    bool threw = false;
    try {
        read = about.GetKeyValue(
            reg::kHkeyLocalMachine,
            folder ? u"SOFTWARE\\Microsoft\\Shared Tools Location" : u"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO",
            folder ? u"MSINFO" : u"PATH", text);
    } catch (const corvanta::Error&) {
        threw = true;
    }
    FUZZ_CHECK(registry.OpenKeyCount() == 0, context + " left a key open");
    if (!value || value->data.size() > reg::kMaxValueBytes) {
        FUZZ_CHECK(!threw && !read && text.empty(), context + " gave " + Shown(text));
        return;
    }
    if (value->data.empty()) {
        FUZZ_CHECK(threw, context + " did not report the empty value");
        return;
    }
    FUZZ_CHECK(!threw && read, context + " failed");
    std::string data = value->data;
    if (data.back() == '\0') {
        data.pop_back();
    }
    const Text expected = value->type == reg::kRegSz      ? ansi.ToText(data)
                          : value->type == reg::kRegDword ? DwordText(data)
                                                          : unchanged;
    FUZZ_CHECK(text == expected, context + " gave " + Shown(text) + ", not " + Shown(expected));
}

// Whatever the registry holds, the button either starts a program or says that it cannot.
void CheckStartSysInfo(FakeRegistry& registry, const corvanta::FakeAnsiCodePage& ansi, const Text& named_file) {
    corvanta::FakeFormHost form;
    corvanta::FakeProcessLauncher launcher;
    launcher.files = {named_file, named_file + u"\\MSINFO32.EXE"};
    corvanta::frmAbout about(form, registry, ansi, launcher);
    about.BtnSysInfo_Click();
    size_t started = 0;
    for (const auto& request : launcher.requests) {
        started += request.started ? 1 : 0;
    }
    FUZZ_CHECK(registry.OpenKeyCount() == 0, "StartSysInfo left a key open");
    FUZZ_CHECK(started + form.message_boxes.size() == 1, "StartSysInfo started " + std::to_string(started) +
                                                             " and showed " +
                                                             std::to_string(form.message_boxes.size()) + " messages");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvanta::fuzz::Reader input(data, size);
    const uint8_t flags = input.U8();
    corvanta::FakeAnsiCodePage ansi;
    ansi.double_byte = (flags & kDoubleByte) != 0;

    std::optional<FakeRegistry::Value> value = ReadValue(input, (flags & kOversize) != 0);
    std::optional<FakeRegistry::Value> next;
    if (flags & kRace) {
        next = ReadValue(input, false);
    }
    corvanta::RacingRegistry registry;
    const bool folder = (flags & kFolderValue) != 0;
    if (flags & kNoKey) {
        value.reset();
    } else if (flags & kNoValue) {
        registry.Put(reg::kHkeyLocalMachine, kRunPath, "other", reg::kRegSz, std::string("x\0", 2));
        registry.Put(reg::kHkeyLocalMachine, folder ? kFolderPath : kInfoPath, "other", reg::kRegSz, "x");
        value.reset();
    } else {
        registry.Put(reg::kHkeyLocalMachine, kRunPath, kRunName, value->type, value->data);
        registry.Put(reg::kHkeyLocalMachine, folder ? kFolderPath : kInfoPath, folder ? kFolderName : kInfoName,
                     value->type, value->data);
    }

    CheckGetKeyValue(registry, ansi, value, folder);
    const Text named_file = value && (flags & kFileExists) ? UpToNul(ansi, value->data) : Text(u"?");
    CheckStartSysInfo(registry, ansi, named_file);
    CheckRegReadString(registry, ansi, flags, value, next);
    return 0;
}
