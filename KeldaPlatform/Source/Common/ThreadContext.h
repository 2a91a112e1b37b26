#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "Backend.h"

namespace Platform::Threading {

namespace impl::details {

// One piece of posted work: run on the owning thread during a pumping wait, or discarded when the
// thread ends before it got to run.
struct WorkItem {
    void (*run)(void* param) = nullptr;
    void (*discard)(void* param) = nullptr;
    void* param = nullptr;
};

// The queue of work posted to one thread. Only pumping waits of that thread take work from it.
// Safe for concurrent use: any thread may queue work and wake the owner.
class ThreadContext {
public:
    // The calling thread's context, made on first use; null while the thread is ending.
    static std::shared_ptr<ThreadContext> Current();

    ThreadContext();
    ~ThreadContext();
    ThreadContext(const ThreadContext&) = delete;
    ThreadContext& operator=(const ThreadContext&) = delete;

    // Appends work; false with an error number once the thread has ended.
    bool Queue(const WorkItem& item, int& error);
    // Runs the oldest queued item outside the lock; false when there was none.
    bool RunOne();
    void SetName(const char* name);
    uint32_t ThreadId() const { return threadId_; }
    // The system's handle of the thread, or null where the system has none.
    void* SystemHandle() const { return native_ ? native_->SystemHandle() : nullptr; }

    // Wakes the owning thread's pumping wait.
    void Wake();

    // Guards the queue, the closed flag and the native thread; the owner's pumping wait sleeps on
    // wake under it.
    std::mutex mutex;
    std::condition_variable wake;
    // Caller holds mutex.
    bool HasWorkLocked() const { return !queue_.empty(); }

private:
    friend struct ContextHolder;
    // The thread is ending: no more work is taken, and what is queued is discarded.
    void Close();

    std::deque<WorkItem> queue_;                     // guarded by mutex
    bool closed_ = false;                            // guarded by mutex
    const uint32_t threadId_;                        // immutable
    std::unique_ptr<Backend::NativeThread> native_;  // guarded by mutex
};

}  // namespace impl::details

// A manual-reset signal that plain waits and pumping waits can wait on. Safe for concurrent use.
class Waitable {
public:
    Waitable();
    ~Waitable();
    Waitable(const Waitable&) = delete;
    Waitable& operator=(const Waitable&) = delete;

    // The system's event object behind this signal where the backend waits on one (Windows), else
    // null; owned by this object.
    void* NativeEvent() const { return event_; }
    void Set();
    void Reset();
    bool IsSet() const { return set_.load(std::memory_order_acquire); }
    bool WaitPlain(uint32_t timeoutMs);
    void AddWaiter(impl::details::ThreadContext* context);
    void RemoveWaiter(impl::details::ThreadContext* context);

private:
    std::mutex mutex_;
    std::condition_variable changed_;  // plain waits sleep on it under mutex_
    // Written under mutex_; pumping waits read it under their own context's lock, which Set takes
    // after writing it.
    std::atomic<bool> set_{false};
    std::vector<impl::details::ThreadContext*> waiters_;  // guarded by mutex_; contexts of pumping waits
    void* event_ = nullptr;                               // immutable after construction
};

}  // namespace Platform::Threading
