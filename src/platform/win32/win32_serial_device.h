#pragma once

#include <windows.h>

#include <dbt.h>

#include <memory>
#include <string>

#include "platform/serial_device.h"
#include "platform/win32/handles.h"
#include "platform/win32/win32_comm_reader.h"
#include "platform/win32/win32_comm_writer.h"
#include "platform/win32/window_routing.h"

namespace corvanta::win32 {

// A COM port over the Win32 comm API. Its message-only window carries the reader's wake-ups to the thread that
// created the device, and hears of port arrivals (RegisterDeviceNotification for the COM port interface: a
// message-only window gets no DBT_DEVTYP_PORT broadcasts).
class Win32SerialDevice : public SerialDevice {
  public:
    Win32SerialDevice();
    ~Win32SerialDevice() override;
    Win32SerialDevice(const Win32SerialDevice&) = delete;
    Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

    void Open(int16_t port, const LineSettings& line, int32_t handshaking, bool discard_leftovers) override;
    void Configure(const LineSettings& line, int32_t handshaking) override;
    std::string Close() override;
    bool IsOpen() const override { return comm_.Valid(); }
    void Transmit(std::string_view bytes) override;
    void SetReading(bool on) override;
    void SetOnRead(ReadHandler handler) override { on_read_ = std::move(handler); }
    void SetOnArrival(ArrivalHandler handler) override { on_arrival_ = std::move(handler); }

    HWND Window() const { return window_.Get(); }
    // Whether the system tells the window of arriving COM ports.
    bool HearsDeviceArrivals() const { return arrivals_.Get() != nullptr; }

  private:
    friend LRESULT CALLBACK RoutingWindowProc<Win32SerialDevice>(HWND, UINT, WPARAM, LPARAM);
    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    void OnWake();
    void OnWriteFailed();
    void OnDeviceArrival(const DEV_BROADCAST_HDR* header);

    ReadHandler on_read_;
    ArrivalHandler on_arrival_;
    UniqueHwnd window_;
    UniqueDeviceNotify arrivals_;
    int16_t port_ = 0;
    UniqueHandle comm_;
    // Declared after the handle it reads: it stops first.
    std::unique_ptr<CommReader> reader_;
    // Started by the first write: a port that is only read has no writer thread.
    std::unique_ptr<CommWriter> writer_;
};

}  // namespace corvanta::win32
