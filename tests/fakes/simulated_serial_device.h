#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/serial_device.h"

namespace corvanta {

// Serial ports of an imaginary machine, with devices a test plugs in and pulls out. It opens only the ports that
// exist and are not busy, and what the far end writes waits in the port's driver, or in the reader once the port
// is open, until a test lets the UI thread take it (Deliver). While the reader is told to stop, what the far end
// writes to the open port waits in the driver, up to its buffer.
class SimulatedSerialDevice : public SerialDevice {
  public:
    void Open(int16_t port, const LineSettings& line, int32_t handshaking, bool discard_leftovers) override;
    void Configure(const LineSettings& line, int32_t handshaking) override;
    std::string Close() override;
    bool IsOpen() const override { return open_port_.has_value(); }
    void Transmit(std::string_view bytes) override;
    void SetReading(bool on) override;
    void SetOnRead(ReadHandler handler) override { on_read_ = std::move(handler); }
    void SetOnArrival(ArrivalHandler handler) override { on_arrival_ = std::move(handler); }

    // The far end of COMn writes; nothing reaches a port whose device is away. How many bytes went in: fewer while
    // the reader is stopped and the driver's buffer is full, where handshaking holds the rest at the far end (and
    // without it they are lost).
    size_t Write(int16_t port, std::string_view bytes);
    // The reader's wake-up reaches the UI thread: what it took, and the end of the port, go to the handler.
    void Deliver();
    // Writes into the open port and delivers.
    void Receive(std::string_view bytes);
    // COMn's device went away (a USB adapter pulled): an open port on it ends, and that is delivered at once.
    void Unplug(int16_t port);
    // COMn's device is back; `announced` when its driver tells the system, which tells the device's owner.
    void Plug(int16_t port, bool announced);
    void Announce(std::optional<int16_t> port);

    // What the far end of each port received from the program.
    std::map<int16_t, std::string> transmitted;
    // The open port's device holds what is written back (its handshake says "wait"), until ReleaseOutput.
    bool hold_output = false;
    void ReleaseOutput();
    // The open port's device goes away unnoticed, and the next write fails; the end of the port is delivered with
    // the next Deliver.
    bool fail_next_transmit = false;

    // What the port was opened with at the last successful open.
    struct Applied {
        int16_t port = 0;
        Text settings;
        int32_t handshaking = 0;
        bool operator==(const Applied&) const = default;
    };
    std::optional<Applied> last_open;

    // Whether the reader issues reads; what waits in COMn's driver.
    bool Reading() const { return reading_; }
    size_t InDriver(int16_t port) const;

    // The driver's receive buffer (SetupComm's size).
    static constexpr size_t kDriverBufferSize = 1024;

    // Ports the machine has, and ports another program holds open.
    std::set<int16_t> existing_ports{1, 2, 3, 4};
    std::set<int16_t> busy_ports;
    // Settings (in reported form) the port's driver refuses.
    std::set<Text> driver_refuses;

  private:
    void CheckDriverTakes(int16_t port, const LineSettings& line) const;

    std::optional<int16_t> open_port_;
    // What each present device sent while its port was closed.
    std::map<int16_t, std::string> in_driver_;
    // Taken by the reader, not yet delivered.
    std::string read_;
    bool reading_ = true;
    bool gone_ = false;
    // Written while the device held it back; dropped when the port closes.
    std::string unsent_;
    ReadHandler on_read_;
    ArrivalHandler on_arrival_;
};

}  // namespace corvanta
