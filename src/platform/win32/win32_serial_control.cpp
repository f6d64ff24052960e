#include "platform/win32/win32_serial_control.h"

#include <system_error>
#include <utility>

#include "platform/win32/unhandled_error.h"
#include "platform/win32/win32_error.h"

namespace corvanta::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"CorvantaSerialControl";
constexpr UINT kWakeMessage = WM_APP + 1;
constexpr DWORD kReadChunk = 4096;
constexpr int kMaxEmptyReads = 64;
constexpr UINT_PTR kRetryTimer = 1;
// GUID_DEVINTERFACE_COMPORT, spelled out so that no GUID library needs linking.
constexpr GUID kComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

void RegisterWindowClassOnce(WNDPROC window_proc) {
    static const bool registered = [window_proc] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = window_proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kWindowClass;
        if (RegisterClassExW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            ThrowLastError(u"Registering the serial control's window class");
        }
        return true;
    }();
    (void)registered;
}

BYTE ParityCode(char parity) {
    switch (parity) {
        case 'e':
            return EVENPARITY;
        case 'o':
            return ODDPARITY;
        case 'm':
            return MARKPARITY;
        case 's':
            return SPACEPARITY;
        default:
            return NOPARITY;
    }
}

// What CreateFile reports for a port whose device is not there (a USB adapter pulled, or still arriving).
bool MeansDeviceAbsent(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_NOT_READY:
        case ERROR_GEN_FAILURE:
        case ERROR_BAD_COMMAND:
            return true;
        default:
            return false;
    }
}

BYTE StopBitsCode(StopBits stop_bits) {
    switch (stop_bits) {
        case StopBits::kOnePointFive:
            return ONE5STOPBITS;
        case StopBits::kTwo:
            return TWOSTOPBITS;
        default:
            return ONESTOPBIT;
    }
}

}  // namespace

Win32SerialControl::Win32SerialControl() : line_(ParseLineSettings(kInitialSettings)) {
    RegisterWindowClassOnce(&WindowProc);
    window_.Reset(CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                                  nullptr));
    if (window_.Get() == nullptr) {
        ThrowLastError(u"Creating the serial control's window");
    }
    SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kComPortInterface;
    // Without it (a system that refuses) only the retry timer notices a returning device, later but surely.
    arrivals_.Reset(RegisterDeviceNotificationW(window_.Get(), &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
}

Win32SerialControl::~Win32SerialControl() {
    EndWait();
    arrivals_.Reset();
    Close();
    if (window_.Get() != nullptr) {
        SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, 0);
    }
}

