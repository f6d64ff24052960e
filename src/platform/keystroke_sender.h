#pragma once

#include <cstddef>

#include "core/keystroke_plan.h"
#include "platform/text.h"

namespace corvanta {

struct SendResult {
    size_t events = 0;    // input events the text needed
    size_t accepted = 0;  // how many of them the system accepted
};

// Types text into the foreground window without waiting for it to be processed. There is no notation:
// every character is typed as itself. CR, LF (not directly after a CR, even across calls), TAB, BS and ESC
// are typed as their keys; other control characters are not typed. The whole text goes to the system in one
// piece, so it is never interleaved with the user's own typing. Events the system refuses (for instance while
// a window of higher integrity has the focus) show as accepted < events.
class KeystrokeSender {
  public:
    virtual ~KeystrokeSender() = default;
    virtual SendResult SendKeys(TextView text) = 0;
    // How the characters of the next texts become keys.
    virtual void SetKeyMode(KeyMode mode) = 0;
};

}  // namespace corvanta
