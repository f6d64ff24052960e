// FillPortList over any answer a spooler could give: any sizes and counts in both calls, records whose name
// pointers point anywhere (inside the buffer, at its last byte, past the bytes given, at nothing, at wild
// addresses). The list must hold exactly the matching names that lie wholly inside the bytes the spooler was
// given; the rest of the buffer is poisoned, so reading a byte past them is a finding.

#include <sanitizer/allocator_interface.h>
#include <sanitizer/asan_interface.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/port_list.h"
#include "fakes/fake_ansi_code_page.h"
#include "fakes/fake_combo_box.h"
#include "fuzz_support.h"

using corvanta::PortInfo2;
using corvanta::Text;
using corvanta::fuzz::Shown;

namespace {

constexpr size_t kPointerFields = 3;
constexpr uint64_t kNullPointer = ~uint64_t{0};

struct Answer {
    int result = 0;
    uint32_t needed = 0;
    uint32_t returned = 0;
};

// Hands back the fuzz input as the spooler's answer. The image is laid over the buffer as given; in each record
// wholly inside it, a pointer field below 2^32 is an offset from the buffer's start, all ones is null, and
// anything else is used as a raw address.
class FuzzSpooler : public corvanta::Spooler {
  public:
    FuzzSpooler(Answer size_answer, Answer data_answer, std::string_view image)
        : size_answer_(size_answer), data_answer_(data_answer), image_(image) {}

    int EnumPortsA(uint32_t /*level*/, uint8_t* buffer, uint32_t size, uint32_t* needed, uint32_t* returned) override {
        ++calls;
        const Answer answer = calls == 1 ? size_answer_ : calls == 2 ? data_answer_ : Answer{};
        *needed = answer.needed;
        *returned = answer.returned;
        if (calls != 2) {
            return answer.result;
        }
        const size_t copied = std::min<size_t>(size, image_.size());
        std::memcpy(buffer, image_.data(), copied);
        std::memset(buffer + copied, 0, size - copied);
        for (size_t record = 0; (record + 1) * sizeof(PortInfo2) <= copied; ++record) {
            for (size_t field = 0; field < kPointerFields; ++field) {
                uint8_t* at = buffer + record * sizeof(PortInfo2) + field * sizeof(char*);
                uint64_t value = 0;
                std::memcpy(&value, at, sizeof value);
                const uintptr_t pointer = value == kNullPointer ? 0
                                          : value >> 32 == 0    ? reinterpret_cast<uintptr_t>(buffer) + value
                                                                : static_cast<uintptr_t>(value);
                std::memcpy(at, &pointer, sizeof pointer);
            }
        }
        given.assign(buffer, buffer + size);
        given_start = reinterpret_cast<uintptr_t>(buffer);
        // The buffer is larger than the size it was given as; what lies beyond the size is not the answer.
        if (__sanitizer_get_ownership(buffer)) {
            const size_t allocated = __sanitizer_get_allocated_size(buffer);
            if (allocated > size) {
                ASAN_POISON_MEMORY_REGION(buffer + size, allocated - size);
            }
        }
        return answer.result;
    }
    uint32_t LastError() const override { return corvanta::spooler::kErrorInsufficientBuffer; }

    int calls = 0;
    std::vector<uint8_t> given;  // the answer as the program got it
    uintptr_t given_start = 0;

  private:
    Answer size_answer_;
    Answer data_answer_;
    std::string_view image_;
};

// The names FillPortList should list: each record inside the given bytes whose name starts and ends inside them.
std::vector<Text> ExpectedNames(const FuzzSpooler& spooler,
                                uint32_t returned,
                                int32_t kind,
                                const corvanta::AnsiCodePage& ansi) {
    std::vector<Text> names;
    const std::vector<uint8_t>& bytes = spooler.given;
    const size_t records = std::min<size_t>(returned, bytes.size() / sizeof(PortInfo2));
    for (size_t i = 0; i < records; ++i) {
        uintptr_t pointer = 0;
        std::memcpy(&pointer, bytes.data() + i * sizeof(PortInfo2), sizeof pointer);
        if (pointer < spooler.given_start || pointer - spooler.given_start >= bytes.size()) {
            continue;
        }
        const size_t offset = pointer - spooler.given_start;
        const auto* nul = static_cast<const uint8_t*>(std::memchr(bytes.data() + offset, 0, bytes.size() - offset));
        if (nul == nullptr) {
            continue;
        }
        const Text name = ansi.ToText(
            std::string_view(reinterpret_cast<const char*>(bytes.data() + offset), nul - (bytes.data() + offset)));
        if ((kind == 1 && name.starts_with(u"COM")) || (kind == 2 && name.starts_with(u"LPT"))) {
            names.push_back(name);
        }
    }
    return names;
}

// Sizes from 64 KiB up to the program's 16 MiB limit test nothing that smaller ones do not, and their
// allocations slow the run a hundredfold: they are folded below 64 KiB. Sizes past the limit are kept.
constexpr uint32_t kFoldFrom = 64u << 10;
constexpr uint32_t kKeepFrom = (16u << 20) + 1;

Answer ReadAnswer(corvanta::fuzz::Reader& input) {
    Answer answer;
    answer.result = input.U8() & 1;
    answer.needed = input.U32();
    if (answer.needed >= kFoldFrom && answer.needed < kKeepFrom) {
        answer.needed %= kFoldFrom;
    }
    answer.returned = input.U32();
    return answer;
}

std::string Listed(const std::vector<Text>& names) {
    std::string listed = "[";
    for (const Text& name : names) {
        listed += Shown(name) + " ";
    }
    return listed + "]";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvanta::fuzz::Reader input(data, size);
    const uint8_t selector = input.U8();
    const int32_t kind = selector & 3;
    corvanta::FakeAnsiCodePage ansi;
    ansi.double_byte = (selector & 4) != 0;
    const Answer size_answer = ReadAnswer(input);
    const Answer data_answer = ReadAnswer(input);
    FuzzSpooler spooler(size_answer, data_answer, input.Rest());

    corvanta::FakeComboBox list;
    list.items = {u"COM99", u"stale"};
    const int32_t count = corvanta::FillPortList(list, kind, spooler, ansi);

    const std::string context = "kind " + std::to_string(kind) + ", size call needed " +
                                std::to_string(size_answer.needed) + ", data call returned " +
                                std::to_string(data_answer.returned) + " records";
    FUZZ_CHECK(spooler.calls <= 2, context + ": asked the spooler " + std::to_string(spooler.calls) + " times");
    if (spooler.calls < 2) {
        FUZZ_CHECK(list.items.empty() && count == static_cast<int32_t>(size_answer.returned),
                   context + ": without data, listed " + Listed(list.items) + " and returned " + std::to_string(count));
        return 0;
    }
    FUZZ_CHECK(spooler.given.size() == size_answer.needed,
               context + ": the data call was given " + std::to_string(spooler.given.size()) + " bytes");
    FUZZ_CHECK(count == static_cast<int32_t>(data_answer.returned), context + ": returned " + std::to_string(count));
    const std::vector<Text> expected =
        data_answer.result != 0 ? ExpectedNames(spooler, data_answer.returned, kind, ansi) : std::vector<Text>();
    FUZZ_CHECK(list.items == expected, context + ": listed " + Listed(list.items) + ", not " + Listed(expected));
    return 0;
}
