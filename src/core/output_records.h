#pragma once

#include <vector>

#include "common/text.h"
#include "core/output_settings.h"

namespace corvanta {

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

// Text to records: splits at line ends, counting CR LF once, also when it is split between two texts.
class RecordSplitter {
  public:
    std::vector<RecordPiece> Split(TextView text);

  private:
    bool after_cr_ = false;
};

// Records to the text typed: the prefix before a record's first typed character, the suffix after its last, then
// its line end as the settings say; control characters as the settings say. With the default settings the text
// comes out exactly as it went in (the keystroke sender leaves out what it does not type).
class RecordShaper {
  public:
    // Used from the next record on; the current record keeps the settings it started with.
    void SetSettings(const OutputSettings& settings);

    Text Shape(const std::vector<RecordPiece>& pieces);

    // The pause that ends a record without a line end: the suffix of the open record, if one is open.
    Text EndRecord();

    // Whether a record has begun and not ended yet.
    bool InRecord() const { return in_record_; }
    const OutputSettings& Settings() const { return current_; }

  private:
    void AdoptPendingSettings();
    // One character of a record: what it is typed as, the prefix first when it opens the record.
    void Character(char16_t unit, Text& out);
    void Typed(TextView text, Text& out);

    OutputSettings current_;
    std::optional<OutputSettings> pending_;
    bool in_record_ = false;
};

}  // namespace corvanta
