#include "core/output_settings.h"

#include "core/mod1_registry.h"

#include <cstring>
#include <string>
#include <utility>

namespace corvanta {

namespace {

constexpr uint32_t kMaxKeyDelayMs = 1000;
constexpr uint32_t kMaxRecordGapMs = 60000;

Text TypeName(uint32_t type) {
    switch (type) {
        case reg::kRegSz:
            return u"REG_SZ";
        case reg::kRegExpandSz:
            return u"REG_EXPAND_SZ";
        case reg::kRegBinary:
            return u"REG_BINARY";
        case reg::kRegDword:
            return u"REG_DWORD";
        case reg::kRegMultiSz:
            return u"REG_MULTI_SZ";
        default:
            return AsciiText("type " + std::to_string(type));
    }
}

Text StringOf(const RegValue& value, const AnsiCodePage& ansi) {
    std::optional<Text> text = RegText(value, ansi);
    if (!text) {
        throw Error(u"it is " + TypeName(value.type) + u", not REG_SZ");
    }
    return std::move(*text);
}

uint32_t DwordOf(const RegValue& value) {
    if (value.type != reg::kRegDword) {
        throw Error(u"it is " + TypeName(value.type) + u", not REG_DWORD");
    }
    if (value.data.size() != 4) {
        throw Error(AsciiText("it is a REG_DWORD of " + std::to_string(value.data.size()) + " bytes, not 4"));
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(value.data.data());
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

Text Quoted(TextView text) {
    return u"\"" + Text(text) + u"\"";
}

std::map<char16_t, Text> ParseControlMap(TextView value) {
    std::map<char16_t, Text> map;
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(u';', start);
        if (end == TextView::npos) {
            end = value.size();
        }
        const TextView entry = value.substr(start, end - start);
        start = end + 1;
        if (entry.empty()) {
            continue;
        }
        const size_t equals = entry.find(u'=');
        if (equals == TextView::npos) {
            throw Error(u"the entry " + Quoted(entry) + u" has no \"=\"");
        }
        const Text character = Unescape(entry.substr(0, equals));
        if (character.size() != 1 || !(IsOtherControl(character[0]) || character[0] == u'\t' || character[0] == u'\b' ||
                                       character[0] == u'\x1B')) {
            throw Error(u"the entry " + Quoted(entry) +
                        u" does not start with one control character other than CR or LF (such as \\x1d)");
        }
        if (!map.emplace(character[0], Unescape(entry.substr(equals + 1))).second) {
            throw Error(u"the entry " + Quoted(entry) + u" names a character a second time");
        }
    }
    if (map.empty()) {
        throw Error(u"it is neither drop, unicode nor a list such as \\x1d=|;\\x04=");
    }
    return map;
}

uint32_t ParseCodePage(TextView value, const CodePages& code_pages) {
    if (EqualIgnoringAsciiCase(value, u"ansi")) {
        return 0;
    }
    if (EqualIgnoringAsciiCase(value, u"utf-8") || EqualIgnoringAsciiCase(value, u"utf8")) {
        return kUtf8CodePage;
    }
    uint32_t number = 0;
    for (char16_t unit : value) {
        if (unit < u'0' || unit > u'9' || number > 0xFFFF) {
            throw Error(Quoted(value) + u" is neither ansi, utf-8 nor a code page number");
        }
        number = number * 10 + (unit - u'0');
    }
    if (value.empty() || number == 0 || number > 0xFFFF) {
        throw Error(Quoted(value) + u" is neither ansi, utf-8 nor a code page number");
    }
    if (number != kUtf8CodePage) {
        code_pages.Open(number);
    }
    return number;
}

void ParseValue(std::u16string_view name,
                const RegValue& raw,
                const AnsiCodePage& ansi,
                const CodePages& code_pages,
                OutputSettings& settings) {
    if (name == u"Prefix") {
        settings.prefix = Unescape(StringOf(raw, ansi));
    } else if (name == u"Suffix") {
        settings.suffix = Unescape(StringOf(raw, ansi));
    } else if (name == u"LineEnd") {
        const Text value = StringOf(raw, ansi);
        if (EqualIgnoringAsciiCase(value, u"enter")) {
            settings.line_end.reset();
        } else if (EqualIgnoringAsciiCase(value, u"tab")) {
            settings.line_end = u"\t";
        } else if (EqualIgnoringAsciiCase(value, u"none")) {
            settings.line_end = Text();
        } else {
            settings.line_end = Unescape(value);
        }
    } else if (name == u"ControlCharacters") {
        const Text value = StringOf(raw, ansi);
        if (EqualIgnoringAsciiCase(value, u"drop")) {
            settings.controls = ControlMode::kDrop;
        } else if (EqualIgnoringAsciiCase(value, u"unicode")) {
            settings.controls = ControlMode::kUnicode;
        } else {
            settings.control_map = ParseControlMap(value);
            settings.controls = ControlMode::kMap;
        }
    } else if (name == u"Encoding") {
        settings.code_page = ParseCodePage(StringOf(raw, ansi), code_pages);
    } else if (name == u"KeyDelay") {
        const uint32_t delay = DwordOf(raw);
        if (delay > kMaxKeyDelayMs) {
            throw Error(AsciiText(std::to_string(delay) + " ms is more than " + std::to_string(kMaxKeyDelayMs)));
        }
        settings.key_delay_ms = delay;
    } else if (name == u"KeyMode") {
        const Text value = StringOf(raw, ansi);
        if (EqualIgnoringAsciiCase(value, u"layout")) {
            settings.key_mode = KeyMode::kLayout;
        } else if (EqualIgnoringAsciiCase(value, u"unicode")) {
            settings.key_mode = KeyMode::kUnicode;
        } else if (EqualIgnoringAsciiCase(value, u"scancode")) {
            settings.key_mode = KeyMode::kScanCode;
        } else {
            throw Error(Quoted(value) + u" is neither layout, unicode nor scancode");
        }
    } else if (name == u"RecordGap") {
        const uint32_t gap = DwordOf(raw);
        if (gap == 0 || gap > kMaxRecordGapMs) {
            throw Error(AsciiText(std::to_string(gap) + " ms is not between 1 and " + std::to_string(kMaxRecordGapMs)));
        }
        settings.record_gap_ms = gap;
    }
}

}  // namespace

OutputSettingsRead ReadOutputSettings(Registry& registry, const AnsiCodePage& ansi, const CodePages& code_pages) {
    OutputSettingsRead read;
    for (const char16_t* name : kOutputValueNames) {
        const std::optional<GroupValue> found = LookUpGroupValue(registry, ansi, kOutputGroup, name);
        if (!found) {
            continue;
        }
        // A value is parsed into a copy, so a refused one leaves nothing half-set.
        OutputSettings parsed = read.settings;
        try {
            if (found->read.status == RegValueRead::Status::kTooLarge) {
                throw Error(AsciiText("it is longer than " + std::to_string(reg::kMaxValueBytes) + " bytes"));
            }
            ParseValue(name, found->read.value, ansi, code_pages, parsed);
            read.settings = std::move(parsed);
        } catch (const Error& error) {
            read.refused.push_back({Text(name) + (found->FromPolicy() ? u" (policy)" : u""), error.Description()});
        }
    }
    return read;
}

Text RefusalMessage(const std::vector<RefusedValue>& refused) {
    Text message = u"These output settings were not used; their defaults apply instead:";
    for (const RefusedValue& value : refused) {
        message += u"\r\n" + value.name + u": " + value.reason + u".";
    }
    return message;
}

}  // namespace corvanta
