#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/output_pipeline.h"
#include "core/output_records.h"
#include "core/output_settings.h"
#include "core/text_decoder.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_code_pages.h"
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

// A pipeline over fakes: the system's ANSI code page, the installed code pages, the gap timer and the clock.
struct PipelineRig {
    FakeAnsiCodePage ansi;
    FakeCodePages code_pages;
    FakeTimer timer;
    FakeClock clock;
    OutputPipeline pipeline{ansi, code_pages, timer, clock};
};

// What the pipeline types for each read, over the ANSI code page.
std::vector<Text> TypedFor(const OutputSettings& settings, const std::vector<std::string>& reads) {
    PipelineRig rig;
    OutputPipeline& pipeline = rig.pipeline;
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
        uint32_t before = 0;   // the encoding of the record that opened with "a"
        bool failing = false;  // the first conversion in the new encoding fails, and the read comes again
        Text row{};            // what its row shows it received, where given
    } cases[] = {
        {"encoding", utf8, "b\r\xC3\xA9\r", u"ab\r\u00E9\r"},
        {"encoding after CR LF", utf8, "b\r\n\xC3\xA9", u"ab\r\u00E9"},
        {"encoding, a character cut by the line end", utf8, "\xC3\r\xC3\xA9", u"a\u00C3\r\u00E9"},
        {"encoding and suffix", utf8_suffix, "b\n\xC3\xA9\n", u"ab\n\u00E9#\n"},
        {"a failed conversion leaves all as it was", {}, "b\r\xE9", u"ab\r\u00E9", kUtf8CodePage, true},
        {"from a code page of its own, which the row keeps", utf8, "\xE9\r\xC3\xA9\r", u"a\u00E9\r\u00E9\r", 1252,
         false, u"a\u00E9\\r"},
    };
    for (const auto& c : cases) {
        for (size_t split = 0; split <= c.stream.size(); ++split) {
            PipelineRig rig;
            OutputPipeline& pipeline = rig.pipeline;
            OutputSettings before;
            before.code_page = c.before;
            pipeline.SetSettings(before);
            Text typed = TypedOf(pipeline.Receive("a"));
            pipeline.SetSettings(c.settings);
            rig.ansi.fail_to_text = c.failing;
            const std::vector<std::string> reads = {c.stream.substr(0, split), c.stream.substr(split)};
            std::vector<Text> rows;
            for (const std::string& read : reads) {
                std::vector<RecordPart> parts;
                try {
                    parts = pipeline.Receive(read);
                } catch (const Error&) {
                    rig.ansi.fail_to_text = false;
                    parts = pipeline.Receive(read);
                }
                typed += TypedOf(parts);
                for (const RecordPart& part : parts) {
                    if (part.end) {
                        rows.push_back(part.end->received);
                    }
                }
            }
            EXPECT_EQ(ToUtf8(typed), ToUtf8(c.typed)) << c.label << ": " << Shown(reads);
            if (!c.row.empty()) {
                EXPECT_EQ(ToUtf8(rows.empty() ? Text() : rows[0]), ToUtf8(c.row)) << c.label << ": " << Shown(reads);
            }
        }
    }
}

// A part as the tables write it: what came, what is typed, and where the record ends its row, as
// "status: received | typed" with the log's escapes.
struct Part {
    Text received;
    Text typed;
    std::string row{};  // empty: the record goes on
    bool operator==(const Part&) const = default;
};

Part Seen(const RecordPart& part) {
    if (!part.end) {
        return {part.received, part.typed, ""};
    }
    std::string row =
        ToUtf8(StatusText(part.end->status)) + ": " + ToUtf8(part.end->received) + " | " + ToUtf8(part.end->typed);
    // Rows of thousands of characters are compared by their status alone.
    if (row.size() > 200) {
        row = ToUtf8(StatusText(part.end->status)) + ":";
    }
    return {part.received, part.typed, row};
}

std::string Shown(const std::vector<std::vector<Part>>& outputs) {
    std::string shown;
    for (const std::vector<Part>& output : outputs) {
        shown += "{";
        for (const Part& part : output) {
            shown +=
                Shown(std::vector<Text>{part.received, part.typed}) + (part.row.empty() ? " " : " (" + part.row + ") ");
        }
        shown += "}";
    }
    return shown;
}

