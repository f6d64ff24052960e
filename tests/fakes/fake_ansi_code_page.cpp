#include "fakes/fake_ansi_code_page.h"

namespace corvanta {

namespace {

// 0x80-0x9F of Windows-1252.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t Cp1252ToChar(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : static_cast<char16_t>(byte);
}

char16_t SingleByteDbcsToChar(unsigned char byte) {
    if (byte < 0x80) {
        return static_cast<char16_t>(byte);
    }
    if (byte >= 0xA1 && byte <= 0xDF) {
        return static_cast<char16_t>(0xFF61 + (byte - 0xA1));
    }
    return u'\uFFFD';
}

}  // namespace

const std::map<uint16_t, char16_t> FakeAnsiCodePage::kDoubleByteTable = {
    {0x8140, u'\u3000'},  // ideographic space
    {0x82A0, u'\u3041'},  // small a
    {0x82A2, u'\u3044'},  // i
    {0x88A4, u'\u4E9C'}, {0x93FA, u'\u65E5'}, {0x967B, u'\u672C'}, {0xE040, u'\u6F3E'},
};

bool FakeAnsiCodePage::IsLeadByte(unsigned char byte) const {
    return double_byte && ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC));
}

Text FakeAnsiCodePage::ToText(std::string_view ansi) const {
    if (fail_to_text) {
        throw Error(u"MultiByteToWideChar: Not enough memory resources are available to process this command.");
    }
    Text text;
    for (size_t i = 0; i < ansi.size(); ++i) {
        const auto byte = static_cast<unsigned char>(ansi[i]);
        if (!double_byte) {
            text.push_back(Cp1252ToChar(byte));
        } else if (!IsLeadByte(byte)) {
            text.push_back(SingleByteDbcsToChar(byte));
        } else if (i + 1 == ansi.size()) {
            text.push_back(u'\uFFFD');
        } else {
            const auto pair = static_cast<uint16_t>(byte << 8 | static_cast<unsigned char>(ansi[++i]));
            const auto it = kDoubleByteTable.find(pair);
            text.push_back(it == kDoubleByteTable.end() ? u'\u30FB' : it->second);
        }
    }
    return text;
}

std::string FakeAnsiCodePage::ToAnsi(TextView text) const {
    std::string ansi;
    for (char16_t c : text) {
        if (c < 0x80) {
            ansi.push_back(static_cast<char>(c));
            continue;
        }
        bool found = false;
        if (!double_byte) {
            for (unsigned byte = 0x80; byte <= 0xFF && !found; ++byte) {
                if (Cp1252ToChar(static_cast<unsigned char>(byte)) == c) {
                    ansi.push_back(static_cast<char>(byte));
                    found = true;
                }
            }
        } else if (c >= 0xFF61 && c <= 0xFF9F) {
            ansi.push_back(static_cast<char>(0xA1 + (c - 0xFF61)));
            found = true;
        } else {
            for (const auto& [pair, mapped] : kDoubleByteTable) {
                if (mapped == c && !found) {
                    ansi.push_back(static_cast<char>(pair >> 8));
                    ansi.push_back(static_cast<char>(pair & 0xFF));
                    found = true;
                }
            }
        }
        if (!found) {
            ansi.push_back('?');
        }
    }
    return ansi;
}

}  // namespace corvanta
