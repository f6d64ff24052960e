// Extract patterns over records, and the log row of the outcome: any pattern either compiles or is refused with a
// reason; a search ends within its limits (no hang, no stack overflow, bounded memory) and keeps a part of the
// record; the escapes read back; the row is one valid line of RFC 4180 CSV in UTF-8 with its five fields.

#include <string>
#include <vector>

#include "core/escapes.h"
#include "core/extract.h"
#include "core/record_log.h"
#include "fakes/fake_ansi_code_page.h"
#include "fuzz_support.h"

using corvanta::Text;
using corvanta::fuzz::Shown;

namespace {

// The fields of one CSV line as RFC 4180 reads them; false when the line is not exactly one well-formed record.
bool ParseCsvLine(const std::string& line, std::vector<std::string>& fields) {
    if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0) {
        return false;
    }
    const std::string body = line.substr(0, line.size() - 2);
    std::string field;
    size_t i = 0;
    for (;;) {
        field.clear();
        if (i < body.size() && body[i] == '"') {
            for (++i;; ++i) {
                if (i >= body.size()) {
                    return false;
                }
                if (body[i] == '"') {
                    if (i + 1 < body.size() && body[i + 1] == '"') {
                        field.push_back('"');
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                field.push_back(body[i]);
            }
        } else {
            while (i < body.size() && body[i] != ',') {
                if (body[i] == '"' || body[i] == '\r' || body[i] == '\n') {
                    return false;
                }
                field.push_back(body[i++]);
            }
        }
        fields.push_back(field);
        if (i == body.size()) {
            return true;
        }
        if (body[i] != ',') {
            return false;
        }
        ++i;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvanta::fuzz::Reader reader(data, size);
    const uint8_t flags = reader.U8();
    const Text pattern_text = corvanta::fuzz::TextOf(reader.Bytes(reader.U16()));
    const std::string_view bytes = reader.Rest();

    corvanta::FakeAnsiCodePage code_page;
    code_page.double_byte = (flags & 2) != 0;
    const corvanta::AnsiCodePage* decoding = (flags & 3) != 0 ? &code_page : nullptr;
    const Text record = decoding != nullptr ? code_page.ToText(bytes) : corvanta::FromUtf8(bytes);

    corvanta::ExtractPattern pattern;
    try {
        pattern = corvanta::ExtractPattern(pattern_text);
    } catch (const corvanta::Error& error) {
        FUZZ_CHECK(!error.Description().empty(), "the refusal of " + Shown(pattern_text) + " gives no reason");
        return 0;
    }
    const corvanta::Extracted extracted = pattern.Apply(record);
    const bool too_long = !pattern_text.empty() && record.size() > corvanta::kMaxSearchedRecord;
    FUZZ_CHECK((extracted.outcome == corvanta::ExtractOutcome::kTooLong) == too_long,
               Shown(pattern_text) + " on a record of " + std::to_string(record.size()) + " units");
    FUZZ_CHECK(extracted.kept.empty() || record.find(extracted.kept) != Text::npos,
               Shown(pattern_text) + " kept " + Shown(extracted.kept) + ", not a part of " + Shown(record));
    FUZZ_CHECK(!pattern_text.empty() || extracted.kept == record, "no pattern kept " + Shown(extracted.kept));
    FUZZ_CHECK(corvanta::Unescape(corvanta::EscapeText(extracted.kept)) == extracted.kept,
               Shown(extracted.kept) + " does not read back from " + Shown(corvanta::EscapeText(extracted.kept)));

    const corvanta::LogRow row{corvanta::LocalTime{}, u"COM1", corvanta::ReceivedField(bytes, decoding),
                               corvanta::TypedField(extracted.kept), corvanta::RecordStatus::kTyped};
    const std::string line = corvanta::CsvRow(row);
    FUZZ_CHECK(corvanta::ToUtf8(corvanta::FromUtf8(line)) == line, "the row is not valid UTF-8: " + line);
    std::vector<std::string> fields;
    FUZZ_CHECK(ParseCsvLine(line, fields) && fields.size() == 5, "not one CSV row of five fields: " + line);
    const std::string received = corvanta::ToUtf8(row.received);
    FUZZ_CHECK(fields[2] == received || fields[2] == "'" + received, "the received field reads " + fields[2]);
    FUZZ_CHECK(received.find_first_of("\r\n") == std::string::npos, "a line break in the received field: " + line);
    return 0;
}
