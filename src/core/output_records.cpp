#include "core/output_records.h"

#include <utility>

namespace corvanta {

std::vector<RecordPiece> RecordSplitter::Split(TextView text) {
    std::vector<RecordPiece> pieces;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (crlf_.Joins(unit)) {
            // Its CR is the line end just before it, in this text or at the end of the last one.
            if (i == 0) {
                pieces.push_back({RecordPiece::Kind::kLineEndRest, u"\n"});
            } else {
                pieces.back().text.push_back(unit);
            }
            start = i + 1;
        } else if (unit == u'\r' || unit == u'\n') {
            if (i > start) {
                pieces.push_back({RecordPiece::Kind::kText, Text(text.substr(start, i - start))});
            }
            pieces.push_back({RecordPiece::Kind::kLineEnd, Text(1, unit)});
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

void RecordShaper::Emit(TextView text, Text& out) {
    for (const char16_t unit : text) {
        if (!typed_crlf_.Joins(unit)) {
            out.push_back(unit);
        }
    }
}

void RecordShaper::Typed(TextView text, Text& out) {
    if (text.empty()) {
        return;
    }
    if (!in_record_) {
        in_record_ = true;
        Emit(current_.prefix, out);
    }
    Emit(text, out);
}

void RecordShaper::Character(char16_t unit, Text& out) {
    if (current_.controls == ControlMode::kMap) {
        const auto mapped = current_.control_map.find(unit);
        if (mapped != current_.control_map.end()) {
            Replaced(unit, mapped->second, out);
            return;
        }
    }
    // Any other control is left out here, where the settings are known; one that is kept is typed as itself.
    const bool kept = !IsOtherControl(unit) || current_.controls == ControlMode::kUnicode;
    Replaced(unit, kept ? TextView(&unit, 1) : TextView(), out);
}

void RecordShaper::Replaced(char16_t unit, TextView typed, Text& out) {
    if (typed.empty()) {
        // Left out, yet it came between: a CR before it and an LF after it are two line ends.
        typed_crlf_.Joins(unit);
    } else {
        Typed(typed, out);
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

Text RecordShaper::LineEnd(TextView received) {
    if (!in_record_) {
        AdoptPendingSettings();
    }
    Text out = EndRecord();
    line_end_replaced_ = current_.line_end.has_value();
    Emit(current_.line_end ? TextView(*current_.line_end) : received, out);
    return out;
}

Text RecordShaper::LineEndRest() {
    // A replaced line end was typed with the CR, whatever the settings are by now.
    Text out;
    Emit(line_end_replaced_ ? TextView() : TextView(u"\n"), out);
    return out;
}

Text RecordShaper::EndRecord() {
    Text out;
    if (in_record_) {
        in_record_ = false;
        Emit(current_.suffix, out);
    }
    return out;
}

}  // namespace corvanta
