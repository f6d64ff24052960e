#pragma once

#include <cstddef>
#include <cstdint>

#include "common/text.h"

namespace corvanta {

// How characters become input events.
enum class KeyMode : uint8_t {
    kLayout,    // the keys of the target's layout, a Unicode unit where no plain key combination types it
    kUnicode,   // every character as a Unicode unit; CR, LF, TAB, BS and ESC still as their keys
    kScanCode,  // as kLayout, but the keys go as scan codes (some remote-desktop clients read only those)
};

struct SendResult {
    size_t events = 0;    // input events the text needed
    size_t accepted = 0;  // how many of them the system accepted
};

// Types text into the foreground window without waiting for it to be processed. There is no notation, and the
// text is final: every character is typed as itself. Each CR and each LF is one Enter, TAB, BS and ESC are their
// keys, and any other control character is typed as a Unicode unit. The whole text goes to the system in one
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