LRESULT CALLBACK Win32SerialControl::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<Win32SerialControl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }
    if (message == kWakeMessage) {
        self->OnWake();
        return 0;
    }
    if (message == WM_TIMER && wparam == kRetryTimer) {
        self->TryReopen(false);
        return 0;
    }
    if (message == WM_DEVICECHANGE && wparam == DBT_DEVICEARRIVAL) {
        self->OnDeviceArrival(reinterpret_cast<const DEV_BROADCAST_HDR*>(lparam));
        return TRUE;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

Error Win32SerialControl::PortError(std::string_view operation, DWORD code) const {
    Text text = CommPortName(port_) + u": ";
    if (!operation.empty()) {
        text += AsciiText(operation) + u": ";
    }
    return Error(text + SystemMessage(code));
}

void Win32SerialControl::SetCommPort(int16_t port) {
    CheckCommPort(port);
    if (PortOpen()) {
        throw CommPortWhileOpenError(port_);
    }
    port_ = port;
    // The user picked another port while the old one's device was away: its device is the one to wait for.
    if (wait_.Waiting()) {
        BeginWait();
    }
}

void Win32SerialControl::SetSettings(TextView settings) {
    const LineSettings line = ParseLineSettings(settings);
    if (PortOpen()) {
        ApplyLineSettings(comm_.Get(), line, handshaking_);
    }
    line_ = line;
}

void Win32SerialControl::SetHandshaking(int32_t code) {
    CheckHandshaking(code);
    if (PortOpen()) {
        ApplyLineSettings(comm_.Get(), line_, code);
    }
    handshaking_ = code;
}

void Win32SerialControl::SetInputLen(int16_t length) {
    CheckInputLen(length);
    input_len_ = length;
}

void Win32SerialControl::SetPortOpen(bool open) {
    // Either way the user has decided: a wait for the device ends, and an open that fails is not retried.
    EndWait();
    if (!open) {
        Close();
    } else if (!PortOpen()) {
        Open(true);
    }
}

PortState Win32SerialControl::State() const {
    if (PortOpen()) {
        return PortState::kOpen;
    }
    return wait_.Waiting() ? PortState::kWaitingForDevice : PortState::kClosed;
}

void Win32SerialControl::OpenOrWaitForDevice() {
    if (PortOpen()) {
        return;
    }
    EndWait();
    try {
        Open(true);
    } catch (const DeviceAbsentError& absent) {
        BeginWait();
        throw WaitingForDeviceError(absent);
    }
}

std::string Win32SerialControl::Input() {
    std::lock_guard lock(mutex_);
    return TakeInput(received_, input_len_);
}

void Win32SerialControl::ApplyLineSettings(HANDLE comm, const LineSettings& line, int32_t handshaking) const {
    DCB previous{};
    previous.DCBlength = sizeof(previous);
    if (!GetCommState(comm, &previous)) {
        throw PortError("Reading the line settings", GetLastError());
    }
    DCB dcb = previous;
    const bool xon_xoff = handshaking == 1 || handshaking == 3;
    const bool rts_cts = handshaking == 2 || handshaking == 3;
    dcb.BaudRate = line.speed;
    dcb.ByteSize = line.data_bits;
    dcb.Parity = ParityCode(line.parity);
    dcb.StopBits = StopBitsCode(line.stop_bits);
    dcb.fBinary = TRUE;
    dcb.fParity = line.parity != 'n';
    // Every byte must reach the program as sent: no NUL stripping, no replacement of bytes with parity errors,
    // and XON/XOFF are data unless software flow control is on.
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fOutX = xon_xoff;
    dcb.fInX = xon_xoff;
    dcb.fOutxCtsFlow = rts_cts;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    // Many devices only send while DTR and RTS are up.
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = rts_cts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.XonLim = static_cast<WORD>(kInputBufferSize / 4);
    dcb.XoffLim = static_cast<WORD>(kInputBufferSize / 4);
    if (!SetCommState(comm, &dcb)) {
        const DWORD error = GetLastError();
        // Drivers judge combinations (4 data bits, 1.5 stop bits with more than 5 data bits) and may have taken
        // part of the state before refusing it: put the previous state back, as far as the driver lets us.
        SetCommState(comm, &previous);
        throw PortError("Applying the line settings " + ToUtf8(FormatLineSettings(line)), error);
    }
}

void Win32SerialControl::Open(bool discard_leftovers) {
    // The \\.\ prefix names the device itself: without it CreateFile finds only COM1 to COM9.
    const Text path = u"\\\\.\\" + CommPortName(port_);
    UniqueHandle comm(CreateFileW(Wide(path), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr));
    if (!comm.Valid()) {
        const DWORD error = GetLastError();
        if (MeansDeviceAbsent(error)) {
            throw DeviceAbsentError(PortError({}, error).Description());
        }
        throw PortError({}, error);
    }
    // A handle is not yet a device: Wine opens a mapped port whose device is gone, and a departing USB adapter
    // may still be listed. Whether the driver answers tells.
    DCB probe{};
    probe.DCBlength = sizeof(probe);
    if (!GetCommState(comm.Get(), &probe)) {
        throw DeviceAbsentError(PortError("The device does not answer", GetLastError()).Description());
    }
    if (!SetupComm(comm.Get(), kInputBufferSize, kOutputBufferSize)) {
        throw PortError("Setting the buffer sizes", GetLastError());
    }
    ApplyLineSettings(comm.Get(), line_, handshaking_);
    // A read returns 1 ms after the last byte of a burst and otherwise waits for the first byte: one read per
    // block the device sends, with no timer running while the line is quiet.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 1;
    if (!SetCommTimeouts(comm.Get(), &timeouts)) {
        throw PortError("Setting the read timeouts", GetLastError());
    }
    // Bytes left in the driver from before a user's open belong to an earlier session. A returning device is
    // a fresh one: whatever it sent before the reopen is new data and stays.
    if (discard_leftovers && !PurgeComm(comm.Get(), PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT)) {
        throw PortError("Clearing the buffers", GetLastError());
    }
    UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stop.Valid()) {
        throw PortError("Creating an event", GetLastError());
    }
    {
        std::lock_guard lock(mutex_);
        reader_failed_ = false;
    }
    try {
        reader_ = std::thread(&Win32SerialControl::ReadLoop, this, comm.Get(), stop.Get());
    } catch (const std::system_error& e) {
        throw PortError("Starting the reader", static_cast<DWORD>(e.code().value()));
    }
    comm_ = std::move(comm);
    stop_ = std::move(stop);
}

void Win32SerialControl::Close() {
    if (reader_.joinable()) {
        SetEvent(stop_.Get());
        reader_.join();
    }
    comm_.Reset();
    stop_.Reset();
    std::lock_guard lock(mutex_);
    reader_failed_ = false;
}

