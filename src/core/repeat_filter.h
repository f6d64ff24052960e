#pragma once

#include <cstdint>
#include <optional>

#include "common/text.h"
#include "platform/clock.h"

namespace corvanta {

// The RepeatGap value: a record whose kept text equals the previous record's and arrives less than the gap after
// it is not typed, as when an RFID reader repeats a tag for as long as it is held. The previous record is the
// last one that kept a text, typed or not: a tag held for a minute is typed once however often it repeats, and
// records that kept nothing (no match, too long) are not compared. 0 is off.
class RepeatFilter {
  public:
    explicit RepeatFilter(const Clock& clock) : clock_(clock) {}

    // From the next record on.
    void SetGap(uint32_t gap_ms) { gap_ms_ = gap_ms; }

    // Whether a record that kept this text, arriving now, repeats the previous one. Either way it becomes the
    // previous record.
    bool IsRepeat(TextView kept);

  private:
    const Clock& clock_;
    uint32_t gap_ms_ = 0;
    std::optional<Text> previous_;
    uint64_t previous_at_ = 0;
};

// The RepeatGap value, checked: 0 (off) or 1 to 3600000 ms. Throws Error saying why otherwise.
uint32_t CheckRepeatGap(uint32_t gap_ms);

}  // namespace corvanta
