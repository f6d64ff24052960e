#pragma once

// Shared pieces of the libFuzzer targets: a reader for the fuzz input and a check that aborts, so that a broken
// property is a finding like a crash, whatever NDEBUG says.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/text.h"

namespace corvanta::fuzz {

[[noreturn]] inline void Fail(const char* file, int line, const std::string& what) {
    std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what.c_str());
    std::abort();
}

#define FUZZ_CHECK(condition, what)                             \
    do {                                                        \
        if (!(condition)) {                                     \
            ::corvanta::fuzz::Fail(__FILE__, __LINE__, (what)); \
        }                                                       \
    } while (false)

// Takes little-endian numbers and byte runs from the front; past the end everything reads as 0 / empty, so
// every input is valid.
class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}

    uint8_t U8() { return static_cast<uint8_t>(Number(1)); }
    uint16_t U16() { return static_cast<uint16_t>(Number(2)); }
    uint32_t U32() { return static_cast<uint32_t>(Number(4)); }

    std::string_view Bytes(size_t count) {
        const std::string_view taken = rest_.substr(0, count);
        rest_.remove_prefix(taken.size());
        return taken;
    }
    std::string_view Rest() { return Bytes(rest_.size()); }
    bool Empty() const { return rest_.empty(); }

  private:
    uint64_t Number(size_t bytes) {
        uint64_t value = 0;
        const std::string_view taken = Bytes(bytes);
        for (size_t i = 0; i < taken.size(); ++i) {
            value |= uint64_t{static_cast<unsigned char>(taken[i])} << (8 * i);
        }
        return value;
    }

    std::string_view rest_;
};

// Program text from fuzz bytes: UTF-8, so that seeds stay readable, or raw UTF-16LE units (unpaired surrogates
// included) after the marker FF FE.
inline Text TextOf(std::string_view bytes) {
    if (bytes.size() < 2 || bytes.substr(0, 2) != "\xFF\xFE") {
        return FromUtf8(bytes);
    }
    Text text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return text;
}

// Text for a failure message: UTF-8 with every unit outside printable ASCII as \uXXXX.
inline std::string Shown(TextView text) {
    std::string shown = "\"";
    for (const char16_t unit : text) {
        if (unit >= 0x20 && unit < 0x7F && unit != u'\\' && unit != u'"') {
            shown += static_cast<char>(unit);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(unit));
            shown += escape;
        }
    }
    return shown + "\"";
}

}  // namespace corvanta::fuzz
