#pragma once
#include <memory>

#include "Platform/ThreadHelpers.h"

namespace Platform::Threading {

// A manual-reset event, created non-signalled, that pumping waits can wait on while they run the
// work posted to their thread.
class AlertableEvent {
public:
    AlertableEvent();
    ~AlertableEvent();
    AlertableEvent(const AlertableEvent&) = delete;
    AlertableEvent& operator=(const AlertableEvent&) = delete;

    void Set();
    // Makes the event non-signalled again (events that are reused for one step after another).
    void Reset();
    bool IsSet() const;
    // What the wait routine waits on.
    Waitable* Handle() const { return waitable_.get(); }

private:
    std::unique_ptr<Waitable> waitable_;
};

}  // namespace Platform::Threading
