#include "platform/win32/win32_spooler.h"

#include <windows.h>

#include <winspool.h>

#include <cstddef>

namespace corvanta::win32 {

// The portable record is read in place of the spooler's own: it must be the same layout in every build.
static_assert(sizeof(PortInfo2) == sizeof(PORT_INFO_2A));
static_assert(offsetof(PortInfo2, pPortName) == offsetof(PORT_INFO_2A, pPortName));
static_assert(offsetof(PortInfo2, pMonitorName) == offsetof(PORT_INFO_2A, pMonitorName));
static_assert(offsetof(PortInfo2, pDescription) == offsetof(PORT_INFO_2A, pDescription));
static_assert(offsetof(PortInfo2, fPortType) == offsetof(PORT_INFO_2A, fPortType));
static_assert(offsetof(PortInfo2, Reserved) == offsetof(PORT_INFO_2A, Reserved));
#if !defined(_WIN64)
static_assert(sizeof(PORT_INFO_2A) == 20, "the classic 32-bit record: three pointers and two DWORDs");
#endif

int Win32Spooler::EnumPortsA(uint32_t level, uint8_t* buffer, uint32_t size, uint32_t* needed, uint32_t* returned) {
    DWORD bytes_needed = 0;
    DWORD count = 0;
    // A failure is an answer here, not an error: the first call of every enumeration fails on purpose to
    // learn the size, so the caller reads LastError instead of catching.
    const BOOL ok = ::EnumPortsA(nullptr, level, buffer, size, &bytes_needed, &count);
    last_error_ = ok ? 0 : GetLastError();
    if (needed != nullptr) {
        *needed = bytes_needed;
    }
    if (returned != nullptr) {
        *returned = count;
    }
    return ok ? 1 : 0;
}

}  // namespace corvanta::win32
