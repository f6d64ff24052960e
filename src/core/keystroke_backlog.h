#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/keystroke_sender.h"
#include "platform/text.h"
#include "platform/timer.h"

namespace corvanta {

// How much received text may wait to be typed, in UTF-16 units (one per byte of a single-byte code page).
inline constexpr size_t kBacklogLimit = 1024 * 1024;
// The most characters handed to the system in one call: a bounded call keeps the UI thread responsive and
// the input array small. At one block per timer tick this still types faster than any serial line delivers.
inline constexpr size_t kTypingBlock = 512;
// The next block goes at the next timer tick; the timer is the loop's lowest priority, so tray clicks and
// dialogs are served between blocks.
inline constexpr uint32_t kNextBlockDelayMs = 10;
// While the system refuses keystrokes (a window of higher integrity has the focus), the text waits and is
// tried again this often.
inline constexpr uint32_t kRetryDelayMs = 500;
// While a window of the program itself has the focus the text waits, and the focus is looked at again this
// often: soon after the user returns to their own window the text arrives there.
inline constexpr uint32_t kOwnWindowDelayMs = 50;

// Received text waits here, in order, until it is typed: text that comes faster than the focused program takes
// keystrokes is typed as soon as possible, in blocks, and text the system refuses is kept and tried again.
// Nothing is dropped without a word: a full backlog and refused keystrokes are each reported once, through
// `warn` (a modal message box), until typing catches up or succeeds again. While a report is open, or any
// other window of the program has the focus (its menu, a dialog), nothing is typed: the keys would work the
// program's own controls (Enter pressing a dialog's OK) and the text would be lost to the user's window.
//
// It is the keystroke sender the relay sees: SendKeys queues and returns at once; accepted < events tells how
// many units of the text did not fit into the backlog.
class KeystrokeBacklog : public KeystrokeSender {
  public:
    KeystrokeBacklog(KeystrokeSender& keys, Timer& timer, std::function<void(TextView message)> warn);
    KeystrokeBacklog(const KeystrokeBacklog&) = delete;
    KeystrokeBacklog& operator=(const KeystrokeBacklog&) = delete;

    SendResult SendKeys(TextView text) override;
    void SetKeyMode(KeyMode mode) override { keys_.SetKeyMode(mode); }

    // The text still waiting to be typed.
    TextView Waiting() const { return TextView(waiting_).substr(next_); }

  private:
    enum class Outcome { kTyped, kRefused, kPartlyTyped };

    void TypeWaiting();
    Outcome TypeBlock();
    void ReportOverflow();
    void ReportRefusal(TextView message);
    void Warn(TextView message);
    void Compact();

    KeystrokeSender& keys_;
    Timer& timer_;
    std::function<void(TextView)> warn_;

    // waiting_[next_..] is the backlog; the typed front is cut off now and then, not at every block.
    Text waiting_;
    size_t next_ = 0;

    bool overflow_reported_ = false;    // until the backlog has drained
    bool overflow_unreported_ = false;  // text was dropped while another report was open
    bool refusal_reported_ = false;     // until a block is typed again
    bool warning_open_ = false;
};

}  // namespace corvanta
