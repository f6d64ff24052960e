#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/serial_settings.h"
#include "core/serial_control.h"
#include "platform/serial_device.h"
#include "platform/timer.h"

namespace corvanta {

// When a session waiting for its port's device tries to open the port again: 1 s after it began to wait, then
// at doubling intervals up to 30 s, for drivers that announce no arrival.
class DeviceWait {
  public:
    static constexpr uint32_t kFirstDelayMs = 1000;
    static constexpr uint32_t kLongestDelayMs = 30000;

    bool Waiting() const { return waiting_; }
    uint32_t DelayMs() const { return delay_ms_; }

    // Also a fresh start: a new port number, or a device that announced itself but did not open yet.
    void Begin() {
        waiting_ = true;
        delay_ms_ = kFirstDelayMs;
    }
    // After an announced arrival the device may need a moment before it opens: start over from the short delay.
    void TryFailed(bool announced) { delay_ms_ = announced ? kFirstDelayMs : std::min(delay_ms_ * 2, kLongestDelayMs); }
    void End() { waiting_ = false; }

  private:
    bool waiting_ = false;
    uint32_t delay_ms_ = kFirstDelayMs;
};

// The serial control over a device: the port's properties and their checks, the receive buffer, OnComm, and
// the wait for a device that went away (see SerialControl::State). Everything runs on the UI thread; the timer
// carries the retries, and the notice of a reopen that an arrival brought, to the message loop.
class SerialSession : public SerialControl {
  public:
    // Received bytes that Input has not taken are kept up to this many; beyond it the device stops reading until
    // Input takes them, and what follows waits in the line, where the handshaking stops the far end.
    static constexpr size_t kReceiveLimit = 64 * 1024;

    // Both outlive the session.
    SerialSession(SerialDevice& device, Timer& timer);
    ~SerialSession() override;
    SerialSession(const SerialSession&) = delete;
    SerialSession& operator=(const SerialSession&) = delete;

    int16_t CommPort() const override { return port_; }
    void SetCommPort(int16_t port) override;
    Text Settings() const override { return FormatLineSettings(line_); }
    void SetSettings(TextView settings) override;
    int32_t Handshaking() const override { return handshaking_; }
    void SetHandshaking(int32_t code) override;
    int16_t InputLen() const override { return input_len_; }
    void SetInputLen(int16_t length) override;
    bool PortOpen() const override { return device_.IsOpen(); }
    void SetPortOpen(bool open) override;
    std::string Input() override;
    void Output(std::string_view bytes) override;
    void SetOnComm(std::function<void()> handler) override { on_comm_ = std::move(handler); }
    PortState State() const override;
    void OpenOrWaitForDevice() override;

    // The delay before the next try while waiting for the device.
    uint32_t RetryDelayMs() const { return wait_.DelayMs(); }
    // The received bytes Input has not taken yet.
    size_t InBufferCount() const { return received_.size(); }

  private:
    void Open(bool discard_leftovers);
    void Close();
    void BeginWait();
    void EndWait();
    void TryReopen(bool announced);
    void OnRead(std::string bytes, bool gone);
    void OnArrival(std::optional<int16_t> port);
    void OnTimer();
    void RaiseOnComm();
    // The device reads while the receive buffer is below its limit.
    void UpdateReading();

    SerialDevice& device_;
    Timer& timer_;
    int16_t port_ = kInitialCommPort;
    LineSettings line_;
    int32_t handshaking_ = kInitialHandshaking;
    int16_t input_len_ = 0;
    std::function<void()> on_comm_;
    DeviceWait wait_;
    // Received and not yet taken by Input: kept when the port closes, also when its device goes away.
    std::string received_;
    // Whether the open device reads.
    bool reading_ = true;
    bool reopen_notice_ = false;
};

}  // namespace corvanta
