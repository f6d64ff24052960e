#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/output_pipeline.h"
#include "core/output_records.h"
#include "core/output_settings.h"
#include "core/text_decoder.h"
#include "fakes/fake_ansi_code_page.h"
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

}  // namespace
}  // namespace corvanta
