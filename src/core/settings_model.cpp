#include "core/settings_model.h"

#include <memory>
#include <string>
#include <utility>

#include "core/escapes.h"
#include "core/hotkey_names.h"
#include "core/mod1_registry.h"
#include "core/repeat_filter.h"

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

}  // namespace

SettingValue StoredSettingValue(ValueType type, const RegValue& raw, const AnsiCodePage& ansi) {
    SettingValue value;
    if (type == ValueType::kText) {
        std::optional<Text> text = RegText(raw, ansi);
        if (!text) {
            throw Error(u"it is " + TypeName(raw.type) + u", not REG_SZ");
        }
        value.text = std::move(*text);
        return value;
    }
    if (raw.type != reg::kRegDword) {
        throw Error(u"it is " + TypeName(raw.type) + u", not REG_DWORD");
    }
    if (raw.data.size() != 4) {
        throw Error(AsciiText("it is a REG_DWORD of " + std::to_string(raw.data.size()) + " bytes, not 4"));
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(raw.data.data());
    value.number = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                   static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    return value;
}

namespace {

SettingValue TextValue(Text text) {
    return {std::move(text), 0};
}

SettingValue NumberValue(uint32_t number) {
    return {Text(), number};
}

Text Quoted(TextView text) {
    return u"\"" + Text(text) + u"\"";
}

Text Hex2(uint32_t value) {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    return {u'\\', u'x', kDigits[(value >> 4) & 0xF], kDigits[value & 0xF]};
}

// --- Output ----------------------------------------------------------------------------------------------------

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

bool IsLineEndWord(TextView text) {
    return EqualIgnoringAsciiCase(text, u"enter") || EqualIgnoringAsciiCase(text, u"tab") ||
           EqualIgnoringAsciiCase(text, u"none");
}

void ParsePrefix(const SettingValue& value, const ValueContext&, ProgramSettings& settings) {
    settings.output.prefix = Unescape(value.text);
}

SettingValue FormatPrefix(const ProgramSettings& settings, const ValueContext& context) {
    return TextValue(EscapeSetting(settings.output.prefix, context.ansi));
}

void ParseSuffix(const SettingValue& value, const ValueContext&, ProgramSettings& settings) {
    settings.output.suffix = Unescape(value.text);
}

SettingValue FormatSuffix(const ProgramSettings& settings, const ValueContext& context) {
    return TextValue(EscapeSetting(settings.output.suffix, context.ansi));
}

void ParseLineEnd(const SettingValue& value, const ValueContext&, ProgramSettings& settings) {
    if (EqualIgnoringAsciiCase(value.text, u"enter")) {
        settings.output.line_end.reset();
    } else if (EqualIgnoringAsciiCase(value.text, u"tab")) {
        settings.output.line_end = u"\t";
    } else if (EqualIgnoringAsciiCase(value.text, u"none")) {
        settings.output.line_end = Text();
    } else {
        settings.output.line_end = Unescape(value.text);
    }
}

SettingValue FormatLineEnd(const ProgramSettings& settings, const ValueContext& context) {
    const std::optional<Text>& line_end = settings.output.line_end;
    if (!line_end) {
        return TextValue(u"enter");
    }
    if (*line_end == u"\t") {
        return TextValue(u"tab");
    }
    if (line_end->empty()) {
        return TextValue(u"none");
    }
    Text text = EscapeSetting(*line_end, context.ansi);
    // A text that spells one of the words is meant as that text: its first letter escaped, it reads as text again.
    if (IsLineEndWord(text)) {
        text = Hex2(text[0]) + text.substr(1);
    }
    return TextValue(std::move(text));
}

void ParseControlCharacters(const SettingValue& value, const ValueContext&, ProgramSettings& settings) {
    if (EqualIgnoringAsciiCase(value.text, u"drop")) {
        settings.output.controls = ControlMode::kDrop;
    } else if (EqualIgnoringAsciiCase(value.text, u"unicode")) {
        settings.output.controls = ControlMode::kUnicode;
    } else {
        settings.output.control_map = ParseControlMap(value.text);
        settings.output.controls = ControlMode::kMap;
    }
}

SettingValue FormatControlCharacters(const ProgramSettings& settings, const ValueContext& context) {
    const OutputSettings& output = settings.output;
    if (output.controls == ControlMode::kUnicode) {
        return TextValue(u"unicode");
    }
    if (output.controls == ControlMode::kDrop || output.control_map.empty()) {
        return TextValue(u"drop");
    }
    Text list;
    for (const auto& [character, typed] : output.control_map) {
        if (!list.empty()) {
            list.push_back(u';');
        }
        list += EscapeText(TextView(&character, 1)) + u"=";
        // The list is split at ";" before the escapes are read: one in a text is written as an escape.
        for (const char16_t unit : EscapeSetting(typed, context.ansi)) {
            list += unit == u';' ? Hex2(unit) : Text(1, unit);
        }
    }
    return TextValue(std::move(list));
}

void ParseEncoding(const SettingValue& value, const ValueContext& context, ProgramSettings& settings) {
    settings.output.code_page = ParseCodePage(value.text, context.code_pages);
}

SettingValue FormatEncoding(const ProgramSettings& settings, const ValueContext&) {
    const uint32_t code_page = settings.output.code_page;
    if (code_page == 0) {
        return TextValue(u"ansi");
    }
    if (code_page == kUtf8CodePage) {
        return TextValue(u"utf-8");
    }
    return TextValue(AsciiText(std::to_string(code_page)));
}

void ParseKeyDelay(const SettingValue& value, const ValueContext&, ProgramSettings& settings) {
    if (value.number > kMaxKeyDelayMs) {
        throw Error(AsciiText(std::to_string(value.number) + " ms is more than " + std::to_string(kMaxKeyDelayMs)));
    }
    settings.output.key_delay_ms = value.number;
}

SettingValue FormatKeyDelay(const ProgramSettings& settings, const ValueContext&) {
    return NumberValue(settings.output.key_delay_ms);
}

void ParseKeyMode(const SettingValue& value, const ValueContext&, ProgramSettings& settings) {
    if (EqualIgnoringAsciiCase(value.text, u"layout")) {
        settings.output.key_mode = KeyMode::kLayout;
    } else if (EqualIgnoringAsciiCase(value.text, u"unicode")) {
        settings.output.key_mode = KeyMode::kUnicode;
    } else if (EqualIgnoringAsciiCase(value.text, u"scancode")) {
        settings.output.key_mode = KeyMode::kScanCode;
    } else {
        throw Error(Quoted(value.text) + u" is neither layout, unicode nor scancode");
    }
}

SettingValue FormatKeyMode(const ProgramSettings& settings, const ValueContext&) {
    switch (settings.output.key_mode) {
        case KeyMode::kUnicode:
            return TextValue(u"unicode");
        case KeyMode::kScanCode:
            return TextValue(u"scancode");
        case KeyMode::kLayout:
            break;
    }
    return TextValue(u"layout");
}

void ParseRecordGap(const SettingValue& value, const ValueContext&, ProgramSettings& settings) {
    if (value.number == 0 || value.number > kMaxRecordGapMs) {
        throw Error(
            AsciiText(std::to_string(value.number) + " ms is not between 1 and " + std::to_string(kMaxRecordGapMs)));
    }
    settings.output.record_gap_ms = value.number;
}

SettingValue FormatRecordGap(const ProgramSettings& settings, const ValueContext&) {
    return NumberValue(settings.output.record_gap_ms);
}

// A regular expression is written as it stands: its backslashes are its own, not escapes.
void ParseExtract(const SettingValue& value, const ValueContext&, ProgramSettings& settings) {
    settings.output.extract = ExtractPattern(value.text);
}

SettingValue FormatExtract(const ProgramSettings& settings, const ValueContext&) {
    return TextValue(settings.output.extract.Source());
}

void ParseRepeatGap(const SettingValue& value, const ValueContext&, ProgramSettings& settings) {
    settings.output.repeat_gap_ms = CheckRepeatGap(value.number);
}

SettingValue FormatRepeatGap(const ProgramSettings& settings, const ValueContext&) {
    return NumberValue(settings.output.repeat_gap_ms);
}

// A path is written as it stands: its backslashes separate folders.
void ParseLogFile(const SettingValue& value, const ValueContext& context, ProgramSettings& settings) {
    settings.output.log_file = LogPath::Parse(value.text, context.environment);
}

SettingValue FormatLogFile(const ProgramSettings& settings, const ValueContext&) {
    return TextValue(settings.output.log_file.Source());
}

// --- Request ---------------------------------------------------------------------------------------------------

// The Command's characters above U+007F go out in the Encoding read before it.
void ParseCommand(const SettingValue& value, const ValueContext& context, ProgramSettings& settings) {
    const uint32_t code_page = settings.output.code_page;
    std::unique_ptr<AnsiCodePage> opened;
    if (code_page != 0 && code_page != kUtf8CodePage) {
        opened = context.code_pages.Open(code_page);
    }
    const AnsiCodePage* encoding = code_page == kUtf8CodePage ? nullptr : opened ? opened.get() : &context.ansi;
    settings.request.command = EncodeCommand(value.text, encoding);
}

// Bytes as they go to the device: every byte above 0x7F as \xNN, which reads back as that byte in any encoding.
SettingValue FormatCommand(const ProgramSettings& settings, const ValueContext&) {
    return TextValue(EscapeBytes(settings.request.command));
}

void ParseHotkeyValue(const SettingValue& value, const ValueContext&, ProgramSettings& settings) {
    settings.request.hotkey = ParseHotkey(value.text);
}

SettingValue FormatHotkeyValue(const ProgramSettings& settings, const ValueContext&) {
    return TextValue(settings.request.hotkey ? FormatHotkey(*settings.request.hotkey) : Text());
}

void ParseInterval(const SettingValue& value, const ValueContext&, ProgramSettings& settings) {
    settings.request.interval_ms = ParseRequestInterval(value.number);
}

SettingValue FormatInterval(const ProgramSettings& settings, const ValueContext&) {
    return NumberValue(settings.request.interval_ms);
}

void ParseReplyTimeoutValue(const SettingValue& value, const ValueContext&, ProgramSettings& settings) {
    settings.request.reply_timeout_ms = ParseReplyTimeout(value.number);
}

SettingValue FormatReplyTimeout(const ProgramSettings& settings, const ValueContext&) {
    return NumberValue(settings.request.reply_timeout_ms);
}

}  // namespace

const PolicyGroup& GroupPlaces(ValueGroup group) {
    return group == ValueGroup::kOutput ? kOutputGroup : kRequestGroup;
}

std::span<const ValueDefinition> ValueDefinitions() {
    using enum ValueGroup;
    using enum ValueType;
    static const ValueDefinition kValues[] = {
        {u"Prefix", kOutput, kText, TextValue(u""), &ParsePrefix, &FormatPrefix},
        {u"Suffix", kOutput, kText, TextValue(u""), &ParseSuffix, &FormatSuffix},
        {u"LineEnd", kOutput, kText, TextValue(u"enter"), &ParseLineEnd, &FormatLineEnd},
        {u"ControlCharacters", kOutput, kText, TextValue(u"drop"), &ParseControlCharacters, &FormatControlCharacters},
        {u"Encoding", kOutput, kText, TextValue(u"ansi"), &ParseEncoding, &FormatEncoding},
        {u"KeyDelay", kOutput, kNumber, NumberValue(0), &ParseKeyDelay, &FormatKeyDelay},
        {u"KeyMode", kOutput, kText, TextValue(u"layout"), &ParseKeyMode, &FormatKeyMode},
        {u"RecordGap", kOutput, kNumber, NumberValue(100), &ParseRecordGap, &FormatRecordGap},
        {u"Extract", kOutput, kText, TextValue(u""), &ParseExtract, &FormatExtract},
        {u"RepeatGap", kOutput, kNumber, NumberValue(0), &ParseRepeatGap, &FormatRepeatGap},
        {u"LogFile", kOutput, kText, TextValue(u""), &ParseLogFile, &FormatLogFile},
        {u"Command", kRequest, kText, TextValue(u""), &ParseCommand, &FormatCommand},
        {u"Hotkey", kRequest, kText, TextValue(u""), &ParseHotkeyValue, &FormatHotkeyValue},
        {u"Interval", kRequest, kNumber, NumberValue(0), &ParseInterval, &FormatInterval},
        {u"ReplyTimeout", kRequest, kNumber, NumberValue(2000), &ParseReplyTimeoutValue, &FormatReplyTimeout},
    };
    return kValues;
}

SettingsRead ReadSettings(Registry& registry, const ValueContext& context) {
    SettingsRead read;
    for (const ValueDefinition& value : ValueDefinitions()) {
        const std::optional<GroupValue> found =
            LookUpGroupValue(registry, context.ansi, GroupPlaces(value.group), value.name);
        if (!found) {
            continue;
        }
        // A value is parsed into a copy, so a refused one leaves nothing half-set.
        ProgramSettings parsed = read.settings;
        try {
            if (found->read.status == RegValueRead::Status::kTooLarge) {
                throw Error(AsciiText("it is longer than " + std::to_string(reg::kMaxValueBytes) + " bytes"));
            }
            value.parse(StoredSettingValue(value.type, found->read.value, context.ansi), context, parsed);
            read.settings = std::move(parsed);
        } catch (const Error& error) {
            read.refused.push_back(
                {Text(value.name) + (found->FromPolicy() ? u" (policy)" : u""), error.Description()});
        }
    }
    return read;
}

std::vector<RegKeyPath> SettingsKeys() {
    std::vector<RegKeyPath> keys = GroupKeys(kOutputGroup);
    for (RegKeyPath& key : GroupKeys(kRequestGroup)) {
        keys.push_back(std::move(key));
    }
    return keys;
}

Text RefusalMessage(const std::vector<RefusedValue>& refused) {
    Text message = u"These settings were not used; their defaults apply instead:";
    for (const RefusedValue& value : refused) {
        message += u"\r\n" + value.name + u": " + value.reason + u".";
    }
    return message;
}

}  // namespace corvanta
