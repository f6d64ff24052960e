#include "core/typing_queue.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "common/identity.h"

namespace corvanta {

TypingQueue::TypingQueue(KeystrokeSender& keys,
                         FocusWindow& focus,
                         Timer& timer,
                         std::function<void(TextView message)> warn)
    : keys_(keys), focus_(focus), timer_(timer), warn_(std::move(warn)) {
    timer_.SetOnTimer([this] { OnTick(); });
}

void TypingQueue::SetSettings(const OutputSettings& settings) {
    keys_.SetKeyMode(settings.key_mode);
    key_delay_ms_ = settings.key_delay_ms;
}

TypingQueue::Kept TypingQueue::Enqueue(TextView text, std::span<const Mark> marks) {
    const size_t room = kTypingQueueLimit - Waiting().size();
    size_t kept = std::min(text.size(), room);
    // Half a surrogate pair would type as garbage: the pair stays together or goes together.
    if (kept < text.size() && kept > 0 && IsHighSurrogate(text[kept - 1])) {
        --kept;
    }
    size_t placed = 0;
    bool records_full = false;
    for (const Mark& mark : marks) {
        if (mark.offset > kept) {
            break;
        }
        if (marks_.size() >= kTypingQueueRecordLimit) {
            // A record's end waits with the text after it; what came before it may go in.
            kept = mark.offset;
            records_full = true;
            break;
        }
        // The first mark ends the text that was open before it, which may have waited already.
        marks_.push_back({queued_total_ + mark.offset, mark.id, placed == 0 && open_held_});
        ++placed;
    }
    if (placed > 0) {
        open_held_ = false;
    }
    waiting_.append(text.substr(0, kept));
    queued_total_ += kept;

    // Typing already under way (a tick pending) keeps its pace; otherwise the text is typed right away.
    if (!timer_.Pending()) {
        TypeWaiting();
    }
    SettleMarks();
    if (kept < text.size() || placed < marks.size()) {
        turned_away_ = true;
        ReportOverflow(records_full);
    }
    return {kept, placed};
}

void TypingQueue::OnTick() {
    TypeWaiting();
    SettleMarks();
    // Half a queue of room at once: the caller's rest is not offered again block by block.
    if (turned_away_ && on_room_ && !warning_open_ && Waiting().size() <= kTypingQueueLimit / 2 &&
        marks_.size() <= kTypingQueueRecordLimit / 2) {
        turned_away_ = false;
        on_room_();
    }
}

static_assert(kTypingQueueRecordLimit == 10'000, "the report names the limit");

void TypingQueue::ReportOverflow(bool records_full) {
    if (overflow_reported_) {
        return;
    }
    overflow_reported_ = true;
    if (records_full) {
        Report(
            u"More records arrived on the port than the window with the focus could take as keystrokes: the text of "
            u"10,000 records is waiting to be typed. What follows waits at the port until it has been typed.");
    } else {
        Report(
            u"More text arrived on the port than the window with the focus could take as keystrokes: over a "
            u"million characters are waiting to be typed. The text that follows waits at the port until they have "
            u"been typed.");
    }
}

void TypingQueue::SettleMarks() {
    while (!marks_.empty() && marks_.front().position <= typed_total_) {
        const PendingMark mark = marks_.front();
        marks_.pop_front();
        if (on_typed_) {
            on_typed_(mark.id, mark.held);
        }
    }
}

void TypingQueue::MarkHeld() {
    for (PendingMark& mark : marks_) {
        if (mark.position > typed_total_) {
            mark.held = true;
        }
    }
    if (marks_.empty() || marks_.back().position < queued_total_) {
        open_held_ = true;
    }
}

void TypingQueue::ReportRefusal(TextView message) {
    if (!refusal_reported_) {
        refusal_reported_ = true;
        Report(message);
    }
}

void TypingQueue::TypeWaiting() {
    if (warning_open_) {
        // The report's box would get the keys; typing resumes when it closes.
        return;
    }
    if (!Waiting().empty()) {
        if (MustWaitForFocus()) {
            return;
        }
        const Outcome outcome = TypeBlock();
        if (outcome == Outcome::kRefused) {
            timer_.Start(kRetryDelayMs);
            ReportRefusal(
                u"Windows refused the keystrokes for the window that has the focus, for instance because "
                u"it runs with higher rights. The received text is kept and typed as soon as another "
                u"window has the focus.");
            return;
        }
        if (outcome == Outcome::kPartlyTyped) {
            ReportRefusal(
                u"Windows refused part of the keystrokes for the window that has the focus: some of the "
                u"received text may be missing there.");
        } else {
            refusal_reported_ = false;
            elevated_reported_ = false;
        }
        if (!Waiting().empty()) {
            // One block per turn of the message loop.
            timer_.Start(NextDelay());
            return;
        }
    }
    Compact();
    overflow_reported_ = false;
}

bool TypingQueue::MustWaitForFocus() {
    if (focus_.IsOwnWindow()) {
        timer_.Start(kFocusCheckDelayMs);
        return true;
    }
    // Windows drops keys sent up the integrity levels (UIPI), while SendInput may still count them as accepted:
    // only asking beforehand keeps the text.
    if (!focus_.ElevatedAboveUs()) {
        return false;
    }
    timer_.Start(kFocusCheckDelayMs);
    MarkHeld();
    if (!elevated_reported_) {
        elevated_reported_ = true;
        const Text title = focus_.Description();
        const Text window =
            title.empty() ? Text(u"The window with the focus") : u"The window \u201C" + title + u"\u201D";
        const Text app(kAppTitle);
        Report(window + u" belongs to a program that runs as administrator, and Windows does not let " + app +
               u" type into it. The received text is kept and typed as soon as a window that can take it has the "
               u"focus. To type into that program, start " +
               app + u" as administrator too, or start that program without administrator rights.");
    }
    return true;
}

TextView TypingQueue::NextBlock() const {
    const TextView waiting = Waiting();
    if (key_delay_ms_ != 0) {
        // One character: a surrogate pair is one.
        return waiting.substr(0, waiting.size() > 1 && IsHighSurrogate(waiting[0]) ? 2 : 1);
    }
    TextView block = waiting.substr(0, kTypingBlock);
    if (block.size() < waiting.size() && IsHighSurrogate(block.back())) {
        block.remove_suffix(1);
    }
    return block;
}

uint32_t TypingQueue::NextDelay() const {
    return key_delay_ms_ != 0 ? key_delay_ms_ : kNextBlockDelayMs;
}

TypingQueue::Outcome TypingQueue::TypeBlock() {
    const TextView block = NextBlock();
    SendResult result;
    try {
        result = keys_.SendKeys(block);
    } catch (const std::exception&) {
        // Nothing was handed to the system: kept, like refused keystrokes, for the next try and reported as such.
        return Outcome::kRefused;
    }
    if (result.events > 0 && result.accepted == 0) {
        return Outcome::kRefused;
    }
    // Events that went in were typed; which characters they belonged to is not known, so a partly typed block
    // is not typed again (that would double its start).
    next_ += block.size();
    typed_total_ += block.size();
    Compact();
    return result.accepted < result.events ? Outcome::kPartlyTyped : Outcome::kTyped;
}

void TypingQueue::Compact() {
    if (next_ == waiting_.size()) {
        waiting_.clear();
        next_ = 0;
    } else if (next_ >= kTypingBlock * 64) {
        waiting_.erase(0, next_);
        next_ = 0;
    }
}

void TypingQueue::Report(TextView message) {
    if (!warn_) {
        return;
    }
    reports_.emplace_back(message);
    if (!warning_open_) {
        ShowReports();
    }
}

void TypingQueue::ShowReports() {
    // The box runs a modal loop: bytes keep arriving and ticks keep coming meanwhile, and both only queue. A
    // report made meanwhile gets its box after this one.
    warning_open_ = true;
    timer_.Stop();
    try {
        while (!reports_.empty()) {
            const Text message = std::move(reports_.front());
            reports_.pop_front();
            warn_(message);
        }
    } catch (...) {
        warning_open_ = false;
        timer_.Start(NextDelay());
        throw;
    }
    warning_open_ = false;
    // Typing resumes from the message loop, never from inside the caller's call.
    if (!Waiting().empty() && !timer_.Pending()) {
        timer_.Start(NextDelay());
    }
}

}  // namespace corvanta
