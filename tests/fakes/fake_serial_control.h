#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/device_wait.h"
#include "platform/serial_control.h"

namespace corvanta {

// A serial control over an imaginary line. It checks values like the Win32 control (same parser), opens only
// the ports that exist and are not busy, and delivers bytes a test hands it through OnComm, synchronously.
// Time passes only when a test fires the retry timer.
class FakeSerialControl : public SerialControl {
  public:
    int16_t CommPort() const override { return port_; }
    void SetCommPort(int16_t port) override;
    Text Settings() const override { return settings_; }
    void SetSettings(TextView settings) override;
    int32_t Handshaking() const override { return handshaking_; }
    void SetHandshaking(int32_t code) override;
    int16_t InputLen() const override { return input_len_; }
    void SetInputLen(int16_t length) override;
    bool PortOpen() const override { return open_; }
    void SetPortOpen(bool open) override;
    std::string Input() override;
    void SetOnComm(std::function<void()> handler) override { on_comm_ = std::move(handler); }
    PortState State() const override;
    void OpenOrWaitForDevice() override;

    // Test hooks. Bytes that arrive while the port is closed wait in the driver of a present device, where an
    // open by SetPortOpen discards them and a reopen after the device returned keeps them.
    // Receive queues bytes and raises OnComm; QueueReceived only queues (several pieces before one event).
    void Receive(std::string_view bytes);
    void QueueReceived(std::string_view bytes);
    void RaiseOnComm();
    // COMn's device went away (a USB adapter pulled): an open port on it closes, then OnComm is raised.
    void DeviceGone(int16_t port);
    // COMn's device is back; `announced` when its driver tells the system, which tells the control.
    void DeviceReturns(int16_t port, bool announced);
    // The system's announcement that COMn arrived.
    void AnnounceArrival(int16_t port);
    // The retry timer comes due; only while waiting for a device.
    void FireRetryTimer();
    // The delay the retry timer runs with, or none when no timer runs.
    std::optional<uint32_t> RetryDelayMs() const;

    // What the port was opened with at the last successful open.
    struct Applied {
        int16_t port = 0;
        Text settings;
        int32_t handshaking = 0;
        bool operator==(const Applied&) const = default;
    };
    const std::optional<Applied>& LastOpen() const { return last_open_; }
    const std::string& Buffered() const { return received_; }

    // Ports the machine has, and ports another program holds open.
    std::set<int16_t> existing_ports{1, 2, 3, 4};
    std::set<int16_t> busy_ports;
    // Settings (in reported form) the port's driver refuses when they are applied to the open port.
    std::set<Text> driver_refuses;

  private:
    void ApplyToDriver(const Text& settings) const;
    void Open(bool discard_leftovers);
    void TryReopen(bool announced);

    int16_t port_ = kInitialCommPort;
    Text settings_ = kInitialSettings;
    int32_t handshaking_ = kInitialHandshaking;
    int16_t input_len_ = 0;
    bool open_ = false;
    std::string received_;
    // What the device sent while the port was closed.
    std::string in_driver_;
    DeviceWait wait_;
    std::optional<Applied> last_open_;
    std::function<void()> on_comm_;
};

}  // namespace corvanta
