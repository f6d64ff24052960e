#include "core/hotkey_names.h"

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace corvanta {
namespace {

struct KeyName {
    Text name;
    uint32_t key;
    bool types;  // produces a character or an editing key that Corvanta itself types
};

// Every named key, canonical names before their aliases.
const std::vector<KeyName>& KeyNames() {
    static const std::vector<KeyName> names = [] {
        std::vector<KeyName> list;
        for (char16_t c = u'A'; c <= u'Z'; ++c) {
            list.push_back({Text(1, c), c, true});
        }
        for (char16_t c = u'0'; c <= u'9'; ++c) {
            list.push_back({Text(1, c), c, true});
        }
        for (uint32_t n = 1; n <= 24; ++n) {
            list.push_back({u"F" + AsciiText(std::to_string(n)), 0x70 + n - 1, false});
        }
        for (uint32_t n = 0; n <= 9; ++n) {
            list.push_back({u"Num" + AsciiText(std::to_string(n)), 0x60 + n, true});
        }
        const KeyName others[] = {
            {u"Pause", 0x13, false},
            {u"PrintScreen", 0x2C, false},
            {u"ScrollLock", 0x91, false},
            {u"Insert", 0x2D, false},
            {u"Delete", 0x2E, false},
            {u"Home", 0x24, false},
            {u"End", 0x23, false},
            {u"PageUp", 0x21, false},
            {u"PageDown", 0x22, false},
            {u"Left", 0x25, false},
            {u"Up", 0x26, false},
            {u"Right", 0x27, false},
            {u"Down", 0x28, false},
            {u"Space", 0x20, true},
            {u"Enter", 0x0D, true},
            {u"Tab", 0x09, true},
            {u"Esc", 0x1B, true},
            {u"Backspace", 0x08, true},
            {u"NumMultiply", 0x6A, true},
            {u"NumAdd", 0x6B, true},
            {u"NumSubtract", 0x6D, true},
            {u"NumDecimal", 0x6E, true},
            {u"NumDivide", 0x6F, true},
            // Aliases: found when parsing, never written.
            {u"Ins", 0x2D, false},
            {u"Del", 0x2E, false},
            {u"PgUp", 0x21, false},
            {u"PgDn", 0x22, false},
            {u"Return", 0x0D, true},
            {u"Escape", 0x1B, true},
        };
        list.insert(list.end(), std::begin(others), std::end(others));
        return list;
    }();
    return names;
}

struct ModifierName {
    const char16_t* name;
    uint32_t bit;
};

// In the order they are written, then the alias.
constexpr std::array<ModifierName, 5> kModifiers = {{
    {u"Ctrl", hotkey_mod::kControl},
    {u"Alt", hotkey_mod::kAlt},
    {u"Shift", hotkey_mod::kShift},
    {u"Win", hotkey_mod::kWin},
    {u"Control", hotkey_mod::kControl},
}};
constexpr size_t kCanonicalModifiers = 4;

const ModifierName* FindModifier(TextView name) {
    for (const ModifierName& modifier : kModifiers) {
        if (EqualIgnoringAsciiCase(name, modifier.name)) {
            return &modifier;
        }
    }
    return nullptr;
}

const KeyName* FindKey(TextView name) {
    for (const KeyName& key : KeyNames()) {
        if (EqualIgnoringAsciiCase(name, key.name)) {
            return &key;
        }
    }
    return nullptr;
}

Text Quoted(TextView text) {
    return u"\"" + Text(text) + u"\"";
}

}  // namespace

std::optional<Hotkey> ParseHotkey(TextView value) {
    if (TrimBlanks(value).empty()) {
        return std::nullopt;
    }
    std::vector<Text> parts;
    size_t start = 0;
    for (;;) {
        const size_t plus = value.find(u'+', start);
        parts.push_back(TrimBlanks(value.substr(start, plus == TextView::npos ? TextView::npos : plus - start)));
        if (plus == TextView::npos) {
            break;
        }
        start = plus + 1;
    }
    Hotkey hotkey;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        if (parts[i].empty()) {
            throw Error(Quoted(value) + u" has a \"+\" with nothing before it");
        }
        const ModifierName* modifier = FindModifier(parts[i]);
        if (modifier == nullptr) {
            throw Error(Quoted(parts[i]) + u" is not Ctrl, Alt, Shift or Win");
        }
        if ((hotkey.modifiers & modifier->bit) != 0) {
            throw Error(Quoted(value) + u" names " + Text(modifier->name) + u" twice");
        }
        hotkey.modifiers |= modifier->bit;
    }
    const Text& key_name = parts.back();
    if (key_name.empty()) {
        throw Error(Quoted(value) + u" ends without a key");
    }
    const KeyName* key = FindKey(key_name);
    if (key == nullptr) {
        if (FindModifier(key_name) != nullptr) {
            throw Error(Quoted(value) + u" ends with a modifier: a key such as F9 must follow it");
        }
        throw Error(Quoted(key_name) +
                    u" is not a key name (F1-F24, A-Z, 0-9, Pause, Insert, Home, Num0-Num9 and the like)");
    }
    hotkey.key = key->key;
    constexpr uint32_t kF12 = 0x7B;
    if (hotkey.key == kF12 && hotkey.modifiers == 0) {
        throw Error(u"F12 alone is kept for debuggers by Windows: add a modifier such as Ctrl");
    }
    if (key->types) {
        const uint32_t alt_gr = hotkey_mod::kControl | hotkey_mod::kAlt;
        if ((hotkey.modifiers & (alt_gr | hotkey_mod::kWin)) == 0) {
            throw Error(Quoted(value) + u" would take a key that types from every program: add Ctrl, Alt or Win");
        }
        if ((hotkey.modifiers & alt_gr) == alt_gr && (hotkey.modifiers & hotkey_mod::kWin) == 0) {
            throw Error(Quoted(value) + u" is AltGr on many keyboard layouts, which types characters: add Win or " +
                        u"choose another combination");
        }
    }
    return hotkey;
}

Text FormatHotkey(const Hotkey& hotkey) {
    Text text;
    for (size_t i = 0; i < kCanonicalModifiers; ++i) {
        if ((hotkey.modifiers & kModifiers[i].bit) != 0) {
            text += Text(kModifiers[i].name) + u"+";
        }
    }
    for (const KeyName& key : KeyNames()) {
        if (key.key == hotkey.key) {
            return text + key.name;
        }
    }
    char code[16];
    std::snprintf(code, sizeof(code), "Key 0x%02X", static_cast<unsigned>(hotkey.key));
    return text + AsciiText(code);
}

}  // namespace corvanta
