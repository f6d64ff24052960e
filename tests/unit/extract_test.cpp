#include <gtest/gtest.h>

#include <string>

#include "core/extract.h"

namespace corvanta {
namespace {

std::string Shown(ExtractOutcome outcome) {
    switch (outcome) {
        case ExtractOutcome::kKept:
            return "kept";
        case ExtractOutcome::kNoMatch:
            return "no match";
        case ExtractOutcome::kTooLong:
            return "too long";
    }
    return "?";
}

void ExpectExtracted(const ExtractPattern& pattern, TextView record, const Extracted& expected) {
    const Extracted got = pattern.Apply(record);
    EXPECT_EQ(Shown(got.outcome), Shown(expected.outcome))
        << "pattern " << ToUtf8(pattern.Source()) << " on \"" << ToUtf8(record) << "\"";
    EXPECT_EQ(ToUtf8(got.kept), ToUtf8(expected.kept))
        << "pattern " << ToUtf8(pattern.Source()) << " on \"" << ToUtf8(record) << "\"";
}

constexpr ExtractOutcome kKept = ExtractOutcome::kKept;
constexpr ExtractOutcome kNoMatch = ExtractOutcome::kNoMatch;

// Records as balances send them (line end removed), with the patterns the README shows: the reading is kept with
// its sign, blanks and zeros as the pattern takes them; unstable, overload and error answers are not typed.
TEST(Extract, ReadingsOfCommonBalances) {
    const struct {
        const char16_t* pattern;
        const char16_t* record;
        Extracted expected;
    } cases[] = {
        // MT-SICS, stable weight (S): "S S", the value right-aligned, the unit.
        {u"^S S +(\\S+)", u"S S      12.345 g", {kKept, u"12.345"}},
        {u"^S S +(\\S+)", u"S S     -12.345 g", {kKept, u"-12.345"}},
        {u"^S S +(\\S+)", u"S D      12.341 g", {kNoMatch, u""}},
        {u"^S S +(\\S+)", u"S I", {kNoMatch, u""}},
        {u"^S S +(\\S+)", u"S +", {kNoMatch, u""}},
        {u"^S S +(\\S+)", u"S -", {kNoMatch, u""}},
        // MT-SICS, weight now (SI): the dynamic "S D" answer is typed too.
        {u"^S [SD] +(\\S+)", u"S D      12.341 g", {kKept, u"12.341"}},
        {u"^S [SD] +(\\S+)", u"S S      12.345 g", {kKept, u"12.345"}},
        {u"^S [SD] +(\\S+)", u"ES", {kNoMatch, u""}},
        // A&D: header, sign and zero-padded value, three-character unit.
        {u"^ST,([-+][0-9.]+)", u"ST,+00012.34  g", {kKept, u"+00012.34"}},
        {u"^ST,([-+][0-9.]+)", u"ST,-00183.96  g", {kKept, u"-00183.96"}},
        {u"^ST,([-+][0-9.]+)", u"US,+00012.31  g", {kNoMatch, u""}},
        {u"^ST,([-+][0-9.]+)", u"OL,+9999999E+19", {kNoMatch, u""}},
        {u"^ST,\\+?0*(\\d[0-9.]*)", u"ST,+00012.34  g", {kKept, u"12.34"}},
        {u"^ST,([-+][0-9.]+) +kg", u"ST,+0001.234 kg", {kKept, u"+0001.234"}},
        // Ohaus: the value right-aligned with blanks, the unit, "?" while unstable.
        {u"^ *(-?[0-9.]+) +g *$", u"     192.21 g", {kKept, u"192.21"}},
        {u"^ *(-?[0-9.]+) +g *$", u"       0.01 g ?", {kNoMatch, u""}},
        {u"^ *(-?[0-9.]+) +\\S+ *$", u"      12.73 g    ", {kKept, u"12.73"}},
        {u"^ *(-?[0-9.]+) +\\S+ *$", u"      12.72 g    ?", {kNoMatch, u""}},
        {u"^ *(-?[0-9.]+) +\\S+ *$", u"     -0.4500 oz    ", {kKept, u"-0.4500"}},
        // A plain number anywhere, the whole match kept.
        {u"-?\\d+(\\.\\d+)?", u"Net: 1234.5 kg", {kKept, u".5"}},
        {u"-?\\d+(?:\\.\\d+)?", u"Net: 1234.5 kg", {kKept, u"1234.5"}},
        {u"-?\\d+(?:\\.\\d+)?", u"Net: -0.020 kg", {kKept, u"-0.020"}},
        {u"-?\\d+(?:\\.\\d+)?", u"------", {kNoMatch, u""}},
    };
    for (const auto& c : cases) {
        ExpectExtracted(ExtractPattern(c.pattern), c.record, c.expected);
    }
}

// The first capture group is kept, else the whole match; a group that took no part keeps nothing. Without a
// pattern every record is kept whole, however long. Characters beyond ASCII match as themselves, a character
// beyond U+FFFF is never kept in halves, and lone surrogates in a record are matched around.
TEST(Extract, WhatIsKept) {
    const struct {
        const char16_t* pattern;
        Text record;
        Extracted expected;
    } cases[] = {
        {u"", u"anything at all", {kKept, u"anything at all"}},
        {u"", Text(100000, u'x'), {kKept, Text(100000, u'x')}},
        {u"", u"", {kKept, u""}},
        {u"b+", u"abbbc", {kKept, u"bbb"}},
        {u"(a)(b)", u"ab", {kKept, u"a"}},
        {u"(?:a)(b)", u"ab", {kKept, u"b"}},
        {u"(x)?b", u"ab", {kKept, u""}},
        {u"(?|ST,([\\d.]+)|S S +([\\d.]+))", u"S S  1.5 g", {kKept, u"1.5"}},
        {u"(?i)net\\s*(\\d+)", u"NET 42", {kKept, u"42"}},
        {u"^$", u"", {kKept, u""}},
        {u"([\u00B5m]g)", u"12 \u00B5g", {kKept, u"\u00B5g"}},
        {u"\\x{B5}(.)", u"\u00B5\U0001F600!", {kKept, u"\U0001F600"}},
        {u"(.)!", u"\U0001F600!", {kKept, u"\U0001F600"}},
        {u"(\\d+)",
         u"\xD800"
         u"12\xDC00",
         {kKept, u"12"}},
        {u"\\d", u"\uFF11\u0661", {kNoMatch, u""}},
        {u"\\r|\\n", u"no line end here", {kNoMatch, u""}},
    };
    for (const auto& c : cases) {
        ExpectExtracted(ExtractPattern(c.pattern), c.record, c.expected);
    }
}

// Records longer than 4 KiB are not searched; a search that reaches its step, depth or memory limit counts as
// no match and ends quickly, whatever the pattern: nothing hangs or overflows the stack.
TEST(Extract, LongRecordsAndRunawaySearches) {
    const Text longest(kMaxSearchedRecord, u'a');
    const struct {
        const char16_t* pattern;
        Text record;
        Extracted expected;
    } cases[] = {
        {u"a+", longest, {kKept, longest}},
        {u"a+", longest + u"a", {ExtractOutcome::kTooLong, u""}},
        {u"(a+)+b", Text(40, u'a'), {kNoMatch, u""}},
        {u"(a|aa)+$", longest + u"", {kKept, u"a"}},
        {u"(a|a)*b", longest, {kNoMatch, u""}},
        {u"(x|y)*z", Text(kMaxSearchedRecord, u'x'), {kNoMatch, u""}},
        {u"((((.*)*)*)*)*!", longest, {kNoMatch, u""}},
        {u"(?:(a)|b)*+c", longest, {kNoMatch, u""}},
        // Each start position stays below PCRE2's own limit; the whole search does not.
        {u"(a|a){0,19}\\d", longest, {kNoMatch, u""}},
        {u".*(\\d+)", Text(kMaxSearchedRecord, u'1'), {kKept, u"1"}},
    };
    for (const auto& c : cases) {
        ExpectExtracted(ExtractPattern(c.pattern), c.record, c.expected);
    }
}

// A pattern that does not compile is refused with the engine's reason and where it is, for the start-up message.
TEST(Extract, RefusesPatternsThatDoNotCompile) {
    const struct {
        Text pattern;
        const char* reason;  // a part of the message
    } cases[] = {
        {u"(\\d+", "missing closing parenthesis at the end of the pattern"},
        {u"[0-9", "missing terminating ] for character class"},
        {u"a{2,1}", "numbers out of order in {} quantifier at character 6"},
        {u"\\u00B5", "\\u"},
        {u"*12", "quantifier does not follow a repeatable item at character 1"},
        {u"\\x{10000}", "character code point value in \\x{} or \\o{} is too large at character 9"},
        {Text(60, u'(') + Text(60, u')'), "parentheses are too deeply nested"},
        {Text(1001, u'a'), "longer than the limit"},
    };
    for (const auto& c : cases) {
        try {
            ExtractPattern pattern(c.pattern);
            ADD_FAILURE() << "pattern " << ToUtf8(c.pattern) << " compiled";
        } catch (const Error& error) {
            EXPECT_NE(ToUtf8(error.Description()).find(c.reason), std::string::npos)
                << "pattern " << ToUtf8(c.pattern) << ": " << ToUtf8(error.Description());
        }
    }
    EXPECT_NO_THROW(ExtractPattern(Text(1000, u'a')));
}

}  // namespace
}  // namespace corvanta
