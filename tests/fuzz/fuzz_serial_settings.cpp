// The settings string as the serial control takes it: any text either parses into settings whose report reads
// back the same, or is refused with a message naming it.

#include "common/serial_settings.h"
#include "fuzz_support.h"

using corvanta::Text;
using corvanta::fuzz::Shown;

namespace {

// What the control should report for an accepted text: the same characters, the parity letter in lower case
// (the only letter an accepted text can hold) and the speed without leading zeros.
Text ExpectedReport(const Text& accepted) {
    Text report;
    for (char16_t unit : accepted) {
        report += unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
    }
    const size_t digits = report.find_first_not_of(u'0');
    return digits != 0 && digits < report.size() && report[digits] >= u'1' && report[digits] <= u'9'
               ? report.substr(digits)
               : report;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Text settings = corvanta::fuzz::TextOf(std::string_view(reinterpret_cast<const char*>(data), size));
    corvanta::LineSettings parsed;
    try {
        parsed = corvanta::ParseLineSettings(settings);
    } catch (const corvanta::Error& error) {
        FUZZ_CHECK(error.Description().find(settings) != Text::npos,
                   "the refusal of " + Shown(settings) + " does not name it: " + error.what());
        return 0;
    }
    FUZZ_CHECK(parsed.speed >= corvanta::kMinSpeed && parsed.speed <= corvanta::kMaxSpeed,
               Shown(settings) + " gave speed " + std::to_string(parsed.speed));
    FUZZ_CHECK(Text(u"eonms").find(static_cast<char16_t>(parsed.parity)) != Text::npos,
               Shown(settings) + " gave parity " + std::to_string(parsed.parity));
    FUZZ_CHECK(parsed.data_bits >= 4 && parsed.data_bits <= 8,
               Shown(settings) + " gave data bits " + std::to_string(parsed.data_bits));

    const Text report = corvanta::FormatLineSettings(parsed);
    FUZZ_CHECK(report == ExpectedReport(settings), Shown(settings) + " is reported as " + Shown(report));
    try {
        FUZZ_CHECK(corvanta::ParseLineSettings(report) == parsed, "the report " + Shown(report) + " reads differently");
    } catch (const corvanta::Error& error) {
        FUZZ_CHECK(false, "the report " + Shown(report) + " is refused: " + error.what());
    }
    return 0;
}
