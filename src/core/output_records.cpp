#include "core/output_records.h"

#include <utility>

namespace corvanta {

std::vector<RecordPiece> RecordSplitter::Split(TextView text) {
    std::vector<RecordPiece> pieces;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        const bool joined = crlf_.Joins(unit);
        if (joined || unit == u'\r' || unit == u'\n') {
            if (i > start) {
                pieces.push_back({RecordPiece::Kind::kText, Text(text.substr(start, i - start))});
            }
            if (!joined) {
                pieces.push_back({RecordPiece::Kind::kLineEnd, Text(1, unit)});
            }
            start = i + 1;
        }
    }
    if (text.size() > start) {
        pieces.push_back({RecordPiece::Kind::kText, Text(text.substr(start))});
    }
    return pieces;
}

void RecordShaper::SetSettings(const OutputSettings& settings) {
    pending_ = settings;
    if (!in_record_) {
        AdoptPendingSettings();
    }
}

void RecordShaper::AdoptPendingSettings() {
    if (pending_) {
        current_ = std::move(*pending_);
        pending_.reset();
    }
}

void RecordShaper::Typed(TextView text, Text& out) {
    if (text.empty()) {
        return;
    }
    if (!in_record_) {
        in_record_ = true;
        out += current_.prefix;
    }
    out += text;
}

void RecordShaper::Character(char16_t unit, Text& out) {
    if (current_.controls == ControlMode::kMap) {
        const auto mapped = current_.control_map.find(unit);
        if (mapped != current_.control_map.end()) {
            Typed(mapped->second, out);
            return;
        }
    }
    // Any other control is left out here, where the settings are known; one that is kept is typed as itself.
    if (!IsOtherControl(unit) || current_.controls == ControlMode::kUnicode) {
        Typed(TextView(&unit, 1), out);
    }
}

Text RecordShaper::Characters(TextView text) {
    if (!in_record_) {
        AdoptPendingSettings();
    }
    Text out;
    for (const char16_t unit : text) {
        Character(unit, out);
    }
    return out;
}

Text RecordShaper::LineEnd(char16_t unit) {
    if (!in_record_) {
        AdoptPendingSettings();
    }
    Text out = EndRecord();
    out += current_.line_end ? *current_.line_end : Text(1, unit);
    return out;
}

Text RecordShaper::EndRecord() {
    if (!in_record_) {
        return Text();
    }
    in_record_ = false;
    return current_.suffix;
}

}  // namespace corvanta
