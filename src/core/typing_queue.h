#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>

#include "common/text.h"
#include "core/output_settings.h"
#include "platform/focus_window.h"
#include "platform/keystroke_sender.h"
#include "platform/timer.h"

namespace corvanta {

// How much received text may wait to be typed, in UTF-16 units (one per byte of a single-byte code page).
inline constexpr size_t kTypingQueueLimit = 1024 * 1024;
// How many records' text may wait to be typed: each one's row waits for it, for its status.
inline constexpr size_t kTypingQueueRecordLimit = 10'000;
// The most characters handed to the system in one call: a bounded call keeps the UI thread responsive and
// the input array small. At one block per timer tick this still types faster than any serial line delivers.
inline constexpr size_t kTypingBlock = 512;
// The next block goes at the next timer tick; the timer is the loop's lowest priority, so tray clicks and
// dialogs are served between blocks.
inline constexpr uint32_t kNextBlockDelayMs = 10;
// While the system refuses keystrokes, the text waits and is tried again this often.
inline constexpr uint32_t kRetryDelayMs = 500;
// While the focus is on a window that must not or cannot get the keys (the program's own, or one of higher
// integrity) the text waits, and the focus is looked at again this often: soon after the user switches to a
// window that can take them, the text arrives there.
inline constexpr uint32_t kFocusCheckDelayMs = 50;

// Received text waits here, in order, until it is typed into the window with the focus through the sender it
// owns: text that comes faster than the focused program takes keystrokes is typed as soon as possible, in
// blocks, and text the system refuses is kept and tried again. Nothing is dropped without a word: a full
// queue, refused keystrokes and a focus window of higher integrity are each reported once, through `warn` (a
// modal message box), until typing catches up or succeeds again. While a report is open, or any other window of
// the program has the focus (its menu, a dialog), nothing is typed: the keys would work the program's own
// controls (Enter pressing a dialog's OK) and the text would be lost to the user's window.
//
// A mark at the end of a record's text tells when all of it has been typed, and whether it had to wait for a window
// of higher integrity on the way.
class TypingQueue {
  public:
    // The end of a record's text in what Enqueue is given: where it ends there, and the caller's id for it.
    struct Mark {
        size_t offset;
        uint64_t id;
    };
    // How much of what Enqueue was given it kept, from the front: UTF-16 units and marks.
    struct Kept {
        size_t units = 0;
        size_t marks = 0;
    };

    TypingQueue(KeystrokeSender& keys, FocusWindow& focus, Timer& timer, std::function<void(TextView message)> warn);
    TypingQueue(const TypingQueue&) = delete;
    TypingQueue& operator=(const TypingQueue&) = delete;

    // Queues the text and returns at once; the number of its UTF-16 units kept, from the front. The rest did
    // not fit under kTypingQueueLimit: the caller keeps it and offers it again when the room handler runs.
    size_t Enqueue(TextView text) { return Enqueue(text, {}).units; }
    // The same with the marks of the records that end in the text, in order. A mark is kept with the text before it,
    // up to kTypingQueueRecordLimit marks waiting; what is not kept is offered again, the text with its marks.
    Kept Enqueue(TextView text, std::span<const Mark> marks);

    // Runs once for each kept mark when all the text before it has been typed, in their order, with whether any of
    // its record's text had to wait for a window of higher integrity; from inside Enqueue when that is already so.
    void SetOnTyped(std::function<void(uint64_t id, bool held)> handler) { on_typed_ = std::move(handler); }

    // What the settings ask of the typing, from the next block on: the key mode, and the key delay (0 types in
    // blocks as fast as the system takes them; otherwise one character per delay, for programs and remote sessions
    // that drop fast input; a surrogate pair is one character here).
    void SetSettings(const OutputSettings& settings);

    // Runs from the message loop once half of a full queue has been typed, after an Enqueue could not keep
    // everything: the time to offer the rest again.
    void SetOnRoom(std::function<void()> handler) { on_room_ = std::move(handler); }

    // Tells the user through the queue's own channel: one box at a time, nothing typed while it is open.
    void Report(TextView message);

    // The text still waiting to be typed.
    TextView Waiting() const { return TextView(waiting_).substr(next_); }

  private:
    enum class Outcome { kTyped, kRefused, kPartlyTyped };

    void OnTick();
    void TypeWaiting();
    bool MustWaitForFocus();
    Outcome TypeBlock();
    TextView NextBlock() const;
    uint32_t NextDelay() const;
    void ReportOverflow(bool records_full);
    void ReportRefusal(TextView message);
    void ShowReports();
    void Compact();
    void SettleMarks();
    // A window of higher integrity has the focus: every record whose text waits was held.
    void MarkHeld();

    KeystrokeSender& keys_;
    FocusWindow& focus_;
    Timer& timer_;
    std::function<void(TextView)> warn_;
    std::function<void()> on_room_;
    uint32_t key_delay_ms_ = 0;

    // waiting_[next_..] is the queue; the typed front is cut off now and then, not at every block.
    Text waiting_;
    size_t next_ = 0;

    // Every unit queued and typed since the start: the marks' positions count in them.
    uint64_t queued_total_ = 0;
    uint64_t typed_total_ = 0;
    struct PendingMark {
        uint64_t position;
        uint64_t id;
        bool held;
    };
    std::deque<PendingMark> marks_;
    // Text after the last mark waited for a window of higher integrity.
    bool open_held_ = false;
    std::function<void(uint64_t, bool)> on_typed_;

    bool overflow_reported_ = false;  // until the queue has drained
    bool turned_away_ = false;        // an Enqueue kept less than it was given; the room handler is due
    bool refusal_reported_ = false;   // until a block is typed again
    bool elevated_reported_ = false;  // until a block is typed again
    // Reports waiting for the open box to close, and whether one is open.
    std::deque<Text> reports_;
    bool warning_open_ = false;
};

}  // namespace corvanta
