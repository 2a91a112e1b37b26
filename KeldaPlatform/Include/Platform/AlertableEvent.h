#pragma once
#include <memory>

#include "Platform/ThreadHelpers.h"

namespace Platform::Threading {

// A manual-reset event, created non-signalled, that pumping waits can wait on while they run the
// work posted to their thread. Safe for concurrent use: any thread may set it, test it and wait on it.
class AlertableEvent {
public:
    // Throws "Failed to create event!" (logged at FATAL) when the event cannot be made.
    AlertableEvent();
    ~AlertableEvent();
    AlertableEvent(const AlertableEvent&) = delete;
    AlertableEvent& operator=(const AlertableEvent&) = delete;

    // Signals the event and wakes every waiter.
    void Set();
    // Makes the event non-signalled again (events that are reused for one step after another).
    void Reset();
    // Whether Set has been called since the last Reset.
    bool IsSet() const;
    // What the wait routine waits on; owned by the event.
    Waitable* Handle() const { return waitable_.get(); }

private:
    std::unique_ptr<Waitable> waitable_;  // immutable after construction; synchronised inside
};

}  // namespace Platform::Threading
