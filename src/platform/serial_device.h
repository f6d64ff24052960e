#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/serial_settings.h"
#include "common/text.h"

namespace corvanta {

// An open that failed because the port's device is not there (as opposed to busy or refusing the settings):
// worth waiting for, since USB adapters come and go.
class DeviceAbsentError : public Error {
  public:
    using Error::Error;
};

// One COM port's input and output, below the serial session: it opens and configures the port, reads it on its
// own, and tells of arriving devices. It holds no policy: when to open, and what a lost device means, is the
// session's. Handlers run on the UI thread, from its message loop, never from inside a call of the session's.
class SerialDevice {
  public:
    // Bytes the reader took from the port, and whether the port ended (its device went away) after them.
    using ReadHandler = std::function<void(std::string bytes, bool gone)>;
    // A COM port's device arrived: its number, or none when the system names no port.
    using ArrivalHandler = std::function<void(std::optional<int16_t> port)>;

    virtual ~SerialDevice() = default;

    // Opens COMn with these line settings and handshaking (0 to 3) and starts reading. `discard_leftovers`
    // drops what waits in the driver from before. Throws DeviceAbsentError when the port's device is not there,
    // Error otherwise, both as "COMn: operation: system message".
    virtual void Open(int16_t port, const LineSettings& line, int32_t handshaking, bool discard_leftovers) = 0;
    // Applies line settings to the open port; on a refusal the port keeps its previous ones and this throws.
    virtual void Configure(const LineSettings& line, int32_t handshaking) = 0;
    // Stops reading and closes the port; returns what the reader took and no handler carried yet. Harmless when
    // closed.
    virtual std::string Close() = 0;
    virtual bool IsOpen() const = 0;
    // Stops or resumes reading the open port. While stopped, the reader issues no reads: what arrives waits in the
    // driver, whose buffer fills until the handshaking stops the far end; what the reader took before is still
    // handed over. Each open starts reading. Harmless when closed.
    virtual void SetReading(bool on) = 0;

    // At most this many bytes written to the port wait for the device to take them.
    static constexpr size_t kMaxUnsentBytes = 64 * 1024;
    // Queues bytes for the open port; they go out in order, and the call never waits for the device (a handshake
    // may hold them back). Throws Error, as "COMn: ...", when more than kMaxUnsentBytes would wait. A write the
    // port fails ends it as a failed read does: the read handler gets `gone`.
    virtual void Transmit(std::string_view bytes) = 0;

    virtual void SetOnRead(ReadHandler handler) = 0;
    virtual void SetOnArrival(ArrivalHandler handler) = 0;
};

}  // namespace corvanta
