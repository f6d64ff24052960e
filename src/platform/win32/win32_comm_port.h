#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

#include "common/serial_settings.h"
#include "common/text.h"
#include "platform/win32/handles.h"

namespace corvanta::win32 {

// "COM3: Applying the line settings 9600,n,4,1: The request is not supported." (no operation: "COM3: <message>").
Error CommPortError(int16_t port, std::string_view operation, DWORD code);

// Opens COMn for overlapped reads, configured with these line settings and handshaking. Throws
// DeviceAbsentError when the port's device is not there, Error otherwise; a port that fails halfway is closed.
// `discard_leftovers` clears what waits in the driver from before.
UniqueHandle OpenCommPort(int16_t port, const LineSettings& line, int32_t handshaking, bool discard_leftovers);

// Applies line settings to an open port; when the driver refuses them the previous state is put back.
void ApplyLineSettings(HANDLE comm, int16_t port, const LineSettings& line, int32_t handshaking);

}  // namespace corvanta::win32
