#include "config/port_list.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace corvanta {

namespace {

constexpr uint32_t kLevel = 2;
constexpr size_t kStride = sizeof(PortInfo2);
// Far beyond any real machine's port list; a larger claim is a broken answer, not a reason to allocate.
constexpr uint32_t kMaxAnswerBytes = 16u << 20;

// needed / stride to the nearest whole number, a half going to the even neighbour.
size_t RoundedRecordCount(uint32_t needed) {
    size_t quotient = needed / kStride;
    const size_t twice_remainder = 2 * (needed % kStride);
    if (twice_remainder > kStride || (twice_remainder == kStride && quotient % 2 == 1)) {
        ++quotient;
    }
    return quotient;
}

// The name's length when it starts inside [begin, end) and ends with a NUL before end.
std::optional<size_t> NameLengthWithin(const char* name, const uint8_t* begin, const uint8_t* end) {
    const auto address = reinterpret_cast<uintptr_t>(name);
    const auto first = reinterpret_cast<uintptr_t>(begin);
    const auto last = reinterpret_cast<uintptr_t>(end);
    if (name == nullptr || address < first || address >= last) {
        return std::nullopt;
    }
    const size_t offset = address - first;
    const void* nul = std::memchr(begin + offset, 0, (last - first) - offset);
    if (nul == nullptr) {
        return std::nullopt;
    }
    return static_cast<size_t>(static_cast<const uint8_t*>(nul) - (begin + offset));
}

bool MatchesKind(TextView name, int32_t kind) {
    switch (kind) {
        case port_kind::kSerial:
            return name.starts_with(u"COM");
        case port_kind::kParallel:
            return name.starts_with(u"LPT");
        default:
            return false;
    }
}

}  // namespace

int32_t FillPortList(ComboBox& list, int32_t kind, Spooler& spooler, const AnsiCodePage& code_page) {
    list.Clear();

    uint32_t scratch = 0;
    uint32_t needed = 0;
    uint32_t returned = 0;
    spooler.EnumPortsA(kLevel, reinterpret_cast<uint8_t*>(&scratch), 0, &needed, &returned);
    if (needed == 0 || needed > kMaxAnswerBytes) {
        return static_cast<int32_t>(returned);
    }

    // A whole number of records, so the buffer is aligned for them and a little larger than asked for.
    std::vector<PortInfo2> records(RoundedRecordCount(needed) + 1);
    auto* buffer = reinterpret_cast<uint8_t*>(records.data());
    const uint32_t size = needed;
    returned = 0;
    if (spooler.EnumPortsA(kLevel, buffer, size, &needed, &returned) == 0) {
        return static_cast<int32_t>(returned);
    }

    // Only the bytes the spooler was given may be read: a count or a pointer beyond them is a broken answer.
    const uint8_t* end = buffer + size;
    const size_t readable = std::min<size_t>(returned, size / kStride);
    for (size_t i = 0; i < readable; ++i) {
        const char* address = records[i].pPortName;
        if (!NameLengthWithin(address, buffer, end)) {
            continue;
        }
        const Text name = AnsiPtrToString(address, code_page);
        if (MatchesKind(name, kind)) {
            list.AddItem(name);
        }
    }
    return static_cast<int32_t>(returned);
}

Text AnsiPtrToString(const char* address, const AnsiCodePage& code_page) {
    if (address == nullptr) {
        return Text();
    }
    return code_page.ToText(std::string_view(address, std::strlen(address)));
}

}  // namespace corvanta
