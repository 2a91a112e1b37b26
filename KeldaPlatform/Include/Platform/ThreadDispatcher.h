#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Core/Variant.h"
#include "Platform/AsyncTask.h"
#include "Platform/AsyncTaskImpl.h"
#include "Platform/IThread.h"

namespace Platform::Threading::impl {

namespace details {
class ThreadContext;
}  // namespace details

// A handle on the thread that constructed it. Work posted to it runs on that thread, one item at a
// time in posting order, whenever the thread is in a pumping wait. It never owns or starts a thread.
// Safe for concurrent use: any thread may post to it and query it.
class ThreadDispatcher final : public Core::ObjectT<Interfaces::IThread> {
public:
    ThreadDispatcher();

    bool Start(Core::IErrorCode** error) override;
    bool Stop(Core::IErrorCode** error) override;
    bool _abi_Post(Interfaces::ThreadFunction fn, const Data::Structures::_VARIANT* argument,
                   Interfaces::IAsyncTask** task, Core::IErrorCode** error) const override;
    bool Reserved9(void* first, void* second, void* third, Core::IErrorCode** error) override;
    void Reserved10() override {}
    bool IsValid() override;
    void SetName(const char* name) override;
    const char* GetName() override { return name_.c_str(); }
    uint32_t GetThreadId() override { return threadId_; }
    void* GetHandle() override;
    bool SetTimeout(uint32_t value, Core::IErrorCode** error) override;
    bool HasTimeout() override { return false; }
    bool IsIdle() override { return pending_.load(std::memory_order_acquire) < 1; }

    // Posts work without a result and hands out its task. When the thread can take no more work
    // (it has ended), logs the failure and gives an empty task; never throws for that.
    AsyncTask Post(std::function<void()> work) const;
    // Posts work whose return value becomes the task's result unless the work set one itself.
    AsyncTask PostWork(std::function<Data::Variant()> work) const;

    // The runner's bookkeeping: one posted task has run (or never will).
    void FinishedOne() const { pending_.fetch_sub(1, std::memory_order_acq_rel); }

private:
    friend bool PostInternal(const ThreadDispatcher& dispatcher, AsyncData<ThreadDispatcher>* task);
    ~ThreadDispatcher() override;

    const std::string name_;                                // immutable: SetName names the thread only
    const std::shared_ptr<details::ThreadContext> thread_;  // immutable; the queue locks itself
    const uint32_t threadId_ = 0;                           // immutable
    mutable std::atomic<int32_t> pending_{0};               // atomic; posted and not yet run
};

// Queues a posted task on the dispatcher's thread; false when that thread can take no more work.
bool PostInternal(const ThreadDispatcher& dispatcher, AsyncData<ThreadDispatcher>* task);

// A dispatcher for the calling thread.
Core::Ptr<ThreadDispatcher> CreateThreadDispatcher();

}  // namespace Platform::Threading::impl

// The error-code form: a dispatcher for the calling thread.
bool Platform_CreateCurrentThread(Platform::Interfaces::IThread** thread, Core::IErrorCode** error);
