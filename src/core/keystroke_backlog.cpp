#include "core/keystroke_backlog.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace corvanta {

namespace {

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

}  // namespace

KeystrokeBacklog::KeystrokeBacklog(KeystrokeSender& keys, Timer& timer, std::function<void(TextView message)> warn)
    : keys_(keys), timer_(timer), warn_(std::move(warn)) {
    timer_.SetOnTimer([this] { TypeWaiting(); });
}

SendResult KeystrokeBacklog::SendKeys(TextView text) {
    const size_t room = kBacklogLimit - Waiting().size();
    size_t kept = std::min(text.size(), room);
    // Half a surrogate pair would type as garbage: the pair stays together or goes together.
    if (kept < text.size() && kept > 0 && IsHighSurrogate(text[kept - 1])) {
        --kept;
    }
    waiting_.append(text.substr(0, kept));

    // Typing already under way (a tick pending) keeps its pace; otherwise the text is typed right away.
    if (!timer_.Pending()) {
        TypeWaiting();
    }
    if (kept < text.size() && !overflow_reported_) {
        overflow_unreported_ = true;
    }
    ReportOverflow();
    return {text.size(), kept};
}

void KeystrokeBacklog::ReportOverflow() {
    if (!overflow_unreported_ || warning_open_) {
        return;
    }
    overflow_unreported_ = false;
    overflow_reported_ = true;
    Warn(
        u"More text arrived on the port than the window with the focus could take as keystrokes: over a "
        u"million characters were waiting to be typed. Text that arrives while so much is waiting is not typed.");
}

void KeystrokeBacklog::ReportRefusal(TextView message) {
    if (!refusal_reported_) {
        refusal_reported_ = true;
        Warn(message);
    }
}

void KeystrokeBacklog::TypeWaiting() {
    if (warning_open_) {
        // The report's box would get the keys; typing resumes when it closes.
        return;
    }
    if (!Waiting().empty() && keys_.OwnWindowHasFocus()) {
        timer_.Start(kOwnWindowDelayMs);
        return;
    }
    while (!Waiting().empty()) {
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
        }
        if (!Waiting().empty()) {
            // One block per turn of the message loop.
            timer_.Start(kNextBlockDelayMs);
            return;
        }
    }
    Compact();
    overflow_reported_ = false;
}

KeystrokeBacklog::Outcome KeystrokeBacklog::TypeBlock() {
    TextView block = Waiting().substr(0, kTypingBlock);
    if (block.size() < Waiting().size() && IsHighSurrogate(block.back())) {
        block.remove_suffix(1);
    }
    SendResult result;
    try {
        result = keys_.SendKeys(block);
    } catch (const std::exception&) {
        // Nothing was handed to the system: kept, like refused keystrokes, for the next try.
        return Outcome::kRefused;
    }
    if (result.events > 0 && result.accepted == 0) {
        return Outcome::kRefused;
    }
    // Events that went in were typed; which characters they belonged to is not known, so a partly typed block
    // is not typed again (that would double its start).
    next_ += block.size();
    Compact();
    return result.accepted < result.events ? Outcome::kPartlyTyped : Outcome::kTyped;
}

void KeystrokeBacklog::Compact() {
    if (next_ == waiting_.size()) {
        waiting_.clear();
        next_ = 0;
    } else if (next_ >= kTypingBlock * 64) {
        waiting_.erase(0, next_);
        next_ = 0;
    }
}

void KeystrokeBacklog::Warn(TextView message) {
    if (warning_open_ || !warn_) {
        return;
    }
    // The box runs a modal loop: bytes keep arriving and ticks keep coming meanwhile, and both only queue.
    warning_open_ = true;
    timer_.Stop();
    try {
        warn_(message);
    } catch (...) {
        warning_open_ = false;
        timer_.Start(kNextBlockDelayMs);
        throw;
    }
    warning_open_ = false;
    ReportOverflow();
    // Typing resumes from the message loop, never from inside the caller's call.
    if (!Waiting().empty() && !timer_.Pending()) {
        timer_.Start(kNextBlockDelayMs);
    }
}

}  // namespace corvanta
