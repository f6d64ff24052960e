#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/text.h"

namespace corvanta {

// Where the control's port stands, for a caller that shows it to the user.
enum class PortState : uint8_t {
    kClosed,            // closed by the program or the user: only an open opens it again
    kOpen,              // PortOpen reads true
    kWaitingForDevice,  // PortOpen reads false: the device went away, and the port reopens when it returns
};

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

    // Writes the bytes to the open port behind those written before, and returns without waiting for the device:
    // its handshake may hold them back for any time. Throws Error when the port is not open, or when so much waits
    // already that the device plainly takes nothing. A write the port fails means its device went away: the port
    // closes and the control waits for the device, as when a read fails (see State).
    virtual void Output(std::string_view bytes) = 0;

    // Raised on the UI thread when received bytes wait, and on communication events (such as the device
    // going away, after which PortOpen reads false, and the port reopening when it returns).
    virtual void SetOnComm(std::function<void()> handler) = 0;

    // When the open port's device goes away, the port closes and the control waits for the device: it reopens
    // the port with the then current port number, settings and handshaking when the system announces a port's
    // arrival, and otherwise tries 1 s after the loss, then at doubling intervals up to 30 s. SetPortOpen ends
    // the wait (false leaves the port closed); a new CommPort keeps waiting, for the new port's device. Bytes
    // the returning device sent before the reopen are kept; an open by SetPortOpen discards earlier leftovers.
    virtual PortState State() const = 0;

    // An open for the start of the program: like SetPortOpen(true), but when the port's device is absent the
    // control also starts waiting for it, as if it had gone away, before it throws the failure.
    virtual void OpenOrWaitForDevice() = 0;
};

}  // namespace corvanta
