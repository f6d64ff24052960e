#pragma once

#include <cstdint>
#include <functional>

namespace corvanta {

// A one-shot timer on the UI thread: the handler runs from whatever message loop is running there (modal
// dialogs, menus and message boxes included), never from inside Start.
class Timer {
  public:
    virtual ~Timer() = default;

    // Runs the handler once, `delay_ms` from now; a Start while one is pending replaces it.
    virtual void Start(uint32_t delay_ms) = 0;
    virtual void Stop() = 0;
    virtual bool Pending() const = 0;
    virtual void SetOnTimer(std::function<void()> handler) = 0;
};

}  // namespace corvanta
