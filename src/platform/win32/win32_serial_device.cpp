#include "platform/win32/win32_serial_device.h"

#include <cwchar>
#include <optional>
#include <utility>

#include "platform/win32/win32_comm_port.h"
#include "platform/win32/win32_error.h"

namespace corvanta::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"CorvantaSerialDevice";
constexpr UINT kWakeMessage = WM_APP + 1;
constexpr UINT kWriteFailedMessage = WM_APP + 2;
// GUID_DEVINTERFACE_COMPORT, spelled out so that no GUID library needs linking.
constexpr GUID kComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

}  // namespace

Win32SerialDevice::Win32SerialDevice() {
    window_.Reset(CreateMessageOnlyWindow(*this, kWindowClass, u"Creating the serial port's window"));
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kComPortInterface;
    // Without it (a system that refuses) only the session's retries notice a returning device, later but surely.
    arrivals_.Reset(RegisterDeviceNotificationW(window_.Get(), &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
}

Win32SerialDevice::~Win32SerialDevice() {
    arrivals_.Reset();
    Close();
    SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, 0);
}

LRESULT Win32SerialDevice::HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == kWakeMessage) {
        OnWake();
        return 0;
    }
    if (message == kWriteFailedMessage) {
        OnWriteFailed();
        return 0;
    }
    if (message == WM_DEVICECHANGE && wparam == DBT_DEVICEARRIVAL) {
        OnDeviceArrival(reinterpret_cast<const DEV_BROADCAST_HDR*>(lparam));
        return TRUE;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

void Win32SerialDevice::Open(int16_t port, const LineSettings& line, int32_t handshaking, bool discard_leftovers) {
    UniqueHandle comm = OpenCommPort(port, line, handshaking, discard_leftovers);
    reader_ = std::make_unique<CommReader>(comm.Get(), port, window_.Get(), kWakeMessage);
    comm_ = std::move(comm);
    port_ = port;
}

void Win32SerialDevice::Configure(const LineSettings& line, int32_t handshaking) {
    ApplyLineSettings(comm_.Get(), port_, line, handshaking);
}

void Win32SerialDevice::Transmit(std::string_view bytes) {
    if (!comm_.Valid()) {
        throw Error(CommPortName(port_) + u" is not open.");
    }
    if (!writer_) {
        writer_ = std::make_unique<CommWriter>(comm_.Get(), port_, window_.Get(), kWriteFailedMessage);
    }
    writer_->Write(bytes, kMaxUnsentBytes);
}

void Win32SerialDevice::SetReading(bool on) {
    if (reader_) {
        reader_->SetReading(on);
    }
}

std::string Win32SerialDevice::Close() {
    writer_.reset();
    std::string rest;
    if (reader_) {
        reader_->Stop();
        // The end of a port closed on purpose is no news.
        rest = reader_->Take().bytes;
        reader_.reset();
    }
    comm_.Reset();
    return rest;
}

void Win32SerialDevice::OnWake() {
    // A wake-up from a reader that Close already emptied finds nothing.
    if (!reader_) {
        return;
    }
    CommReader::Taken taken = reader_->Take();
    if ((!taken.bytes.empty() || taken.gone) && on_read_) {
        on_read_(std::move(taken.bytes), taken.gone);
    }
}

void Win32SerialDevice::OnWriteFailed() {
    // A notice from a writer that Close already ended, or from one of an earlier open, is no news.
    if (writer_ && writer_->Failed() && on_read_) {
        // The session closes the port, which hands over what the reader took before.
        on_read_(std::string(), true);
    }
}

void Win32SerialDevice::OnDeviceArrival(const DEV_BROADCAST_HDR* header) {
    if (header == nullptr || !on_arrival_) {
        return;
    }
    // A port broadcast names the port; an interface notice names a device path, so any COM port counts.
    if (header->dbch_devicetype == DBT_DEVTYP_PORT) {
        const auto* port = reinterpret_cast<const DEV_BROADCAST_PORT_W*>(header);
        if (const std::optional<int16_t> number = CommPortNumber(FromWide(port->dbcp_name, wcslen(port->dbcp_name)))) {
            on_arrival_(number);
        }
    } else if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
        on_arrival_(std::nullopt);
    }
}

}  // namespace corvanta::win32
