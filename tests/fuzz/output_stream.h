#pragma once

// What a device sends and how the output is shaped, drawn from fuzz input, for the targets that feed the output
// pipeline (fuzz_output_pipeline, fuzz_relay): output settings as ReadOutputSettings could give them, and a stream
// of events: bytes, a pause of the record gap, new settings.
//
// Settings: u8 shape (bits 0-1: 0 drop, 1 unicode, 2-3 a map of controls; bit 2: a line end of its own; bits 3-5:
// the encoding, an index into kCodePages; bit 6: a key delay; bit 7: Unicode keys), then the prefix, the suffix, the
// line end if set and, for a map, a u8 count and per entry a u8 control (an index into the controls a map may name) and
// its text. A text is a u8 length and its bytes (TextOf: UTF-8, or raw UTF-16LE after FF FE). Events, until the input
// ends: u8 op, bits 0-1: 0 bytes (a u8 length and the bytes), 1 the same bytes repeated 1 + (op >> 2) times, 2 a pause,
// 3 new settings.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "core/output_settings.h"
#include "fuzz_support.h"

namespace corvanta::fuzz {

// ANSI, UTF-8, the double-byte 932 and the single-byte 1252 of FakeCodePages, and 437, which it lacks (checked
// when read, uninstalled since: the pipeline falls back to ANSI).
inline constexpr uint32_t kCodePages[] = {0, kUtf8CodePage, 932, 1252, 437};

inline Text ReadText(Reader& input) {
    return TextOf(input.Bytes(input.U8()));
}

inline OutputSettings ReadSettings(Reader& input) {
    OutputSettings settings;
    const uint8_t shape = input.U8();
    settings.prefix = ReadText(input);
    settings.suffix = ReadText(input);
    if (shape & 4) {
        settings.line_end = ReadText(input);
    }
    settings.code_page = kCodePages[(shape >> 3 & 7) % std::size(kCodePages)];
    settings.key_delay_ms = (shape & 0x40) != 0 ? 5 : 0;
    settings.key_mode = (shape & 0x80) != 0 ? KeyMode::kUnicode : KeyMode::kLayout;
    switch (shape & 3) {
        case 0:
            settings.controls = ControlMode::kDrop;
            break;
        case 1:
            settings.controls = ControlMode::kUnicode;
            break;
        default: {
            // What the ControlCharacters value may name: the other controls, Tab, Backspace and Esc.
            std::vector<char16_t> controls;
            for (char16_t unit = 0; unit < 0xA0; ++unit) {
                if (IsOtherControl(unit) || unit == u'\t' || unit == u'\b' || unit == u'\x1B') {
                    controls.push_back(unit);
                }
            }
            settings.controls = ControlMode::kMap;
            for (uint8_t count = input.U8() % 8 + 1; count > 0; --count) {
                const char16_t control = controls[input.U8() % controls.size()];
                settings.control_map[control] = ReadText(input);
            }
        }
    }
    return settings;
}

struct StreamEvent {
    enum class Kind : uint8_t { kBytes, kPause, kSettings };
    Kind kind = Kind::kBytes;
    std::string bytes;
    OutputSettings settings;
};

inline std::vector<StreamEvent> ReadEvents(Reader& input) {
    std::vector<StreamEvent> events;
    while (!input.Empty()) {
        const uint8_t op = input.U8();
        StreamEvent event;
        switch (op & 3) {
            case 0:
            case 1: {
                const std::string_view bytes = input.Bytes(input.U8());
                for (int repeat = (op & 3) == 0 ? 1 : 1 + (op >> 2); repeat > 0; --repeat) {
                    event.bytes += bytes;
                }
                break;
            }
            case 2:
                event.kind = StreamEvent::Kind::kPause;
                break;
            default:
                event.kind = StreamEvent::Kind::kSettings;
                event.settings = ReadSettings(input);
        }
        events.push_back(std::move(event));
    }
    return events;
}

// Where reads are cut, and the other choices a target makes on its own: the same for the same seed.
class Choices {
  public:
    explicit Choices(uint64_t seed) : state_(seed) {}

    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    // True once in `times`.
    bool OneIn(uint64_t times) { return Next() % times == 0; }
    // The length of the next read out of `rest` bytes: often a byte or two, sometimes all; now and then none.
    size_t ReadLength(size_t rest) {
        static constexpr size_t kLimits[] = {1, 2, 3, 4, 8, 64};
        const uint64_t pick = Next() % 8;
        if (pick == 7) {
            return OneIn(4) ? 0 : rest;
        }
        const size_t limit = kLimits[pick % std::size(kLimits)];
        return std::min(rest, 1 + static_cast<size_t>(Next() % limit));
    }

  private:
    uint64_t state_;
};

// Bytes for a failure message: printable ASCII as itself, the rest as \xNN.
inline std::string ShownBytes(std::string_view bytes) {
    std::string shown = "\"";
    for (const char byte : bytes) {
        const auto unit = static_cast<unsigned char>(byte);
        if (unit >= 0x20 && unit < 0x7F && unit != '\\' && unit != '"') {
            shown += static_cast<char>(unit);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", unit);
            shown += escape;
        }
    }
    return shown + "\"";
}

// Where two texts part, for a failure message: the unit and a few on either side in each.
inline std::string Difference(const Text& got, const Text& expected) {
    size_t at = 0;
    while (at < got.size() && at < expected.size() && got[at] == expected[at]) {
        ++at;
    }
    const size_t from = at < 16 ? 0 : at - 16;
    return "from unit " + std::to_string(at) + " of " + std::to_string(got.size()) + ": " +
           Shown(Text(TextView(got).substr(from, 48))) + ", not " + Shown(Text(TextView(expected).substr(from, 48))) +
           " (of " + std::to_string(expected.size()) + ")";
}

// The end of a long history of events, for a failure message.
inline std::string Tail(const std::string& history) {
    return history.size() <= 400 ? history : "..." + history.substr(history.size() - 400);
}

}  // namespace corvanta::fuzz
