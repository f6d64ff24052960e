#pragma once

#include <functional>
#include <stdexcept>
#include <utility>

#include "platform/timer.h"

namespace corvanta {

// A timer whose time passes only when a test calls Fire.
class FakeTimer : public Timer {
  public:
    void Start(uint32_t delay_ms) override {
        pending = true;
        delay = delay_ms;
    }
    void Stop() override { pending = false; }
    bool Pending() const override { return pending; }
    void SetOnTimer(std::function<void()> handler) override { on_timer_ = std::move(handler); }

    // The pending tick comes due: what the message loop would do.
    void Fire() {
        if (!pending) {
            throw std::logic_error("FakeTimer::Fire with no tick pending");
        }
        pending = false;
        if (on_timer_) {
            on_timer_();
        }
    }

    bool pending = false;
    uint32_t delay = 0;

  private:
    std::function<void()> on_timer_;
};

}  // namespace corvanta
