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

    // Wakes the owning thread's pumping wait.
    void Wake();

    std::mutex mutex;
    std::condition_variable wake;
    bool HasWorkLocked() const { return !queue_.empty(); }

private:
    friend struct ContextHolder;
    // The thread is ending: no more work is taken, and what is queued is discarded.
    void Close();

    std::deque<WorkItem> queue_;
    bool closed_ = false;
    uint32_t threadId_;
    std::unique_ptr<Backend::NativeThread> native_;
};

}  // namespace impl::details

// A manual-reset signal that plain waits and pumping waits can wait on.
class Waitable {
public:
    void Set();
    void Reset();
    bool IsSet() const { return set_.load(std::memory_order_acquire); }
    bool WaitPlain(uint32_t timeoutMs);
    void AddWaiter(impl::details::ThreadContext* context);
    void RemoveWaiter(impl::details::ThreadContext* context);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::atomic<bool> set_{false};
    std::vector<impl::details::ThreadContext*> waiters_;  // pumping waits of other threads' contexts
};

}  // namespace Platform::Threading
