#pragma once

#include <optional>
#include <vector>

#include "common/text.h"
#include "core/output_settings.h"

namespace corvanta {

// CR LF is one line end, also when a read ends between the two: the LF right after a CR belongs to that CR. Asked
// of what is received (where records end) and of what is typed (one Enter for CR LF).
class CrLfJoin {
  public:
    // Whether `unit` is the LF of a CR LF, its CR being the unit asked about before it.
    bool Joins(char16_t unit) {
        const bool joins = after_cr_ && unit == u'\n';
        after_cr_ = unit == u'\r';
        return joins;
    }

  private:
    bool after_cr_ = false;
};

// A piece of received text: characters of a record, or the line end that ends one.
struct RecordPiece {
    enum class Kind : uint8_t {
        kText,
        kLineEnd,      // CR, LF or CR LF, as received
        kLineEndRest,  // the LF of a CR LF whose CR came last in the previous text: the same line end
    };
    Kind kind = Kind::kText;
    Text text;
    bool operator==(const RecordPiece&) const = default;
};

// Text to records: splits at line ends, CR LF counting once.
class RecordSplitter {
  public:
    std::vector<RecordPiece> Split(TextView text);

  private:
    CrLfJoin crlf_;
};

// Records to the text typed: the prefix before a record's first typed character, the suffix after its last, then
// its line end as the settings say; control characters as the settings say, those not typed left out. What it
// types is final: CR LF is one line end in it, where nothing came between the two. With the default settings only
// the controls without a key of their own and the LF of each CR LF are left out.
class RecordShaper {
  public:
    // Used from the next record on; the current record keeps the settings it started with.
    void SetSettings(const OutputSettings& settings);

    // Characters of a record, with the prefix first when they open it.
    Text Characters(TextView text);
    // A line end came: the open record's suffix, then the line end as the settings say.
    Text LineEnd(TextView received);
    // The LF of a CR LF split between two texts: as it came, unless the line end was replaced.
    Text LineEndRest();
    // The pause that ends a record without a line end: the suffix of the open record, if one is open.
    Text EndRecord();

    // Whether a record has begun and not ended yet.
    bool InRecord() const { return in_record_; }
    const OutputSettings& Settings() const { return current_; }

  private:
    void AdoptPendingSettings();
    // One character of a record: what it is typed as, the prefix first when it opens the record.
    void Character(char16_t unit, Text& out);
    // A received unit typed as `typed`, or, when that is empty, left out.
    void Replaced(char16_t unit, TextView typed, Text& out);
    void Typed(TextView text, Text& out);
    // Everything typed goes out here, where CR LF is one line end too: also where a prefix, a suffix, a line end or
    // a replacement from the settings brings the two together.
    void Emit(TextView text, Text& out);

    OutputSettings current_;
    std::optional<OutputSettings> pending_;
    bool in_record_ = false;
    // Whether the last line end was typed as the settings' text rather than as it came.
    bool line_end_replaced_ = false;
    CrLfJoin typed_crlf_;
};

}  // namespace corvanta
