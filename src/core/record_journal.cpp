#include "core/record_journal.h"

namespace corvanta {

Text StatusText(RecordStatus status) {
    switch (status) {
        case RecordStatus::kTyped:
            return u"typed";
        case RecordStatus::kNoMatch:
            return u"no match";
        case RecordStatus::kRepeat:
            return u"repeat";
        case RecordStatus::kHeld:
            return u"held";
        case RecordStatus::kTooLong:
            return u"too long";
        case RecordStatus::kNoReply:
            return u"no reply";
        case RecordStatus::kWaiting:
            return u"waiting";
    }
    return u"?";
}

}  // namespace corvanta
