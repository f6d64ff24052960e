#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "common/text.h"
#include "platform/clock.h"

namespace corvanta {

// What became of a record, as the log and the Monitor show it.
enum class RecordStatus : uint8_t {
    kTyped,
    kNoMatch,  // Extract found nothing (or gave up)
    kRepeat,   // RepeatGap held it back
    kHeld,     // an elevated window had the focus
    kTooLong,  // longer than Extract searches
    kNoReply,  // a row of its own: a request that got no record in time
    kWaiting,  // the Monitor only: still in the typing queue
};

// "typed", "no match", "repeat", "held", "too long", "no reply", "waiting".
Text StatusText(RecordStatus status);

// One row of the log and of the Monitor.
struct LogRow {
    LocalTime time;
    Text port;      // "COM3"
    Text received;  // ReceivedField of the record's bytes; empty for "no reply"
    Text typed;     // TypedField of the text typed, prefix and suffix included
    RecordStatus status = RecordStatus::kTyped;
    bool operator==(const LogRow&) const = default;
};

// Whether a row's status can still change: only a record whose text waits in the typing queue is not settled yet.
// It then becomes typed, or held when it had to wait for a window that runs with higher rights.
inline bool IsSettled(RecordStatus status) {
    return status != RecordStatus::kWaiting;
}

// The rows of the records the relay handles, and of requests that got no reply, as they come and as their status
// settles: the one source of the log and the Monitor. It keeps nothing itself; each listener keeps what it needs
// (the log writes a row once it is settled, the Monitor shows every change of its last rows).
class RecordJournal {
  public:
    using RowId = uint64_t;

    class Listener {
      public:
        virtual ~Listener() = default;
        virtual void RowAdded(RowId id, const LogRow& row) = 0;
        // The same row with its status (and what was typed) as it is now.
        virtual void RowChanged(RowId id, const LogRow& row) = 0;
    };

    // A listener is told of rows from now on, until it leaves; it outlives its attachment.
    void Attach(Listener& listener) { listeners_.push_back(&listener); }
    void Detach(Listener& listener) { std::erase(listeners_, &listener); }

    RowId Add(const LogRow& row) {
        const RowId id = next_++;
        Tell([&](Listener& listener) { listener.RowAdded(id, row); });
        return id;
    }

    void Change(RowId id, const LogRow& row) {
        Tell([&](Listener& listener) { listener.RowChanged(id, row); });
    }

  private:
    // A listener may leave while another is told (the Monitor closed from a report's message loop): each is told
    // only while it is still attached.
    template <typename Call>
    void Tell(Call call) {
        for (Listener* listener : std::vector<Listener*>(listeners_)) {
            if (std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end()) {
                call(*listener);
            }
        }
    }

    std::vector<Listener*> listeners_;
    RowId next_ = 1;
};

}  // namespace corvanta
