#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/text.h"

namespace corvanta {

// The serial communications control (the role of an MSComm control): a COM port with its line settings,
// a receive buffer, and an OnComm event raised on the UI thread whenever received bytes wait.
//
// Setters check their value and throw corvanta::Error with a description a user understands ("COM3: The
// system cannot find the file specified.") when they refuse it or when the port cannot be opened.
class SerialControl {
public:
    static constexpr int16_t kInitialCommPort = 1;
    static constexpr char16_t kInitialSettings[] = u"9600,n,8,1";
    static constexpr int32_t kInitialHandshaking = 0;
    static constexpr uint32_t kInputBufferSize = 1024;
    static constexpr uint32_t kOutputBufferSize = 512;

    virtual ~SerialControl() = default;

    // N selects the port named COMN. Assigning it while the port is open is refused.
    virtual int16_t CommPort() const = 0;
    virtual void SetCommPort(int16_t port) = 0;

    // "speed,parity,data,stop", e.g. "9600,n,8,1". The parity letter is accepted in either case and reported
    // in lower case. Applied to the port at once when it is open.
    virtual Text Settings() const = 0;
    virtual void SetSettings(TextView settings) = 0;

    // 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both. Applied to the port at once when it is open.
    virtual int32_t Handshaking() const = 0;
    virtual void SetHandshaking(int32_t code) = 0;

    // How many bytes one read of Input takes at most; 0 takes everything that is buffered.
    virtual int16_t InputLen() const = 0;
    virtual void SetInputLen(int16_t length) = 0;

    // True opens the port with the current port number, settings and handshaking; false closes it.
    virtual bool PortOpen() const = 0;
    virtual void SetPortOpen(bool open) = 0;

    // The received bytes that are buffered (up to InputLen), raw; they are removed from the buffer.
    virtual std::string Input() = 0;

    // Raised on the UI thread when received bytes wait, and on communication events (such as the device
    // going away, after which PortOpen reads false).
    virtual void SetOnComm(std::function<void()> handler) = 0;
};

}  // namespace corvanta
