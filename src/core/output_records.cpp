#include "core/output_records.h"

#include <utility>

namespace corvanta {

std::vector<RecordPiece> RecordSplitter::Split(TextView text) {
    std::vector<RecordPiece> pieces;
    size_t start = 0;
    const auto flush = [&](size_t end) {
        if (end > start) {
            pieces.push_back({RecordPiece::Kind::kText, Text(text.substr(start, end - start))});
        }
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        const bool after_cr = std::exchange(after_cr_, false);
        if (unit == u'\n' && after_cr) {
            pieces.push_back({RecordPiece::Kind::kLineEndRest, u"\n"});
            start = i + 1;
        } else if (unit == u'\r' || unit == u'\n') {
            flush(i);
            const bool crlf = unit == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n';
            pieces.push_back({RecordPiece::Kind::kLineEnd, Text(text.substr(i, crlf ? 2 : 1))});
            after_cr_ = unit == u'\r' && !crlf;
            i += crlf ? 1 : 0;
            start = i + 1;
        }
    }
    flush(text.size());
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
    if (!IsOtherControl(unit) || current_.controls == ControlMode::kUnicode) {
        Typed(TextView(&unit, 1), out);
    } else if (current_.controls == ControlMode::kDrop) {
        // Passed on untyped, as it always was: the sender leaves it out, and it opens no record.
        out.push_back(unit);
    }
}

Text RecordShaper::Shape(const std::vector<RecordPiece>& pieces) {
    Text out;
    for (const RecordPiece& piece : pieces) {
        // Not before the LF of a split CR LF: it belongs to the line end already typed.
        if (!in_record_ && piece.kind != RecordPiece::Kind::kLineEndRest) {
            AdoptPendingSettings();
        }
        switch (piece.kind) {
            case RecordPiece::Kind::kText:
                for (char16_t unit : piece.text) {
                    Character(unit, out);
                }
                break;
            case RecordPiece::Kind::kLineEnd:
                out += EndRecord();
                out += current_.line_end ? *current_.line_end : piece.text;
                break;
            case RecordPiece::Kind::kLineEndRest:
                // As it came, the sender counts it with its CR; a replaced line end was typed with the CR.
                if (!current_.line_end) {
                    out += piece.text;
                }
                break;
        }
    }
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
