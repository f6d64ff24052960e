#pragma once

#include <optional>
#include <string_view>

#include "core/serial_session.h"
#include "fakes/fake_timer.h"
#include "fakes/simulated_serial_device.h"

namespace corvanta {

// The parts a session over the simulated device is built from, constructed before it.
struct SimulatedSerialParts {
    SimulatedSerialDevice device;
    FakeTimer timer;
};

// The production serial session over a simulated device, whose time passes only when a test fires the timer.
class SimulatedSerialControl : public SimulatedSerialParts, public SerialSession {
  public:
    SimulatedSerialControl() : SerialSession(device, timer) {}

    void Receive(std::string_view bytes) { device.Receive(bytes); }
    // The delay of the session's pending tick, or none when its timer is idle.
    std::optional<uint32_t> PendingTickMs() const { return timer.pending ? std::optional(timer.delay) : std::nullopt; }
    const std::optional<SimulatedSerialDevice::Applied>& LastOpen() const { return device.last_open; }
};

}  // namespace corvanta
