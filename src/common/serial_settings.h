#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "common/text.h"

namespace corvanta {

// The checks of the serial control's properties, shared by the Win32 control and its fake so that both refuse
// exactly the same values. Each refusal throws corvanta::Error naming the bad part and what would do.

enum class StopBits : uint8_t { kOne, kOnePointFive, kTwo };

// A parsed settings string "speed,parity,data,stop".
struct LineSettings {
    uint32_t speed = 9600;
    char parity = 'n';  // always lower case: e, o, n, m or s
    uint8_t data_bits = 8;
    StopBits stop_bits = StopBits::kOne;

    bool operator==(const LineSettings&) const = default;
};

inline constexpr uint32_t kMinSpeed = 50;
inline constexpr uint32_t kMaxSpeed = 4000000;
inline constexpr int16_t kMaxCommPort = 255;

// Parses "9600,N,8,1"-style text; the parity letter may be in either case.
LineSettings ParseLineSettings(TextView settings);

// The control's report of its settings: parity in lower case, e.g. "19200,e,7,1.5".
Text FormatLineSettings(const LineSettings& settings);

void CheckCommPort(int16_t port);
void CheckHandshaking(int32_t code);
void CheckInputLen(int16_t length);

// Takes what one read of Input returns from the received bytes: InputLen bytes at most, all when it is 0.
std::string TakeInput(std::string& received, int16_t input_len);

// "COM7".
Text CommPortName(int16_t port);
// The port number N of a name "COMN" or "COMN:" as the spooler lists ports and the system announces them ("COM" in
// any case, N from 1 to 32767 without leading zeros); nothing for any other name.
std::optional<int16_t> CommPortNumber(TextView name);

// The refusal of a port number change while the port is open.
Error CommPortWhileOpenError(int16_t open_port);

// The refusal of a write while `unsent` bytes written earlier still wait for the port's device.
Error UnsentOutputError(int16_t port, size_t unsent);

}  // namespace corvanta
