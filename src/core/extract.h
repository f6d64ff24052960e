#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/text.h"

namespace corvanta {

// Records longer than this (UTF-16 units of decoded text) are not searched: a device that streams without a line
// end must not make every record a long search.
inline constexpr size_t kMaxSearchedRecord = 4096;

enum class ExtractOutcome : uint8_t {
    kKept,     // `kept` is what is typed of the record
    kNoMatch,  // the pattern is not in the record, or the search gave up at one of its limits
    kTooLong,  // longer than kMaxSearchedRecord: not searched
};

struct Extracted {
    ExtractOutcome outcome = ExtractOutcome::kKept;
    Text kept;
    bool operator==(const Extracted&) const = default;
};

// The Extract value: a regular expression searched in each record's text (decoded, before prefix, suffix and
// line end). With a capture group the first group is kept, else the whole match; sign, blanks and leading zeros
// are what the pattern keeps. The syntax is Perl's (PCRE2): \d, \s and \w are ASCII, case-insensitive matching
// folds ASCII letters only, \x{hhhh} writes any character up to U+FFFF, and a character beyond U+FFFF counts as
// two (its UTF-16 units), though a match never keeps half of one. A search is bounded in steps and memory, so no
// pattern can hang the program or exhaust its stack.
class ExtractPattern {
  public:
    // No pattern: every record is kept whole, whatever its length.
    ExtractPattern() = default;

    // Compiles the pattern; an empty one is no pattern. Throws Error with the engine's reason and where in the
    // pattern it is, for the start-up message.
    explicit ExtractPattern(TextView pattern);

    Extracted Apply(TextView record) const;

    bool Empty() const { return compiled_ == nullptr; }
    const Text& Source() const { return source_; }
    bool operator==(const ExtractPattern& other) const { return source_ == other.source_; }

  private:
    struct Compiled;
    Text source_;
    // Read-only once compiled, so copies of the settings share it.
    std::shared_ptr<const Compiled> compiled_;
};

}  // namespace corvanta
