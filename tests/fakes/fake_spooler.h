#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/spooler.h"

namespace corvanta {

struct FakePort {
    std::string name;  // ANSI bytes, as the spooler spells the name ("COM1:")
    std::string monitor = "Local Port";
    std::string description = "Local Port";
    uint32_t type = 0;
};

// A spooler answering from a list of ports, laid out as the real one lays it: the records at the start of
// the caller's buffer, the texts behind them, the records' pointers into the buffer.
class FakeSpooler : public Spooler {
  public:
    FakeSpooler() = default;
    explicit FakeSpooler(std::vector<FakePort> initial) : ports(std::move(initial)) {}
    // Ports with the fake's default monitor, description and type.
    static FakeSpooler WithNames(const std::vector<std::string>& names);

    int EnumPortsA(uint32_t level, uint8_t* buffer, uint32_t size, uint32_t* needed, uint32_t* returned) override;
    uint32_t LastError() const override { return last_error; }

    // The bytes an answer for the current list needs.
    uint32_t BytesNeeded() const;

    std::vector<FakePort> ports;
    // Appended to ports right after the next call that fails for lack of room: the list grows between the
    // size call and the data call, as when a USB adapter is plugged in while the dialog opens.
    std::vector<FakePort> grow_after_size_call;
    // Runs after a successful layout, to damage the answer (buffer, size given, records returned).
    std::function<void(uint8_t*, uint32_t, uint32_t&)> tamper;
    uint32_t last_error = 0;
};

}  // namespace corvanta
