// The stored "CommPort" and "Handshaking" texts as start-up converts them, and a port list entry's port number:
// any text gives the number it plainly spells, or a refusal naming the text, never a wrapped-around value.

#include <limits>
#include <optional>

#include "common/serial_settings.h"
#include "config/port_list.h"
#include "config/port_settings.h"
#include "fuzz_support.h"

using corvanta::Text;
using corvanta::TextView;
using corvanta::fuzz::Shown;

namespace {

enum class Verdict { kNumber, kNotNumber, kOutOfRange };

// An independent reading: blanks around, an optional sign, decimal digits; compared as digit strings so that no
// length can overflow.
Verdict Expected(TextView stored, int64_t low, int64_t high, int64_t& value) {
    const size_t first = stored.find_first_not_of(u' ');
    if (first == TextView::npos) {
        return Verdict::kNotNumber;
    }
    TextView number = stored.substr(first, stored.find_last_not_of(u' ') - first + 1);
    const bool negative = number.front() == u'-';
    if (number.front() == u'+' || number.front() == u'-') {
        number.remove_prefix(1);
    }
    if (number.empty() || number.find_first_not_of(u"0123456789") != TextView::npos) {
        return Verdict::kNotNumber;
    }
    const size_t significant = number.find_first_not_of(u'0');
    number = significant == TextView::npos ? TextView() : number.substr(significant);
    if (number.size() > 18) {
        return Verdict::kOutOfRange;
    }
    int64_t magnitude = 0;
    for (char16_t digit : number) {
        magnitude = magnitude * 10 + (digit - u'0');
    }
    value = negative ? -magnitude : magnitude;
    return value < low || value > high ? Verdict::kOutOfRange : Verdict::kNumber;
}

template <typename Int, typename Convert>
void CheckConversion(const Text& stored, Convert convert, const char* what) {
    int64_t expected = 0;
    const Verdict verdict =
        Expected(stored, std::numeric_limits<Int>::min(), std::numeric_limits<Int>::max(), expected);
    const std::string context = std::string(what) + " " + Shown(stored);
    try {
        const Int value = convert(stored);
        FUZZ_CHECK(verdict == Verdict::kNumber && value == expected, context + " read as " + std::to_string(value));
        const Text written = corvanta::DecimalText(value);
        FUZZ_CHECK(written == corvanta::AsciiText(std::to_string(value)) && convert(written) == value,
                   context + " is written back as " + Shown(written));
    } catch (const corvanta::Error& error) {
        const TextView description = error.Description();
        FUZZ_CHECK(verdict != Verdict::kNumber, context + " refused: " + error.what());
        FUZZ_CHECK(description.find(stored) != TextView::npos, context + " not named in: " + error.what());
        const bool says_range = description.ends_with(u"is out of range.");
        FUZZ_CHECK(says_range == (verdict == Verdict::kOutOfRange), context + " refused as: " + error.what());
    }
}

void CheckPortName(const Text& name) {
    const std::optional<int16_t> number = corvanta::CommPortNumber(name);
    if (number) {
        const Text plain = corvanta::CommPortName(*number);
        FUZZ_CHECK(*number >= 1 && (corvanta::EqualIgnoringAsciiCase(name, plain) ||
                                    corvanta::EqualIgnoringAsciiCase(name, plain + u":")),
                   Shown(name) + " read as port " + std::to_string(*number));
        return;
    }
    // Refused: then it is no "COMn" / "COMn:" (COM in any case) with n from 1 to 32767 in its shortest form.
    TextView digits = name;
    if (digits.size() >= 3 && corvanta::EqualIgnoringAsciiCase(digits.substr(0, 3), u"COM")) {
        digits.remove_prefix(3);
        if (digits.ends_with(u':')) {
            digits.remove_suffix(1);
        }
        int64_t value = 0;
        const bool shortest = !digits.empty() && digits.front() != u'0' && digits.front() != u'+' &&
                              digits.front() != u'-' && digits.front() != u' ' && digits.back() != u' ';
        FUZZ_CHECK(!shortest || Expected(digits, 1, 32767, value) != Verdict::kNumber, Shown(name) + " names no port");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Text stored = corvanta::fuzz::TextOf(std::string_view(reinterpret_cast<const char*>(data), size));
    CheckConversion<int16_t>(stored, corvanta::StoredPortNumber, "port number");
    CheckConversion<int32_t>(stored, corvanta::StoredHandshaking, "handshaking code");
    CheckPortName(stored);
    return 0;
}
