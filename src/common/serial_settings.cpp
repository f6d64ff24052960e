#include "common/serial_settings.h"

#include <algorithm>
#include <string>
#include <vector>

namespace corvanta {
namespace {

Text Quoted(TextView text) {
    Text quoted(u"\"");
    quoted += text;
    quoted += u"\"";
    return quoted;
}

Text Decimal(int64_t value) {
    return AsciiText(std::to_string(value));
}

[[noreturn]] void RefuseField(const char* field, TextView value, TextView settings, const char* advice) {
    Text text = AsciiText("Invalid ");
    text += AsciiText(field) + u" " + Quoted(value) + u" in port settings " + Quoted(settings) + u": ";
    text += AsciiText(advice);
    throw Error(std::move(text));
}

std::vector<TextView> SplitAtCommas(TextView text) {
    std::vector<TextView> fields;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(u',', start);
        if (comma == TextView::npos) {
            fields.push_back(text.substr(start));
            return fields;
        }
        fields.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
}

uint32_t ParseSpeed(TextView field, TextView settings) {
    constexpr const char* kAdvice = "use a number of bits per second from 50 to 4000000, such as 9600.";
    // Eight digits already exceed the highest speed; the limit keeps the sum below from overflowing.
    if (field.empty() || field.size() > 8) {
        RefuseField("speed", field, settings, kAdvice);
    }
    uint32_t speed = 0;
    for (const char16_t c : field) {
        if (c < u'0' || c > u'9') {
            RefuseField("speed", field, settings, kAdvice);
        }
        speed = speed * 10 + static_cast<uint32_t>(c - u'0');
    }
    if (speed < kMinSpeed || speed > kMaxSpeed) {
        RefuseField("speed", field, settings, kAdvice);
    }
    return speed;
}

char ParseParity(TextView field, TextView settings) {
    if (field.size() == 1) {
        switch (field[0]) {
            case u'e':
            case u'E':
                return 'e';
            case u'o':
            case u'O':
                return 'o';
            case u'n':
            case u'N':
                return 'n';
            case u'm':
            case u'M':
                return 'm';
            case u's':
            case u'S':
                return 's';
            default:
                break;
        }
    }
    RefuseField("parity", field, settings, "use E, O, N, M or S.");
}

uint8_t ParseDataBits(TextView field, TextView settings) {
    if (field.size() != 1 || field[0] < u'4' || field[0] > u'8') {
        RefuseField("data bits", field, settings, "use 4, 5, 6, 7 or 8.");
    }
    return static_cast<uint8_t>(field[0] - u'0');
}

StopBits ParseStopBits(TextView field, TextView settings) {
    if (field == u"1") {
        return StopBits::kOne;
    }
    if (field == u"1.5") {
        return StopBits::kOnePointFive;
    }
    if (field == u"2") {
        return StopBits::kTwo;
    }
    RefuseField("stop bits", field, settings, "use 1, 1.5 or 2.");
}

}  // namespace

LineSettings ParseLineSettings(TextView settings) {
    const std::vector<TextView> fields = SplitAtCommas(settings);
    if (fields.size() != 4) {
        throw Error(u"Invalid port settings " + Quoted(settings) +
                    u": use four fields speed,parity,data bits,stop bits, such as \"9600,n,8,1\".");
    }
    LineSettings parsed;
    parsed.speed = ParseSpeed(fields[0], settings);
    parsed.parity = ParseParity(fields[1], settings);
    parsed.data_bits = ParseDataBits(fields[2], settings);
    parsed.stop_bits = ParseStopBits(fields[3], settings);
    return parsed;
}

Text FormatLineSettings(const LineSettings& settings) {
    std::string text = std::to_string(settings.speed);
    text += ',';
    text += settings.parity;
    text += ',';
    text += static_cast<char>('0' + settings.data_bits);
    switch (settings.stop_bits) {
        case StopBits::kOne:
            text += ",1";
            break;
        case StopBits::kOnePointFive:
            text += ",1.5";
            break;
        case StopBits::kTwo:
            text += ",2";
            break;
    }
    return AsciiText(text);
}

void CheckCommPort(int16_t port) {
    if (port < 1 || port > kMaxCommPort) {
        throw Error(u"Invalid port number " + Decimal(port) + u": use 1 to 255 (COM1 to COM255).");
    }
}

void CheckHandshaking(int32_t code) {
    if (code < 0 || code > 3) {
        throw Error(u"Invalid handshaking " + Decimal(code) +
                    u": use 0 (none), 1 (XON/XOFF), 2 (RTS/CTS) or 3 (XON/XOFF and RTS/CTS).");
    }
}

void CheckInputLen(int16_t length) {
    if (length < 0) {
        throw Error(u"Invalid InputLen " + Decimal(length) + u": use 0 (everything buffered) or a positive count.");
    }
}

std::string TakeInput(std::string& received, int16_t input_len) {
    const size_t count = input_len > 0 ? std::min(static_cast<size_t>(input_len), received.size()) : received.size();
    std::string taken = received.substr(0, count);
    received.erase(0, count);
    return taken;
}

Text CommPortName(int16_t port) {
    return u"COM" + Decimal(port);
}

std::optional<int16_t> CommPortNumber(TextView name) {
    if (name.size() < 3 || AsciiLower(name[0]) != u'c' || AsciiLower(name[1]) != u'o' || AsciiLower(name[2]) != u'm') {
        return std::nullopt;
    }
    TextView digits = name.substr(3);
    if (digits.ends_with(u':')) {
        digits.remove_suffix(1);
    }
    if (digits.empty() || digits.size() > 5 || digits.front() == u'0') {
        return std::nullopt;
    }
    int32_t number = 0;
    for (char16_t c : digits) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        number = number * 10 + (c - u'0');
    }
    if (number > INT16_MAX) {
        return std::nullopt;
    }
    return static_cast<int16_t>(number);
}

Error CommPortWhileOpenError(int16_t open_port) {
    return Error(CommPortName(open_port) + u" is open: close the port before choosing another port number.");
}

Error UnsentOutputError(int16_t port, size_t unsent) {
    return Error(CommPortName(port) + u": The device is not taking what is written to it (" +
                 AsciiText(std::to_string(unsent)) + u" bytes wait; check the handshaking).");
}

}  // namespace corvanta
