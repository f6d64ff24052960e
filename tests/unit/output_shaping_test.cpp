#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/output_pipeline.h"
#include "core/output_records.h"
#include "core/output_settings.h"
#include "core/output_settings_reload.h"
#include "core/text_decoder.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_code_pages.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_registry_watch.h"
#include "fakes/fake_timer.h"

namespace corvanta {
namespace {

std::string Shown(const std::vector<std::string>& reads) {
    std::string shown;
    for (const std::string& read : reads) {
        shown += "[";
        for (unsigned char byte : read) {
            static constexpr char kDigits[] = "0123456789ABCDEF";
            shown += byte >= 0x20 && byte < 0x7F ? std::string(1, static_cast<char>(byte))
                                                 : std::string{'\\', 'x', kDigits[byte / 16], kDigits[byte % 16]};
        }
        shown += "]";
    }
    return shown;
}

std::string Shown(const std::vector<Text>& texts) {
    std::vector<std::string> utf8;
    for (const Text& text : texts) {
        utf8.push_back(ToUtf8(text));
    }
    return Shown(utf8);
}

// A character split between reads is typed whole with the next read, in UTF-8 and in a double-byte code page;
// invalid UTF-8 shows as U+FFFD, one for each ill-formed part.
TEST(OutputDecoder, SplitCharactersAndInvalidUtf8) {
    FakeAnsiCodePage shift_jis;
    shift_jis.double_byte = true;
    const struct {
        const AnsiCodePage* code_page;  // null: UTF-8
        std::vector<std::string> reads;
        std::vector<Text> texts;
    } cases[] = {
        {nullptr, {"a\xC3", "\xA9"}, {u"a", u"\u00E9"}},
        {nullptr, {"\xE6", "\xBC", "\xA2!"}, {u"", u"", u"\u6F22!"}},
        {nullptr, {"\xF0\x9F", "\x98\x80"}, {u"", u"\U0001F600"}},
        {nullptr,
         {"\xFF",
          "a\x80"
          "b"},
         {u"\uFFFD", u"a\uFFFDb"}},
        {nullptr, {"\xC0\xAF\xED\xA0\x80"}, {u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"}},
        {nullptr,
         {"\xE6\xBC"
          "a"},
         {u"\uFFFDa"}},
        {nullptr, {"\xF4\x90\x80\x80"}, {u"\uFFFD\uFFFD\uFFFD\uFFFD"}},
        {&shift_jis,
         {"A\x93",
          "\xFA"
          "B"},
         {u"A", u"\u65E5B"}},
        {&shift_jis, {"\x81\x81\x93", "\xFA"}, {u"\u30FB", u"\u65E5"}},
    };
    for (const auto& c : cases) {
        TextDecoder decoder(c.code_page);
        std::vector<Text> texts;
        for (const std::string& read : c.reads) {
            texts.push_back(decoder.Decode(read));
        }
        EXPECT_EQ(texts, c.texts) << (c.code_page ? "Shift_JIS " : "UTF-8 ") << Shown(c.reads);
    }
    // Wherever a read ends, the text is the same as from one read.
    const std::string stream = "a\xC3\xA9\xE6\xBC\xA2\xF0\x9F\x98\x80\xFF\xE6\xBCz\xF4\x90\x80\xC3";
    for (size_t split = 0; split <= stream.size(); ++split) {
        TextDecoder whole(nullptr);
        TextDecoder pieces(nullptr);
        const std::vector<std::string> reads = {stream.substr(0, split), stream.substr(split)};
        Text text = pieces.Decode(reads[0]);
        text += pieces.Decode(reads[1]);
        EXPECT_EQ(text, whole.Decode(stream)) << "UTF-8 " << Shown(reads);
    }
}

OutputSettings Shaping(Text prefix, Text suffix, std::optional<Text> line_end = std::nullopt) {
    OutputSettings settings;
    settings.prefix = std::move(prefix);
    settings.suffix = std::move(suffix);
    settings.line_end = std::move(line_end);
    return settings;
}

OutputSettings Map(char16_t control, Text replacement) {
    OutputSettings settings;
    settings.controls = ControlMode::kMap;
    settings.control_map = {{control, std::move(replacement)}};
    return settings;
}

OutputSettings Gs1Map() {
    OutputSettings settings;
    settings.controls = ControlMode::kMap;
    settings.control_map = {{u'\x1D', u"|"}, {u'\x04', u""}};
    return settings;
}

// The text typed for what the pipeline made of a read or a pause.
Text TypedOf(const std::vector<RecordPart>& records) {
    Text typed;
    for (const RecordPart& record : records) {
        typed += record.typed;
    }
    return typed;
}

// What the pipeline types for each read, over the ANSI code page.
std::vector<Text> TypedFor(const OutputSettings& settings, const std::vector<std::string>& reads) {
    FakeAnsiCodePage ansi;
    FakeCodePages code_pages;
    FakeTimer timer;
    OutputPipeline pipeline(ansi, code_pages, timer);
    pipeline.SetSettings(settings);
    std::vector<Text> typed;
    for (const std::string& read : reads) {
        typed.push_back(TypedOf(pipeline.Receive(read)));
    }
    return typed;
}

// The text typed is final: prefix before a record's first typed character, suffix after its last, then the line
// end as set; a control is typed as itself only where the settings keep it. Every line end is one CR or LF, CR LF
// counting once also when split between reads or brought together by the settings; CR CR and LF LF are two.
TEST(OutputPipeline, TheTextIsFinal) {
    OutputSettings unicode;
    unicode.controls = ControlMode::kUnicode;
    const struct {
        const char* label;
        OutputSettings settings;
        std::vector<std::string> reads;
        std::vector<Text> typed;
    } cases[] = {
        {"defaults", {}, {std::string("a\0b\x1D\r\n", 6), "\r", "\n"}, {u"ab\r", u"\r", u""}},
        {"every other line end counts", {}, {"a\nb\n\nc\r\r", "\n\r"}, {u"a\nb\n\nc\r\r", u"\r"}},
        {"suffix, CR LF once", Shaping(u"", u"!"), {"ab\r\ncd\r", "\nx"}, {u"ab!\rcd!\r", u"x"}},
        {"tab for CR LF split", Shaping(u"", u"", u"\t"), {"ab\r", "\ncd\n"}, {u"ab\t", u"cd\t"}},
        {"prefix per record", Shaping(u">", u""), {"ab", "c\nd\n"}, {u">ab", u"c\n>d\n"}},
        {"empty line has no prefix", Shaping(u">", u"<", Text()), {"\r\n\rx\r"}, {u">x<"}},
        {"GS map, EOT dropped",
         Gs1Map(),
         {"01\x1D"
          "10\x04\r"},
         {u"01|10\r"}},
        {"dropped control opens no record", Shaping(u">", u"<"), {"\x04\r"}, {u"\r"}},
        {"unicode controls kept",
         unicode,
         {"a\x1D"
          "b\x7F"},
         {u"a\x1D"
          u"b\x7F"}},
        {"line end set to CR LF", Shaping(u"", u"", u"\r\n"), {"a\n", "b\r\n"}, {u"a\r", u"b\r"}},
        {"a control left out between CR and LF", {}, {"a\r\x04\nb"}, {u"a\r\nb"}},
        {"a control mapped to nothing between CR and LF", Gs1Map(), {"a\r\x04\nb"}, {u"a\r\nb"}},
        {"a replacement brings CR LF together", Map(u'\x1D', u"\n"), {"a\r\x1D"}, {u"a\r"}},
        {"Tab mapped to nothing", Map(u'\t', u""), {"a\tb"}, {u"ab"}},
        {"suffix CR, line end LF", Shaping(u"", u"\r"), {"a\n", "b\r"}, {u"a\r", u"b\r\r"}},
    };
    for (const auto& c : cases) {
        const std::vector<Text> typed = TypedFor(c.settings, c.reads);
        EXPECT_EQ(typed, c.typed) << c.label << ": " << Shown(c.reads) << " typed " << Shown(typed);
    }
    // Wherever a read ends, the same text is typed in all.
    const std::string stream = "\r\nab\x1D\r\n\ncd\r\r\n";
    const std::pair<const char*, OutputSettings> all[] = {{"defaults", {}},
                                                          {"prefix and suffix", Shaping(u">", u"<")},
                                                          {"tab", Shaping(u">", u"<", u"\t")},
                                                          {"GS map", Gs1Map()}};
    for (const auto& [label, settings] : all) {
        const Text whole = TypedFor(settings, {stream})[0];
        for (size_t split = 0; split <= stream.size(); ++split) {
            const std::vector<Text> typed = TypedFor(settings, {stream.substr(0, split), stream.substr(split)});
            EXPECT_EQ(typed[0] + typed[1], whole) << label << ": split after " << split;
        }
    }
}

// Settings changed during a record apply from the next one on, also where it opens within the same read: the
// bytes after the line end are decoded and shaped the new way wherever the reads end.
TEST(OutputPipeline, NewSettingsFromTheRecordAfterTheLineEnd) {
    OutputSettings utf8;
    utf8.code_page = kUtf8CodePage;
    OutputSettings utf8_suffix = utf8;
    utf8_suffix.suffix = u"#";
    const struct {
        const char* label;
        OutputSettings settings;  // given after the record opened with "a"
        std::string stream;
        Text typed;
        bool before_in_utf8 = false;  // the record that opened with "a"
        bool failing = false;         // the first conversion in the new encoding fails, and the read comes again
    } cases[] = {
        {"encoding", utf8, "b\r\xC3\xA9\r", u"ab\r\u00E9\r"},
        {"encoding after CR LF", utf8, "b\r\n\xC3\xA9", u"ab\r\u00E9"},
        {"encoding, a character cut by the line end", utf8, "\xC3\r\xC3\xA9", u"a\u00C3\r\u00E9"},
        {"encoding and suffix", utf8_suffix, "b\n\xC3\xA9\n", u"ab\n\u00E9#\n"},
        {"a failed conversion leaves all as it was", {}, "b\r\xE9", u"ab\r\u00E9", true, true},
    };
    for (const auto& c : cases) {
        for (size_t split = 0; split <= c.stream.size(); ++split) {
            FakeAnsiCodePage ansi;
            FakeCodePages code_pages;
            FakeTimer timer;
            OutputPipeline pipeline(ansi, code_pages, timer);
            pipeline.SetSettings(c.before_in_utf8 ? utf8 : OutputSettings());
            Text typed = TypedOf(pipeline.Receive("a"));
            pipeline.SetSettings(c.settings);
            ansi.fail_to_text = c.failing;
            const std::vector<std::string> reads = {c.stream.substr(0, split), c.stream.substr(split)};
            for (const std::string& read : reads) {
                try {
                    typed += TypedOf(pipeline.Receive(read));
                } catch (const Error&) {
                    ansi.fail_to_text = false;
                    typed += TypedOf(pipeline.Receive(read));
                }
            }
            EXPECT_EQ(ToUtf8(typed), ToUtf8(c.typed)) << c.label << ": " << Shown(reads);
        }
    }
}

std::string Shown(const std::vector<std::vector<RecordPart>>& outputs) {
    std::string shown;
    for (const std::vector<RecordPart>& output : outputs) {
        shown += "{";
        for (const RecordPart& record : output) {
            shown += Shown(std::vector<Text>{record.received, record.typed}) + (record.ends ? " ends " : " ");
        }
        shown += "}";
    }
    return shown;
}

// The relay sees records: each read or pause gives the records' parts in order, each with what came for it, what
// is typed for it, and whether the record ended there (a line end, or the gap after a record that began).
TEST(OutputPipeline, RecordsOfEachReadAndPause) {
    const std::string kGap = "(gap)";
    const struct {
        const char* label;
        OutputSettings settings;
        std::vector<std::string> reads;  // kGap: the record gap passes
        std::vector<std::vector<RecordPart>> records;
    } cases[] = {
        {"a scan", {}, {"12\r\n"}, {{{u"12", u"12\r", true}}}},
        {"a scan in two reads", {}, {"1", "2\r"}, {{{u"1", u"1", false}}, {{u"2", u"2\r", true}}}},
        {"two scans, the second open", {}, {"a\rb"}, {{{u"a", u"a\r", true}, {u"b", u"b", false}}}},
        {"empty lines", {}, {"\r\n\n"}, {{{u"", u"\r", true}, {u"", u"\n", true}}}},
        {"the gap ends a record",
         Shaping(u"", u"#"),
         {"ab", kGap, kGap},
         {{{u"ab", u"ab", false}}, {{u"", u"#", true}}, {}}},
        {"a dropped control",
         Shaping(u"<", u">"),
         {"\x04x\r\x04\n"},
         {{{u"\x04x", u"<x>\r", true}, {u"\x04", u"\n", true}}}},
    };
    for (const auto& c : cases) {
        FakeAnsiCodePage ansi;
        FakeCodePages code_pages;
        FakeTimer timer;
        OutputPipeline pipeline(ansi, code_pages, timer);
        pipeline.SetSettings(c.settings);
        std::vector<std::vector<RecordPart>> records;
        for (const std::string& read : c.reads) {
            records.push_back(read == kGap ? pipeline.GapElapsed() : pipeline.Receive(read));
        }
        EXPECT_TRUE(records == c.records) << c.label << ": " << Shown(c.reads) << " gave " << Shown(records);
    }
}

// A pause of the record gap ends a record: its suffix is typed when the timer fires, and the next byte opens a
// new one; nothing waits for the gap. New settings wait for the end of the record.
TEST(OutputPipeline, RecordGapOnTheTimer) {
    FakeAnsiCodePage ansi;
    FakeCodePages code_pages;
    FakeTimer timer;
    OutputPipeline pipeline(ansi, code_pages, timer);

    EXPECT_EQ(TypedOf(pipeline.Receive("plain")), u"plain");
    EXPECT_EQ(TypedOf(pipeline.GapElapsed()), u"") << "no suffix";

    OutputSettings settings = Shaping(u"[", u"]");
    settings.record_gap_ms = 250;
    pipeline.SetSettings(settings);
    EXPECT_EQ(TypedOf(pipeline.Receive("12")), u"[12");
    EXPECT_EQ(timer.delay, 250u);
    EXPECT_EQ(TypedOf(pipeline.Receive("3")), u"3");
    pipeline.SetSettings(Shaping(u"<", u">"));  // during the record: from the next one on
    ASSERT_TRUE(timer.Pending());
    EXPECT_EQ(TypedOf(pipeline.GapElapsed()), u"]");
    EXPECT_EQ(TypedOf(pipeline.Receive("4\r")), u"<4>\r");
    EXPECT_FALSE(timer.Pending()) << "a line end closed the record";

    OutputSettings utf8;
    utf8.code_page = kUtf8CodePage;
    pipeline.SetSettings(utf8);
    EXPECT_EQ(TypedOf(pipeline.Receive("\xC3")), u"");
    EXPECT_EQ(TypedOf(pipeline.Receive("\xBC")), u"\u00FC");

    utf8.suffix = u">";
    pipeline.SetSettings(utf8);
    EXPECT_EQ(TypedOf(pipeline.GapElapsed()), u"");
    EXPECT_EQ(TypedOf(pipeline.Receive("5\xC3")), u"5");
    EXPECT_EQ(TypedOf(pipeline.GapElapsed()), u"\uFFFD>") << "a character cut short by the pause stays in its record";
}

// The output encoding follows the Encoding value once no record is open: the ANSI code page by default, none for
// UTF-8, and the code page named.
TEST(OutputPipeline, OutputEncoding) {
    FakeAnsiCodePage ansi;
    FakeCodePages code_pages;
    FakeTimer timer;
    OutputPipeline pipeline(ansi, code_pages, timer);
    EXPECT_EQ(pipeline.CodePage(), &ansi) << "by default";
    const struct {
        uint32_t encoding;
        bool in_record;
        const char* expected;  // "ansi", "utf-8", "932", or "unchanged"
    } steps[] = {
        {kUtf8CodePage, false, "utf-8"},    {932, false, "932"}, {0, false, "ansi"},
        {kUtf8CodePage, true, "unchanged"}, {932, false, "932"},
    };
    for (const auto& step : steps) {
        const AnsiCodePage* before = pipeline.CodePage();
        if (step.in_record) {
            pipeline.Receive("12");
        }
        OutputSettings settings;
        settings.code_page = step.encoding;
        pipeline.SetSettings(settings);
        const AnsiCodePage* now = pipeline.CodePage();
        const std::string expected = step.expected;
        const std::string label = "Encoding " + std::to_string(step.encoding) + (step.in_record ? " in a record" : "");
        if (expected == "ansi") {
            EXPECT_EQ(now, &ansi) << label;
        } else if (expected == "utf-8") {
            EXPECT_EQ(now, nullptr) << label;
        } else if (expected == "932") {
            ASSERT_NE(now, nullptr) << label;
            EXPECT_NE(now, &ansi) << label;
            EXPECT_TRUE(now->IsLeadByte(0x81)) << label;
        } else {
            EXPECT_EQ(now, before) << label;
            pipeline.Receive("\r");
        }
    }
}

void PutString(FakeRegistry& registry, RegKey root, const char16_t* path, const std::string& name, std::string text) {
    registry.Put(root, ToUtf8(path), name, reg::kRegSz, text + '\0');
}

void PutDword(FakeRegistry& registry, RegKey root, const char16_t* path, const std::string& name, uint32_t value) {
    registry.Put(root, ToUtf8(path), name, reg::kRegDword,
                 std::string(reinterpret_cast<const char*>(&value), sizeof(value)));
}

// The policy's value wins over the user's; a value that does not parse keeps its default and is named with why.
TEST(OutputSettingsReader, PolicyOverUserAndRefusedValues) {
    FakeAnsiCodePage ansi;
    FakeCodePages code_pages;
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
    const OutputSettingsRead read = ReadOutputSettings(registry, ansi, code_pages);
    EXPECT_TRUE(read.refused.empty()) << ToUtf8(RefusalMessage(read.refused));
    OutputSettings expected = Gs1Map();
    expected.suffix = u"policy\t";
    expected.line_end = u"\t";
    expected.code_page = 932;
    expected.key_delay_ms = 5;
    expected.key_mode = KeyMode::kScanCode;
    expected.record_gap_ms = 40;
    EXPECT_TRUE(read.settings == expected);
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
    };
    for (const auto& c : refused) {
        FakeRegistry user;
        if (c.dword) {
            user.Put(kOutputUserRoot, ToUtf8(kOutputUserPath), c.name, reg::kRegDword,
                     std::string(reinterpret_cast<const char*>(&c.number), sizeof(c.number)).append(c.bytes - 4, '\0'));
        } else {
            PutString(user, kOutputUserRoot, kOutputUserPath, c.name, c.text);
        }
        const OutputSettingsRead result = ReadOutputSettings(user, ansi, code_pages);
        const std::string label = std::string(c.name) + "=" + (c.dword ? std::to_string(c.number) : c.text) +
                                  (c.bytes != 4 ? " in " + std::to_string(c.bytes) + " bytes" : "");
        ASSERT_EQ(result.refused.size(), 1u) << label;
        EXPECT_EQ(ToUtf8(result.refused[0].name), c.name) << label;
        EXPECT_FALSE(result.refused[0].reason.empty()) << label;
        if (c.dword) {
            EXPECT_EQ(result.refused[0].reason.find(u"not REG_DWORD"), Text::npos)
                << label << ": a REG_DWORD is not refused as another type: " << ToUtf8(result.refused[0].reason);
        }
        EXPECT_TRUE(result.settings == OutputSettings()) << label << ": the default stays";
    }

    // A policy's value that does not parse gives the default, not the user's value it was meant to override.
    for (const RegKey policy_root : {kOutputPolicyRoot, kOutputUserPolicyRoot}) {
        const std::string label = policy_root == kOutputPolicyRoot ? "computer policy" : "user policy";
        FakeRegistry both;
        PutString(both, kOutputUserRoot, kOutputUserPath, "KeyMode", "unicode");
        PutString(both, policy_root, kOutputPolicyPath, "KeyMode", "fast");
        const OutputSettingsRead result = ReadOutputSettings(both, ansi, code_pages);
        ASSERT_EQ(result.refused.size(), 1u) << label;
        EXPECT_EQ(ToUtf8(result.refused[0].name), "KeyMode (policy)") << label;
        EXPECT_EQ(result.settings.key_mode, KeyMode::kLayout) << label;
    }
}

// The values are handed on at start and again after every change, from the next scan on, without a restart. The
// refused ones are named at start by the caller, and after a change only when something new is refused.
TEST(OutputSettingsReload, FollowsChangesAndNamesNewRefusalsOnce) {
    FakeAnsiCodePage ansi;
    FakeCodePages code_pages;
    FakeRegistry registry;
    FakeRegistryWatch watch;
    std::vector<OutputSettings> applied;
    std::vector<Text> told;
    OutputSettingsReload reload(
        registry, ansi, code_pages, watch, [&applied](const OutputSettings& settings) { applied.push_back(settings); },
        [&told](TextView message) { told.emplace_back(message); });
    PutString(registry, kOutputUserRoot, kOutputUserPath, "Suffix", "\\t#");
    PutString(registry, kOutputUserRoot, kOutputUserPath, "KeyMode", "fast");
    const std::optional<Text> at_start = reload.Start();
    ASSERT_TRUE(at_start.has_value());
    EXPECT_NE(at_start->find(u"KeyMode"), Text::npos) << ToUtf8(*at_start);
    ASSERT_EQ(watch.keys.size(), 3u) << "the user's own, the user's policy and the computer's policy";
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(applied[0].suffix, u"\t#");

    const struct {
        const char* change;
        const char* name;
        const char* value;
        size_t told;  // messages so far
    } changes[] = {
        {"a good value", "LineEnd", "none", 0},
        {"the same refusal", "Prefix", ">", 0},
        {"a new refusal", "Encoding", "utf-16", 1},
        {"one of two mended: the other is named again", "Encoding", "utf-8", 2},
        {"all mended", "KeyMode", "layout", 2},
    };
    for (const auto& c : changes) {
        PutString(registry, kOutputUserRoot, kOutputUserPath, c.name, c.value);
        watch.Change();
        EXPECT_EQ(told.size(), c.told) << c.change;
    }
    ASSERT_EQ(told.size(), 2u);
    EXPECT_NE(told[0].find(u"Encoding"), Text::npos) << ToUtf8(told[0]);
    EXPECT_EQ(told[1].find(u"Encoding"), Text::npos) << ToUtf8(told[1]);
    EXPECT_NE(told[1].find(u"KeyMode"), Text::npos) << ToUtf8(told[1]);
    EXPECT_EQ(applied.size(), 6u);
    EXPECT_EQ(applied.back().line_end, Text());
    EXPECT_EQ(applied.back().prefix, u">");
    EXPECT_EQ(applied.back().key_mode, KeyMode::kLayout);
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

// Administrators see the values through the policy template: every policy sets a value the program reads under
// its policy key, for the computer and for users, every value it reads has a policy, and every text the template
// names is in its language file.
TEST(OutputPolicyTemplate, MatchesTheValuesRead) {
    const std::string admx = ReadSourceFile("packaging/policy/Corvanta.admx");
    const std::string adml = ReadSourceFile("packaging/policy/en-US/Corvanta.adml");
    ASSERT_FALSE(admx.empty());
    ASSERT_FALSE(adml.empty());
    std::set<std::string> read;
    for (const char16_t* name : kOutputValueNames) {
        read.insert(ToUtf8(name));
    }
    EXPECT_EQ(Matches(admx, R"re(valueName="([^"]*)")re"), read);
    EXPECT_EQ(Matches(admx, R"re(<policy name="([^"]*)")re"), read);
    EXPECT_EQ(Matches(admx, R"re(key="([^"]*)")re"), std::set<std::string>{ToUtf8(kOutputPolicyPath)});
    EXPECT_EQ(Matches(admx, R"re(class="([^"]*)")re"), std::set<std::string>{"Both"})
        << "the policy key is read under HKLM, then HKCU";
    // Imported on its own (Intune, a new central store), it may name nothing from another template.
    EXPECT_EQ(admx.find("<using"), std::string::npos) << "the template uses another template's namespace";
    const std::set<std::string> supported = Matches(admx, R"re(<definition name="([^"]*)")re");
    for (const std::string& ref : Matches(admx, R"re(<supportedOn ref="([^"]*)")re")) {
        EXPECT_TRUE(supported.count(ref)) << "supportedOn " << ref << " is not defined in the template";
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
