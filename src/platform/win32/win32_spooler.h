#pragma once

#include "platform/spooler.h"

namespace corvanta::win32 {

// The local spooler's EnumPortsA (winspool).
class Win32Spooler : public Spooler {
  public:
    int EnumPortsA(uint32_t level, uint8_t* buffer, uint32_t size, uint32_t* needed, uint32_t* returned) override;
    uint32_t LastError() const override { return last_error_; }

  private:
    uint32_t last_error_ = 0;
};

}  // namespace corvanta::win32
