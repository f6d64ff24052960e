#include "platform/win32/win32_comm_port.h"

#include "core/serial_control.h"
#include "platform/serial_device.h"
#include "platform/win32/win32_error.h"

namespace corvanta::win32 {
namespace {

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

}  // namespace

Error CommPortError(int16_t port, std::string_view operation, DWORD code) {
    Text text = CommPortName(port) + u": ";
    if (!operation.empty()) {
        text += AsciiText(operation) + u": ";
    }
    return Error(text + SystemMessage(code));
}

void ApplyLineSettings(HANDLE comm, int16_t port, const LineSettings& line, int32_t handshaking) {
    DCB previous{};
    previous.DCBlength = sizeof(previous);
    if (!GetCommState(comm, &previous)) {
        throw CommPortError(port, "Reading the line settings", GetLastError());
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
    dcb.XonLim = static_cast<WORD>(SerialControl::kInputBufferSize / 4);
    dcb.XoffLim = static_cast<WORD>(SerialControl::kInputBufferSize / 4);
    if (!SetCommState(comm, &dcb)) {
        const DWORD error = GetLastError();
        // Drivers judge combinations (4 data bits, 1.5 stop bits with more than 5 data bits) and may have taken
        // part of the state before refusing it: put the previous state back, as far as the driver lets us.
        SetCommState(comm, &previous);
        throw CommPortError(port, "Applying the line settings " + ToUtf8(FormatLineSettings(line)), error);
    }
}

UniqueHandle OpenCommPort(int16_t port, const LineSettings& line, int32_t handshaking, bool discard_leftovers) {
    // The \\.\ prefix names the device itself: without it CreateFile finds only COM1 to COM9.
    const Text path = u"\\\\.\\" + CommPortName(port);
    UniqueHandle comm(CreateFileW(Wide(path), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr));
    if (!comm.Valid()) {
        const DWORD error = GetLastError();
        if (MeansDeviceAbsent(error)) {
            throw DeviceAbsentError(CommPortError(port, {}, error).Description());
        }
        throw CommPortError(port, {}, error);
    }
    // A handle is not yet a device: Wine opens a mapped port whose device is gone, and a departing USB adapter
    // may still be listed. Whether the driver answers tells.
    DCB probe{};
    probe.DCBlength = sizeof(probe);
    if (!GetCommState(comm.Get(), &probe)) {
        throw DeviceAbsentError(CommPortError(port, "The device does not answer", GetLastError()).Description());
    }
    if (!SetupComm(comm.Get(), SerialControl::kInputBufferSize, SerialControl::kOutputBufferSize)) {
        throw CommPortError(port, "Setting the buffer sizes", GetLastError());
    }
    ApplyLineSettings(comm.Get(), port, line, handshaking);
    // A read returns 1 ms after the last byte of a burst and otherwise waits for the first byte: one read per
    // block the device sends, with no timer running while the line is quiet.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 1;
    if (!SetCommTimeouts(comm.Get(), &timeouts)) {
        throw CommPortError(port, "Setting the read timeouts", GetLastError());
    }
    // Bytes left in the driver from before a user's open belong to an earlier session. A returning device is
    // a fresh one: whatever it sent before the reopen is new data and stays.
    if (discard_leftovers && !PurgeComm(comm.Get(), PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT)) {
        throw CommPortError(port, "Clearing the buffers", GetLastError());
    }
    return comm;
}

}  // namespace corvanta::win32
