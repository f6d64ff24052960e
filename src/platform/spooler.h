#pragma once

#include <cstdint>

namespace corvanta {

// The print spooler's level-2 port record in its ANSI form: the same fields, types and layout as
// PORT_INFO_2A (20 bytes in a 32-bit build, 32 in a 64-bit one). The pointers point into the caller's buffer.
struct PortInfo2 {
    char* pPortName;
    char* pMonitorName;
    char* pDescription;
    uint32_t fPortType;
    uint32_t Reserved;
};
static_assert(sizeof(PortInfo2) == 3 * sizeof(char*) + 2 * sizeof(uint32_t), "no padding in the port record");

namespace spooler {
// The error a call reports when the buffer is too small (ERROR_INSUFFICIENT_BUFFER).
constexpr uint32_t kErrorInsufficientBuffer = 122;
}  // namespace spooler

// The local print spooler's port enumeration (EnumPortsA with no server name).
class Spooler {
  public:
    virtual ~Spooler() = default;

    // Fills buffer (size bytes) with the records of every port the system knows, their texts behind them,
    // and reports the bytes the whole answer needs and how many records were written. Returns nonzero on
    // success; a buffer too small (a size of 0 asks for the size) fails with kErrorInsufficientBuffer.
    virtual int EnumPortsA(uint32_t level, uint8_t* buffer, uint32_t size, uint32_t* needed, uint32_t* returned) = 0;

    // The error code of the last failed call.
    virtual uint32_t LastError() const = 0;
};

}  // namespace corvanta
