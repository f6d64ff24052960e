#pragma once

#include <windows.h>

#include <dbt.h>

#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/device_wait.h"
#include "platform/serial_control.h"
#include "platform/serial_settings.h"
#include "platform/win32/handles.h"

namespace corvanta::win32 {

// The serial control over the Win32 comm API. A reader thread takes bytes from the driver as they arrive and
// wakes the UI thread through the control's own message-only window, so OnComm runs on the thread that created
// the control, from whatever message loop is running there (modal dialogs and menus included).
//
// Bytes received and not yet taken by Input stay buffered when the port closes (also when the device goes away),
// so the last block before a close is never lost; they are only removed by Input.
//
// While it waits for a device that went away, the window hears of port arrivals (RegisterDeviceNotification
// for the COM port interface: a message-only window gets no DBT_DEVTYP_PORT broadcasts) and runs the retry
// timer; a healthy port runs no timer at all.
class Win32SerialControl : public SerialControl {
  public:
    Win32SerialControl();
    ~Win32SerialControl() override;
    Win32SerialControl(const Win32SerialControl&) = delete;
    Win32SerialControl& operator=(const Win32SerialControl&) = delete;

    int16_t CommPort() const override { return port_; }
    void SetCommPort(int16_t port) override;
    Text Settings() const override { return FormatLineSettings(line_); }
    void SetSettings(TextView settings) override;
    int32_t Handshaking() const override { return handshaking_; }
    void SetHandshaking(int32_t code) override;
    int16_t InputLen() const override { return input_len_; }
    void SetInputLen(int16_t length) override;
    bool PortOpen() const override { return comm_.Valid(); }
    void SetPortOpen(bool open) override;
    std::string Input() override;
    void SetOnComm(std::function<void()> handler) override { on_comm_ = std::move(handler); }
    PortState State() const override;
    void OpenOrWaitForDevice() override;

    // The message-only window that carries the reader's wake-ups, timers and device arrivals.
    HWND Window() const { return window_.Get(); }
    // The delay the retry timer runs with while waiting for the device.
    uint32_t RetryDelayMs() const { return wait_.DelayMs(); }
    // Whether the system tells the window of arriving COM ports.
    bool HearsDeviceArrivals() const { return arrivals_.Get() != nullptr; }

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    void Open(bool discard_leftovers);
    void Close();
    void BeginWait();
    void EndWait();
    void ArmRetryTimer();
    void TryReopen(bool announced);
    void OnDeviceArrival(const DEV_BROADCAST_HDR* header);
    void ApplyLineSettings(HANDLE comm, const LineSettings& line, int32_t handshaking) const;
    void ReadLoop(HANDLE comm, HANDLE stop);
    void Append(const char* bytes, DWORD count);
    void ReportFailure();
    void WakeLocked();
    void OnWake();
    Error PortError(std::string_view operation, DWORD code) const;

    int16_t port_ = kInitialCommPort;
    LineSettings line_;
    int32_t handshaking_ = kInitialHandshaking;
    int16_t input_len_ = 0;
    std::function<void()> on_comm_;
    DeviceWait wait_;

    UniqueHwnd window_;
    UniqueDeviceNotify arrivals_;
    UniqueHandle comm_;
    UniqueHandle stop_;
    std::thread reader_;

    // Shared with the reader thread.
    std::mutex mutex_;
    std::string received_;
    bool wake_pending_ = false;
    bool reader_failed_ = false;
    bool reopened_ = false;
};

}  // namespace corvanta::win32
