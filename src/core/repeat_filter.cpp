#include "core/repeat_filter.h"

#include <string>

namespace corvanta {

namespace {

constexpr uint32_t kMaxRepeatGapMs = 3'600'000;

}  // namespace

bool RepeatFilter::IsRepeat(TextView kept) {
    const uint64_t now = clock_.Milliseconds();
    const bool repeat = gap_ms_ > 0 && previous_ && *previous_ == kept && now - previous_at_ < gap_ms_;
    previous_ = Text(kept);
    previous_at_ = now;
    return repeat;
}

uint32_t CheckRepeatGap(uint32_t gap_ms) {
    if (gap_ms > kMaxRepeatGapMs) {
        throw Error(AsciiText(std::to_string(gap_ms) + " ms is more than " + std::to_string(kMaxRepeatGapMs)));
    }
    return gap_ms;
}

}  // namespace corvanta