// A read, or one of these.
const std::string kGap = "(gap)";
const std::string kLater = "(600 ms later)";

// What the pipeline made of each read and pause, over the ANSI code page or UTF-8.
std::vector<std::vector<Part>> PartsFor(const OutputSettings& settings, const std::vector<std::string>& reads) {
    PipelineRig rig;
    OutputPipeline& pipeline = rig.pipeline;
    pipeline.SetSettings(settings);
    std::vector<std::vector<Part>> outputs;
    for (const std::string& read : reads) {
        if (read == kLater) {
            rig.clock.Advance(600);
            continue;
        }
        std::vector<Part> parts;
        for (const RecordPart& part : read == kGap ? pipeline.GapElapsed() : pipeline.Receive(read)) {
            parts.push_back(Seen(part));
        }
        outputs.push_back(std::move(parts));
    }
    return outputs;
}

// The relay sees records: each read or pause gives the records' parts in order, each with what came for it, what
// is typed for it, and where the record ended (a line end, or the gap after a record that began) its row: the
// record's bytes with the escapes (its line end included), what was typed for it in all.
TEST(OutputPipeline, RecordsOfEachReadAndPause) {
    OutputSettings utf8;
    utf8.code_page = kUtf8CodePage;
    const struct {
        const char* label;
        OutputSettings settings;
        std::vector<std::string> reads;  // kGap: the record gap passes
        std::vector<std::vector<Part>> parts;
    } cases[] = {
        {"a scan", {}, {"12\r\n"}, {{{u"12", u"12\r", "typed: 12\\r\\n | 12\\r"}}}},
        {"a scan in two reads", {}, {"1", "2\r"}, {{{u"1", u"1"}}, {{u"2", u"2\r", "typed: 12\\r | 12\\r"}}}},
        {"two scans, the second open", {}, {"a\rb"}, {{{u"a", u"a\r", "typed: a\\r | a\\r"}, {u"b", u"b"}}}},
        {"empty lines", {}, {"\r\n\n"}, {{{u"", u"\r", "typed: \\r\\n | \\r"}, {u"", u"\n", "typed: \\n | \\r"}}}},
        {"the gap ends a record",
         Shaping(u"", u"#"),
         {"ab", kGap, kGap},
         {{{u"ab", u"ab"}}, {{u"", u"#", "typed: ab | ab#"}}, {}}},
        {"a dropped control",
         Shaping(u"<", u">"),
         {"\x04x\r\x04\n"},
         {{{u"\x04x", u"<x>\r", "typed: \\x04x\\r | <x>\\r"}, {u"\x04", u"\n", "typed: \\x04\\n | \\r"}}}},
        {"a CR LF split between reads: the LF is the first record's",
         {},
         {"a\r", "\nb\r"},
         {{{u"a", u"a\r", "typed: a\\r | a\\r"}}, {{u"b", u"b\r", "typed: b\\r | b\\r"}}}},
        {"binary noise in UTF-8 shows as its bytes",
         utf8,
         {"\xFF\xFE\"=1,\x1D\r"},
         {{{u"\uFFFD\uFFFD\"=1,\x1D", u"\uFFFD\uFFFD\"=1,\r",
            "typed: \\xFF\\xFE\"=1,\\x1D\\r | \uFFFD\uFFFD\"=1,\\r"}}}},
        {"a character split between reads is in its record's bytes",
         utf8,
         {"x\xC3", "\xA9\r"},
         {{{u"x", u"x"}}, {{u"\u00E9", u"\u00E9\r", "typed: x\u00E9\\r | x\u00E9\\r"}}}},
    };
    for (const auto& c : cases) {
        const std::vector<std::vector<Part>> parts = PartsFor(c.settings, c.reads);
        EXPECT_TRUE(parts == c.parts) << c.label << ": " << Shown(c.reads) << " gave " << Shown(parts);
    }
}

OutputSettings Holding(const char16_t* extract, uint32_t repeat_gap_ms = 0) {
    OutputSettings settings;
    settings.extract = ExtractPattern(extract);
    settings.repeat_gap_ms = repeat_gap_ms;
    return settings;
}

