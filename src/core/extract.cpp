#include "core/extract.h"

#include <string>

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

namespace corvanta {

namespace {

// A pattern that picks a number out of a record fits in a line; a longer one is a mistake, not a setting.
constexpr uint32_t kMaxPatternLength = 1000;
// Compiling recurses once per nested group: this keeps the stack it takes small.
constexpr uint32_t kMaxNesting = 50;
// A search gives up after this many steps (some 10-50 ms), however badly the pattern backtracks; ordinary
// patterns take a few thousand on a 4 KiB record, a sloppy .*(\d+) about 100,000. PCRE2's own match limit counts
// afresh at every start position (4096 of them in a long record), so the steps of the whole search are counted by
// a callout before every item of the pattern.
constexpr uint32_t kMaxSteps = 500'000;
// The memory of the backtracking frames, which PCRE2 keeps on the heap rather than the stack.
constexpr uint32_t kMaxHeapKiB = 4096;

int CountStep(pcre2_callout_block*, void* steps_left) {
    uint32_t& left = *static_cast<uint32_t*>(steps_left);
    if (left == 0) {
        return PCRE2_ERROR_CALLOUT;
    }
    --left;
    return 0;
}

PCRE2_SPTR Units(TextView text) {
    static_assert(sizeof(PCRE2_UCHAR) == sizeof(char16_t), "the 16-bit library matches UTF-16 text");
    return reinterpret_cast<PCRE2_SPTR>(text.data());
}

template <typename T, void (*Free)(T*)>
struct Freed {
    void operator()(T* object) const { Free(object); }
};
using CodePtr = std::unique_ptr<pcre2_code, Freed<pcre2_code, pcre2_code_free>>;
using CompileContextPtr =
    std::unique_ptr<pcre2_compile_context, Freed<pcre2_compile_context, pcre2_compile_context_free>>;
using MatchContextPtr = std::unique_ptr<pcre2_match_context, Freed<pcre2_match_context, pcre2_match_context_free>>;
using MatchDataPtr = std::unique_ptr<pcre2_match_data, Freed<pcre2_match_data, pcre2_match_data_free>>;

Text EngineMessage(int code) {
    PCRE2_UCHAR buffer[256];
    const int length = pcre2_get_error_message(code, buffer, sizeof buffer / sizeof buffer[0]);
    if (length < 0) {
        return AsciiText("error " + std::to_string(code));
    }
    return Text(reinterpret_cast<const char16_t*>(buffer), static_cast<size_t>(length));
}

}  // namespace

struct ExtractPattern::Compiled {
    CodePtr code;
    uint32_t groups = 0;
};

ExtractPattern::ExtractPattern(TextView pattern) {
    if (pattern.empty()) {
        return;
    }
    CompileContextPtr context(pcre2_compile_context_create(nullptr));
    if (!context) {
        throw Error(u"there is not enough memory to compile it");
    }
    auto compiled = std::make_shared<Compiled>();
    pcre2_set_max_pattern_length(context.get(), kMaxPatternLength);
    pcre2_set_parens_nest_limit(context.get(), kMaxNesting);
    int code = 0;
    PCRE2_SIZE offset = 0;
    // The library is built without Unicode tables (they would triple its size): it matches UTF-16 units, so
    // invalid text in a record is matched around, never refused.
    compiled->code.reset(
        pcre2_compile(Units(pattern), pattern.size(), PCRE2_AUTO_CALLOUT, &code, &offset, context.get()));
    if (!compiled->code) {
        const Text where = offset < pattern.size()
                               ? u" at character " + AsciiText(std::to_string(offset + 1)) + u" of the pattern"
                               : Text(u" at the end of the pattern");
        throw Error(EngineMessage(code) + where);
    }
    pcre2_pattern_info(compiled->code.get(), PCRE2_INFO_CAPTURECOUNT, &compiled->groups);
    source_ = Text(pattern);
    compiled_ = std::move(compiled);
}

Extracted ExtractPattern::Apply(TextView record) const {
    if (!compiled_) {
        return {ExtractOutcome::kKept, Text(record)};
    }
    if (record.size() > kMaxSearchedRecord) {
        return {ExtractOutcome::kTooLong, {}};
    }
    const MatchDataPtr match(pcre2_match_data_create_from_pattern(compiled_->code.get(), nullptr));
    const MatchContextPtr limits(pcre2_match_context_create(nullptr));
    if (!match || !limits) {
        return {ExtractOutcome::kNoMatch, {}};
    }
    uint32_t steps_left = kMaxSteps;
    pcre2_set_match_limit(limits.get(), kMaxSteps);
    pcre2_set_heap_limit(limits.get(), kMaxHeapKiB);
    pcre2_set_callout(limits.get(), CountStep, &steps_left);
    // A negative result is no match, or a step or memory limit reached: a search that gave up.
    const int found = pcre2_match(compiled_->code.get(), Units(record), record.size(), 0, 0, match.get(), limits.get());
    if (found <= 0) {
        return {ExtractOutcome::kNoMatch, {}};
    }
    const uint32_t group = compiled_->groups > 0 ? 1 : 0;
    const PCRE2_SIZE* bounds = pcre2_get_ovector_pointer(match.get());
    PCRE2_SIZE begin = bounds[2 * group];
    PCRE2_SIZE end = bounds[2 * group + 1];
    // A group that took no part in the match keeps nothing.
    if (begin == PCRE2_UNSET || end == PCRE2_UNSET || end < begin || end > record.size()) {
        return {ExtractOutcome::kKept, {}};
    }
    // Units are matched, not characters: a character beyond U+FFFF that the match cuts in two is kept whole.
    if (begin > 0 && begin < end && IsLowSurrogate(record[begin]) && IsHighSurrogate(record[begin - 1])) {
        --begin;
    }
    if (end < record.size() && begin < end && IsHighSurrogate(record[end - 1]) && IsLowSurrogate(record[end])) {
        ++end;
    }
    return {ExtractOutcome::kKept, Text(record.substr(begin, end - begin))};
}

}  // namespace corvanta