void Win32SerialControl::ReadLoop(HANDLE comm, HANDLE stop) {
    UniqueHandle read_done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    char buffer[kReadChunk];
    bool stopping = false;
    int empty_reads = 0;
    while (read_done.Valid() && !stopping) {
        // Reads that complete at once (a busy line) never reach the wait below: look for a close here too.
        if (WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) {
            stopping = true;
            break;
        }
        OVERLAPPED overlapped{};
        overlapped.hEvent = read_done.Get();
        DWORD count = 0;
        if (!ReadFile(comm, buffer, kReadChunk, &count, &overlapped)) {
            if (GetLastError() != ERROR_IO_PENDING) {
                break;
            }
            const HANDLE waits[] = {stop, read_done.Get()};
            if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
                // Closing: the read is cancelled, and whatever it took before the cancel is still kept.
                stopping = true;
                CancelIoEx(comm, &overlapped);
            }
            // The wait must complete even after a cancel: the driver writes into buffer and overlapped until then.
            if (!GetOverlappedResult(comm, &overlapped, &count, TRUE)) {
                // When stopping, the failure is our own cancel (ERROR_OPERATION_ABORTED); otherwise the device
                // went away.
                if (!stopping) {
                    break;
                }
                count = 0;
            }
        }
        if (count > 0) {
            empty_reads = 0;
            Append(buffer, count);
        } else if (!stopping && ++empty_reads >= kMaxEmptyReads) {
            // With these timeouts a read only ends empty when something is wrong with the line: a driver that
            // keeps answering that way is treated as gone (and retried), rather than spinning here.
            break;
        }
    }
    if (!stopping) {
        ReportFailure();
    }
}

void Win32SerialControl::Append(const char* bytes, DWORD count) {
    std::lock_guard lock(mutex_);
    received_.append(bytes, count);
    WakeLocked();
}

void Win32SerialControl::ReportFailure() {
    std::lock_guard lock(mutex_);
    reader_failed_ = true;
    WakeLocked();
}

void Win32SerialControl::WakeLocked() {
    // One wake-up in the queue at a time; the flag clears when the UI thread takes it, so a later append posts
    // again and none is lost.
    if (!wake_pending_) {
        wake_pending_ = PostMessageW(window_.Get(), kWakeMessage, 0, 0) != FALSE;
    }
}

void Win32SerialControl::OnWake() {
    bool failed = false;
    bool bytes_wait = false;
    bool reopened = false;
    {
        std::lock_guard lock(mutex_);
        wake_pending_ = false;
        failed = reader_failed_;
        bytes_wait = !received_.empty();
        reopened = std::exchange(reopened_, false);
    }
    if (failed) {
        Close();
        BeginWait();
    }
    if ((failed || bytes_wait || reopened) && on_comm_) {
        try {
            on_comm_();
        } catch (const std::exception& e) {
            ReportUnhandledError(e);
        }
    }
}

void Win32SerialControl::BeginWait() {
    wait_.Begin();
    ArmRetryTimer();
}

void Win32SerialControl::EndWait() {
    if (wait_.Waiting()) {
        wait_.End();
        KillTimer(window_.Get(), kRetryTimer);
    }
}

void Win32SerialControl::ArmRetryTimer() {
    // Replaces a running one. Should it fail, the device's arrival notice or the user's next open still works.
    if (SetTimer(window_.Get(), kRetryTimer, wait_.DelayMs(), nullptr) == 0) {
        ReportUnhandledError(PortError("Starting the retry timer", GetLastError()));
    }
}

void Win32SerialControl::TryReopen(bool announced) {
    if (!wait_.Waiting()) {
        return;
    }
    try {
        Open(false);
    } catch (const Error&) {
        wait_.TryFailed(announced);
        ArmRetryTimer();
        return;
    }
    EndWait();
    // OnComm comes from the message loop, never from inside the system's sent WM_DEVICECHANGE.
    std::lock_guard lock(mutex_);
    reopened_ = true;
    WakeLocked();
}

void Win32SerialControl::OnDeviceArrival(const DEV_BROADCAST_HDR* header) {
    if (!wait_.Waiting() || header == nullptr) {
        return;
    }
    // A port broadcast names the port; an interface notice names a device path, so any COM port counts.
    if (header->dbch_devicetype == DBT_DEVTYP_PORT) {
        const auto* port = reinterpret_cast<const DEV_BROADCAST_PORT_W*>(header);
        if (lstrcmpiW(port->dbcp_name, Wide(CommPortName(port_))) != 0) {
            return;
        }
    } else if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
        return;
    }
    TryReopen(true);
}

}  // namespace corvanta::win32