OutputSettings Holding(const char16_t* extract, Text prefix, Text suffix) {
    OutputSettings settings = Holding(extract);
    settings.prefix = std::move(prefix);
    settings.suffix = std::move(suffix);
    return settings;
}

// With Extract or RepeatGap set, a record is held until it ends and then typed as what the pattern keeps, shaped,
// or not at all: no match, a repeat within the gap, more than Extract searches. A split CR LF's LF belongs to a
// record that typed nothing, and types nothing either.
TEST(OutputPipeline, HeldRecords) {
    const std::string longest(kMaxSearchedRecord, '7');
    const struct {
        const char* label;
        OutputSettings settings;
        std::vector<std::string> reads;  // kGap: the record gap passes; kLater: the clock moves on
        std::vector<std::vector<Part>> parts;
    } cases[] = {
        {"the value of a balance's record",
         Holding(u"^S S +(\\S+)"),
         {"S S      12.345 g\r\n"},
         {{{u"S S      12.345 g", u"12.345\r", "typed: S S      12.345 g\\r\\n | 12.345\\r"}}}},
        {"shaped around the value",
         Holding(u"^S S +(\\S+)", u"<", u">"),
         {"S S   1.5 g\r"},
         {{{u"S S   1.5 g", u"<1.5>\r", "typed: S S   1.5 g\\r | <1.5>\\r"}}}},
        {"nothing is typed before the record ends",
         Holding(u"^S S +(\\S+)"),
         {"S S   1", "2.5 g\r\n"},
         {{{u"S S   1", u""}}, {{u"2.5 g", u"12.5\r", "typed: S S   12.5 g\\r\\n | 12.5\\r"}}}},
        {"no match types nothing, not even the line end",
         Holding(u"^S S +(\\S+)"),
         {"S D   12.341 g\r\nS I\r\n"},
         {{{u"S D   12.341 g", u"", "no match: S D   12.341 g\\r\\n | "}, {u"S I", u"", "no match: S I\\r\\n | "}}}},
        {"the gap ends a held record: the suffix, no line end",
         Holding(u"^ST,([-+][0-9.]+)", u"", u"#"),
         {"ST,+00012.34  g", kGap},
         {{{u"ST,+00012.34  g", u""}}, {{u"", u"+00012.34#", "typed: ST,+00012.34  g | +00012.34#"}}}},
        {"a repeat within the gap, then the same again after it",
         Holding(u"", 500),
         {"TAG1\rTAG1\rTAG2\r", kLater, "TAG2\r"},
         {{{u"TAG1", u"TAG1\r", "typed: TAG1\\r | TAG1\\r"},
           {u"TAG1", u"", "repeat: TAG1\\r | "},
           {u"TAG2", u"TAG2\r", "typed: TAG2\\r | TAG2\\r"}},
          {{u"TAG2", u"TAG2\r", "typed: TAG2\\r | TAG2\\r"}}}},
        {"the longest record Extract searches, and one more character",
         Holding(u"(7+)"),
         {longest + "\r", longest + "7\r", "77\r"},
         {{{Text(longest.begin(), longest.end()), Text(longest.begin(), longest.end()) + u"\r", "typed:"}},
          {{Text(longest.size() + 1, u'7'), u"", "too long:"}},
          {{u"77", u"77\r", "typed: 77\\r | 77\\r"}}}},
        {"the LF of a CR LF split after a record that typed nothing",
         Holding(u"^S S +(\\S+)"),
         {"S D 1 g\r", "\nS S 2 g\r", "\n"},
         {{{u"S D 1 g", u"", "no match: S D 1 g\\r | "}}, {{u"S S 2 g", u"2\r", "typed: S S 2 g\\r | 2\\r"}}, {}}},
    };
    for (const auto& c : cases) {
        const std::vector<std::vector<Part>> parts = PartsFor(c.settings, c.reads);
        EXPECT_TRUE(parts == c.parts) << c.label << ": " << Shown(c.reads).substr(0, 200) << " gave "
                                      << Shown(parts).substr(0, 400);
    }
}

