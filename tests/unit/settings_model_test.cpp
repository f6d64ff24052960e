// The settings model: one table of the Output and Request values, each read from the registry, checked, and
// written back in a canonical form; the reader, its reload, and the policy templates that offer the same values.
#include "core/settings_model.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/hotkey_names.h"
#include "core/settings_reload.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_code_pages.h"
#include "fakes/fake_environment.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_registry_watch.h"

namespace corvanta {
namespace {

const ValueDefinition& Definition(const std::string& name) {
    for (const ValueDefinition& value : ValueDefinitions()) {
        if (ToUtf8(value.name) == name) {
            return value;
        }
    }
    throw std::logic_error("no value " + name);
}

ValueGroup GroupOf(const std::string& name) {
    return Definition(name).group;
}

struct Context {
    FakeAnsiCodePage ansi;
    FakeCodePages code_pages;
    FakeEnvironment environment;
    ValueContext value{ansi, code_pages, environment};
};

// Every value once, in its group's order; its default is what default settings are written as, and reads back as
// them.
TEST(SettingsModel, EachValueOnceWithItsDefault) {
    Context context;
    std::set<std::string> names;
    for (const ValueDefinition& value : ValueDefinitions()) {
        const std::string name = ToUtf8(value.name);
        EXPECT_TRUE(names.insert(name).second) << name << " twice";
        EXPECT_EQ(value.format(ProgramSettings(), context.value), value.default_value) << name;
        ProgramSettings parsed;
        value.parse(value.default_value, context.value, parsed);
        EXPECT_TRUE(parsed == ProgramSettings()) << name << ": its default read back is not the default";
        if (value.type == ValueType::kNumber) {
            EXPECT_TRUE(value.default_value.text.empty()) << name;
        }
    }
    EXPECT_EQ(names.size(), 15u);
}

// What a value is written as: read, then written in its canonical form, which reads back as the same settings. The
// escapes are the only notation; a character the ANSI code page cannot hold is written as \uNNNN; a text that spells
// a word of its value is escaped so that it stays a text; the Command's bytes above 0x7F as \xNN.
TEST(SettingsModel, CanonicalFormsReadBack) {
    const struct {
        const char* name;
        const char* value;  // a number for REG_DWORD values
        const char* canonical;
        const char* encoding = "ansi";
    } cases[] = {
        {"Prefix", "SCAN:", "SCAN:"},
        {"Prefix", "\\u00e9\\x09", "\u00E9\\t"},
        {"Prefix", "a\\\\b\\u4E2D\\uD83D\\uDE00", "a\\\\b\\u4E2D\\uD83D\\uDE00"},
        {"Suffix", "\\r\\n", "\\r\\n"},
        {"LineEnd", "TAB", "tab"},
        {"LineEnd", "\\t", "tab"},
        {"LineEnd", "None", "none"},
        {"LineEnd", "ente\\x72", "\\x65nter"},
        {"LineEnd", "|\\r", "|\\r"},
        {"ControlCharacters", "UNICODE", "unicode"},
        {"ControlCharacters", "\\x1d=|;\\x04=;", "\\x04=;\\x1D=|"},
        {"ControlCharacters", "\\t=\\x3b;\\e=\\\\", "\\t=\\x3B;\\e=\\\\"},
        {"Encoding", "UTF8", "utf-8"},
        {"Encoding", "932", "932"},
        {"KeyDelay", "1000", "1000"},
        {"KeyMode", "ScanCode", "scancode"},
        {"RecordGap", "60000", "60000"},
        {"Extract", "^S S +(\\S+)", "^S S +(\\S+)"},
        {"RepeatGap", "3600000", "3600000"},
        {"LogFile", " %USERPROFILE%\\logs\\scale-%DATE%.csv ", "%USERPROFILE%\\logs\\scale-%DATE%.csv"},
        {"Command", "P\\r\\n", "P\\r\\n"},
        {"Command", "\\x02W\\x03\\xff", "\\x02W\\x03\\xFF"},
        {"Command", "\\u00E9\\\\x41", "\\xE9\\\\x41"},
        {"Command", "\\u00E9", "\\xC3\\xA9", "utf-8"},
        {"Hotkey", "ctrl + shift+w", "Ctrl+Shift+W"},
        {"Hotkey", "  ", ""},
        {"Interval", "86400000", "86400000"},
        {"ReplyTimeout", "0", "0"},
    };
    for (const auto& c : cases) {
        Context context;
        context.environment.Set(u"USERPROFILE", u"C:\\Users\\Ann");
        const ValueDefinition& value = Definition(c.name);
        const std::string label = std::string(c.name) + "=" + c.value;
        const auto setting = [&](const char* text) {
            return value.type == ValueType::kNumber ? SettingValue{Text(), static_cast<uint32_t>(std::stoul(text))}
                                                    : SettingValue{FromUtf8(text), 0};
        };
        ProgramSettings read;
        Definition("Encoding").parse(SettingValue{AsciiText(c.encoding), 0}, context.value, read);
        value.parse(setting(c.value), context.value, read);
        const SettingValue canonical = value.format(read, context.value);
        EXPECT_EQ(canonical, setting(c.canonical)) << label << " is written as " << ToUtf8(canonical.text);
        ProgramSettings again;
        Definition("Encoding").parse(SettingValue{AsciiText(c.encoding), 0}, context.value, again);
        value.parse(canonical, context.value, again);
        EXPECT_TRUE(again == read) << label << ": its canonical form reads back as other settings";
    }
}

OutputSettings Gs1Map() {
    OutputSettings settings;
    settings.controls = ControlMode::kMap;
    settings.control_map = {{u'\x1D', u"|"}, {u'\x04', u""}};
    return settings;
}

void PutString(FakeRegistry& registry, RegKey root, const char16_t* path, const std::string& name, std::string text) {
    registry.Put(root, ToUtf8(path), name, reg::kRegSz, text + '\0');
}

void PutDword(FakeRegistry& registry, RegKey root, const char16_t* path, const std::string& name, uint32_t value) {
    registry.Put(root, ToUtf8(path), name, reg::kRegDword,
                 std::string(reinterpret_cast<const char*>(&value), sizeof(value)));
}

// The policy's value wins over the user's; a value that does not parse keeps its default and is named with why.
TEST(SettingsReader, PolicyOverUserAndRefusedValues) {
    FakeAnsiCodePage ansi;
    FakeCodePages code_pages;
    FakeEnvironment environment;
    const ValueContext context{ansi, code_pages, environment};
    FakeRegistry registry;
    PutString(registry, kOutputUserRoot, kOutputUserPath, "Suffix", "user");
    PutString(registry, kOutputPolicyRoot, kOutputPolicyPath, "Suffix", "policy\\t");
    PutString(registry, kOutputUserRoot, kOutputUserPath, "LineEnd", "TAB");
    PutString(registry, kOutputUserRoot, kOutputUserPath, "ControlCharacters", "\\x1d=|;\\x04=;");
    PutString(registry, kOutputUserRoot, kOutputUserPath, "Encoding", "932");
    PutDword(registry, kOutputUserRoot, kOutputUserPath, "KeyDelay", 5);
    PutString(registry, kOutputUserRoot, kOutputUserPath, "KeyMode", "scancode");
    PutDword(registry, kOutputPolicyRoot, kOutputPolicyPath, "RecordGap", 40);
    PutDword(registry, kOutputUserRoot, kOutputUserPath, "RecordGap", 70);
    PutString(registry, reg::kHkeyCurrentUser, kRequestPolicyPath, "Command", "Q\\r");
    PutString(registry, reg::kHkeyCurrentUser, kRequestUserPath, "Command", "P\\r");
    PutDword(registry, reg::kHkeyCurrentUser, kRequestUserPath, "Interval", 500);
    const SettingsRead read = ReadSettings(registry, context);
    EXPECT_TRUE(read.refused.empty()) << ToUtf8(RefusalMessage(read.refused));
    EXPECT_EQ(read.settings.request.command, "Q\r") << "the user's policy over the user's own";
    EXPECT_EQ(read.settings.request.interval_ms, 500u);
    OutputSettings expected = Gs1Map();
    expected.suffix = u"policy\t";
    expected.line_end = u"\t";
    expected.code_page = 932;
    expected.key_delay_ms = 5;
    expected.key_mode = KeyMode::kScanCode;
    expected.record_gap_ms = 40;
    EXPECT_TRUE(read.settings.output == expected);
    EXPECT_EQ(registry.OpenKeyCount(), 0u);

    const struct {
        const char* name;
        bool dword;
        std::string text;
        uint32_t number = 0;
        size_t bytes = 4;  // of a REG_DWORD
    } refused[] = {
        {"Prefix", true, "", 1},
        {"Suffix", false, "a\\qb"},
        {"LineEnd", false, "\\x4"},
        {"ControlCharacters", false, "dorp"},
        {"ControlCharacters", false, "\\r=x"},
        {"ControlCharacters", false, "a=b"},
        {"ControlCharacters", false, "\\x1d=1;\\x1D=2"},
        {"Encoding", false, "1234"},
        {"Encoding", false, "utf-16"},
        {"Encoding", false, "99999999999"},
        {"KeyDelay", false, "5"},
        {"KeyDelay", true, "", 100000},
        {"KeyMode", false, "fast"},
        {"RecordGap", true, "", 0},
        {"KeyDelay", true, "", 0, 8},
        {"Extract", false, "(\\d+"},
        {"RepeatGap", true, "", 3600001},
        {"LogFile", false, "logs\\scale.csv"},
        {"Command", false, "P\\q"},
        {"Command", false, "\\u4E2D"},
        {"Hotkey", false, "Shift+W"},
        {"Interval", true, "", 99},
        {"ReplyTimeout", true, "", 60001},
    };
    for (const auto& c : refused) {
        FakeRegistry user;
        const char16_t* path = GroupPlaces(GroupOf(c.name)).user_path;
        if (c.dword) {
            user.Put(reg::kHkeyCurrentUser, ToUtf8(path), c.name, reg::kRegDword,
                     std::string(reinterpret_cast<const char*>(&c.number), sizeof(c.number)).append(c.bytes - 4, '\0'));
        } else {
            PutString(user, reg::kHkeyCurrentUser, path, c.name, c.text);
        }
        const SettingsRead result = ReadSettings(user, context);
        const std::string label = std::string(c.name) + "=" + (c.dword ? std::to_string(c.number) : c.text) +
                                  (c.bytes != 4 ? " in " + std::to_string(c.bytes) + " bytes" : "");
        ASSERT_EQ(result.refused.size(), 1u) << label;
        EXPECT_EQ(ToUtf8(result.refused[0].name), c.name) << label;
        EXPECT_FALSE(result.refused[0].reason.empty()) << label;
        if (c.dword) {
            EXPECT_EQ(result.refused[0].reason.find(u"not REG_DWORD"), Text::npos)
                << label << ": a REG_DWORD is not refused as another type: " << ToUtf8(result.refused[0].reason);
        }
        EXPECT_TRUE(result.settings == ProgramSettings()) << label << ": the default stays";
    }

    // A policy's value that does not parse gives the default, not the user's value it was meant to override.
    for (const RegKey policy_root : {kOutputPolicyRoot, kOutputUserPolicyRoot}) {
        const std::string label = policy_root == kOutputPolicyRoot ? "computer policy" : "user policy";
        FakeRegistry both;
        PutString(both, kOutputUserRoot, kOutputUserPath, "KeyMode", "unicode");
        PutString(both, policy_root, kOutputPolicyPath, "KeyMode", "fast");
        const SettingsRead result = ReadSettings(both, context);
        ASSERT_EQ(result.refused.size(), 1u) << label;
        EXPECT_EQ(ToUtf8(result.refused[0].name), "KeyMode (policy)") << label;
        EXPECT_EQ(result.settings.output.key_mode, KeyMode::kLayout) << label;
    }
}

// The values are handed on at start and again after every change under either group's keys, without a restart.
// The refused ones are named at start by the caller, and after a change only when something new is refused; what the
// settings' user could not put to use (a hotkey another program holds) is named with them.
TEST(SettingsReload, FollowsChangesAndNamesNewRefusalsOnce) {
    Context context;
    FakeRegistry registry;
    FakeRegistryWatch watch;
    std::vector<ProgramSettings> applied;
    std::vector<Text> told;
    SettingsReload reload(
        registry, context.value, watch,
        [&applied](const ProgramSettings& settings) {
            applied.push_back(settings);
            std::vector<RefusedValue> unused;
            if (settings.request.hotkey == ParseHotkey(u"F8")) {
                unused.push_back({u"Hotkey", u"another program holds F8"});
            }
            return unused;
        },
        [&told](TextView message) { told.emplace_back(message); });
    PutString(registry, kOutputUserRoot, kOutputUserPath, "Suffix", "\\t#");
    PutString(registry, kOutputUserRoot, kOutputUserPath, "KeyMode", "fast");
    const std::optional<Text> at_start = reload.Start();
    ASSERT_TRUE(at_start.has_value());
    EXPECT_NE(at_start->find(u"KeyMode"), Text::npos) << ToUtf8(*at_start);
    std::set<std::string> watched;
    for (const RegKeyPath& key : watch.keys) {
        watched.insert((key.root == reg::kHkeyLocalMachine ? "HKLM\\" : "HKCU\\") + ToUtf8(key.path));
    }
    EXPECT_EQ(watched,
              (std::set<std::string>{
                  "HKCU\\Software\\Corvanta\\Output", "HKCU\\Software\\Corvanta\\Request",
                  "HKCU\\Software\\Policies\\Corvanta\\Output", "HKCU\\Software\\Policies\\Corvanta\\Request",
                  "HKLM\\Software\\Policies\\Corvanta\\Output", "HKLM\\Software\\Policies\\Corvanta\\Request"}));
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(applied[0].output.suffix, u"\t#");

    const struct {
        const char* change;
        const char16_t* path;
        const char* name;
        const char* value;
        size_t told;  // messages so far
    } changes[] = {
        {"a good value", kOutputUserPath, "LineEnd", "none", 0},
        {"the same refusal", kOutputUserPath, "Prefix", ">", 0},
        {"a new refusal", kOutputUserPath, "Encoding", "utf-16", 1},
        {"one of two mended: the other is named again", kOutputUserPath, "Encoding", "utf-8", 2},
        {"a request value", kRequestUserPath, "Command", "P\\r", 2},
        {"a hotkey that cannot be had", kRequestUserPath, "Hotkey", "F8", 3},
        {"all mended", kOutputUserPath, "KeyMode", "layout", 4},
        {"the hotkey too", kRequestUserPath, "Hotkey", "F9", 4},
    };
    for (const auto& c : changes) {
        PutString(registry, reg::kHkeyCurrentUser, c.path, c.name, c.value);
        watch.Change();
        EXPECT_EQ(told.size(), c.told) << c.change;
    }
    ASSERT_EQ(told.size(), 4u);
    EXPECT_NE(told[0].find(u"Encoding"), Text::npos) << ToUtf8(told[0]);
    EXPECT_EQ(told[1].find(u"Encoding"), Text::npos) << ToUtf8(told[1]);
    EXPECT_NE(told[1].find(u"KeyMode"), Text::npos) << ToUtf8(told[1]);
    EXPECT_NE(told[2].find(u"Hotkey: another program holds F8"), Text::npos) << ToUtf8(told[2]);
    EXPECT_EQ(applied.size(), 9u);
    EXPECT_EQ(applied.back().output.line_end, Text());
    EXPECT_EQ(applied.back().output.prefix, u">");
    EXPECT_EQ(applied.back().output.key_mode, KeyMode::kLayout);
    EXPECT_EQ(applied.back().request.command, "P\r");
}

std::string ReadSourceFile(const std::string& path) {
    std::ifstream file(std::string(CORVANTA_SOURCE_DIR) + "/" + path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::set<std::string> Matches(const std::string& text, const std::string& pattern) {
    std::set<std::string> found;
    const std::regex expression(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), expression); it != std::sregex_iterator(); ++it) {
        found.insert((*it)[1]);
    }
    return found;
}

// Administrators see the values through the policy template: every value the program reads has a policy of its
// name that sets it under its group's policy key, for the computer and for users, no policy sets anything else,
// and every text the template names is in its language file.
TEST(SettingsPolicyTemplate, MatchesTheValuesRead) {
    const std::string admx = ReadSourceFile("packaging/policy/Corvanta.admx");
    const std::string adml = ReadSourceFile("packaging/policy/en-US/Corvanta.adml");
    ASSERT_FALSE(admx.empty());
    ASSERT_FALSE(adml.empty());
    std::map<std::string, std::string> read;  // value name -> its group's policy key
    for (const ValueDefinition& value : ValueDefinitions()) {
        read[ToUtf8(value.name)] = ToUtf8(GroupPlaces(value.group).policy_path);
    }
    std::map<std::string, std::string> offered;
    size_t policies = 0;
    const std::regex policy(R"re(<policy name="([^"]*)"[^>]*key="([^"]*)"[\s\S]*?</policy>)re");
    for (auto it = std::sregex_iterator(admx.begin(), admx.end(), policy); it != std::sregex_iterator(); ++it) {
        const std::string body = (*it)[0];
        EXPECT_EQ(Matches(body, R"re(valueName="([^"]*)")re"), std::set<std::string>{(*it)[1]})
            << "the policy " << (*it)[1] << " sets another value";
        offered[(*it)[1]] = (*it)[2];
        ++policies;
    }
    EXPECT_EQ(offered, read);
    EXPECT_EQ(policies, offered.size()) << "a value has two policies";
    EXPECT_EQ(Matches(admx, R"re(class="([^"]*)")re"), std::set<std::string>{"Both"})
        << "the policy keys are read under HKLM, then HKCU";
    // Imported on its own (Intune, a new central store), it may name nothing from another template.
    EXPECT_EQ(admx.find("<using"), std::string::npos) << "the template uses another template's namespace";
    const std::set<std::string> supported = Matches(admx, R"re(<definition name="([^"]*)")re");
    for (const std::string& ref : Matches(admx, R"re(<supportedOn ref="([^"]*)")re")) {
        EXPECT_TRUE(supported.count(ref)) << "supportedOn " << ref << " is not defined in the template";
    }
    const std::set<std::string> categories = Matches(admx, R"re(<category name="([^"]*)")re");
    for (const std::string& ref : Matches(admx, R"re(<parentCategory ref="([^"]*)")re")) {
        EXPECT_TRUE(categories.count(ref)) << "category " << ref << " is not defined in the template";
    }
    const std::set<std::string> strings = Matches(adml, R"re(<string id="([^"]*)")re");
    for (const std::string& id : Matches(admx, R"re(\$\(string\.([^)]*)\))re")) {
        EXPECT_TRUE(strings.count(id)) << "string " << id << " is missing from the language file";
    }
    const std::set<std::string> presentations = Matches(adml, R"re(<presentation id="([^"]*)")re");
    for (const std::string& id : Matches(admx, R"re(\$\(presentation\.([^)]*)\))re")) {
        EXPECT_TRUE(presentations.count(id)) << "presentation " << id << " is missing from the language file";
    }
}

}  // namespace
}  // namespace corvanta