// A record without a line end of any length costs a bounded amount: held, it is too long and its row shows its
// start and how much more came; streamed, it is typed as it comes.
TEST(OutputPipeline, AMegabyteWithoutALineEnd) {
    for (const bool holding : {true, false}) {
        PipelineRig rig;
        OutputPipeline& pipeline = rig.pipeline;
        pipeline.SetSettings(holding ? Holding(u"\\d+") : OutputSettings());
        const std::string read(64 * 1024, '5');
        size_t typed = 0;
        for (int i = 0; i < 16; ++i) {
            typed += TypedOf(pipeline.Receive(read)).size();
        }
        const std::vector<RecordPart> end = pipeline.GapElapsed();
        const std::string label = holding ? "held" : "streamed";
        ASSERT_EQ(end.size(), 1u) << label;
        ASSERT_TRUE(end[0].end.has_value()) << label;
        EXPECT_EQ(end[0].end->status, holding ? RecordStatus::kTooLong : RecordStatus::kTyped) << label;
        EXPECT_EQ(typed, holding ? 0u : 16 * read.size()) << label;
        const Text more = u"\u2026(+" + AsciiText(std::to_string(16 * read.size() - kMaxShownBytes)) + u" bytes)";
        EXPECT_EQ(end[0].end->received, Text(kMaxShownBytes, u'5') + more) << label;
        EXPECT_LE(end[0].end->typed.size(), kMaxShownBytes + 40) << label;
    }
}

// The LF of a CR LF split between reads is typed as its CR was, whatever the settings became in between: a LineEnd
// changed there types no second line end.
TEST(OutputPipeline, SettingsChangedWithinASplitCrLf) {
    const struct {
        const char* label;
        std::optional<Text> before, after;
        Text first, second;
    } cases[] = {
        {"tab, then enter", u"\t", std::nullopt, u"a\t", u"b\r"},
        {"enter, then tab", std::nullopt, u"\t", u"a\r", u"b\t"},
    };
    for (const auto& c : cases) {
        PipelineRig rig;
        OutputPipeline& pipeline = rig.pipeline;
        pipeline.SetSettings(Shaping(u"", u"", c.before));
        EXPECT_EQ(TypedOf(pipeline.Receive("a\r")), c.first) << c.label;
        pipeline.SetSettings(Shaping(u"", u"", c.after));
        EXPECT_EQ(TypedOf(pipeline.Receive("\nb\r")), c.second) << c.label;
    }
}

// A pause of the record gap ends a record: its suffix is typed when the timer fires, and the next byte opens a
// new one; nothing waits for the gap. New settings wait for the end of the record.
TEST(OutputPipeline, RecordGapOnTheTimer) {
    PipelineRig rig;
    OutputPipeline& pipeline = rig.pipeline;

    EXPECT_EQ(TypedOf(pipeline.Receive("plain")), u"plain");
    EXPECT_EQ(TypedOf(pipeline.GapElapsed()), u"") << "no suffix";

    OutputSettings settings = Shaping(u"[", u"]");
    settings.record_gap_ms = 250;
    pipeline.SetSettings(settings);
    EXPECT_EQ(TypedOf(pipeline.Receive("12")), u"[12");
    EXPECT_EQ(rig.timer.delay, 250u);
    EXPECT_EQ(TypedOf(pipeline.Receive("3")), u"3");
    pipeline.SetSettings(Shaping(u"<", u">"));  // during the record: from the next one on
    ASSERT_TRUE(rig.timer.Pending());
    EXPECT_EQ(TypedOf(pipeline.GapElapsed()), u"]");
    EXPECT_EQ(TypedOf(pipeline.Receive("4\r")), u"<4>\r");
    EXPECT_FALSE(rig.timer.Pending()) << "a line end closed the record";

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
    PipelineRig rig;
    OutputPipeline& pipeline = rig.pipeline;
    EXPECT_EQ(pipeline.CodePage(), &rig.ansi) << "by default";
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
            EXPECT_EQ(now, &rig.ansi) << label;
        } else if (expected == "utf-8") {
            EXPECT_EQ(now, nullptr) << label;
        } else if (expected == "932") {
            ASSERT_NE(now, nullptr) << label;
            EXPECT_NE(now, &rig.ansi) << label;
            EXPECT_TRUE(now->IsLeadByte(0x81)) << label;
        } else {
            EXPECT_EQ(now, before) << label;
            pipeline.Receive("\r");
        }
    }
}

}  // namespace
}  // namespace corvanta
