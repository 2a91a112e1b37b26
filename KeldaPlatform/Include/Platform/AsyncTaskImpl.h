#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Core/Variant.h"
#include "Platform/AlertableEvent.h"
#include "Platform/ErrorRecord.h"
#include "Platform/IAsyncTask.h"

namespace Platform::Threading::impl {

// The state of one piece of work. Safe for concurrent use without outside locking: whoever finishes
// the work (the runner, a network callback, Cancel) writes state, result and error while others wait,
// poll or register callbacks; the completion event orders those writes before a waiter's reads.
class AsyncTaskImpl : public Core::ObjectT<Interfaces::IAsyncTask> {
public:
    AsyncTaskImpl();

    // Moves to CancelRequested without telling the callback, clears the result and releases waiters.
    void Cancel() override;
    // Plain wait on the completion event; true when it was set within timeoutMs.
    bool Wait(uint32_t timeoutMs) override;
    // Waits without limit, running the work posted to the calling thread meanwhile.
    bool WaitPumping(bool dispatchMessages) override;
    bool WaitDispatching() override;
    bool IsFinished() override;
    bool IsCancelled() override;
    bool IsFailed() override;
    // The error's message; the text stays valid until the next SetError.
    const char* GetErrorMessage() override;
    uint32_t GetState() override { return state_.load(std::memory_order_acquire); }
    // Copies value in (null: Null); the previous result is released outside the lock.
    void SetResult(const Data::Structures::_VARIANT* value) override;
    // Copies the result into out, which the caller owns and clears.
    void GetResult(Data::Structures::_VARIANT* out) override;
    // Replaces the callback (null: none) and tells the new one at once when the task has already
    // failed, completed or been cancelled. Each callback hears of the task at most once.
    void SetStatusCallback(Interfaces::IAsyncTaskStatusCallback* callback) override;
    void Signal() override { event_.Set(); }
    // Stores the state and tells the callback when it is an outcome it has not heard of yet.
    void SetState(uint32_t state) override;
    void SetError(const ErrorRecord& error) override;

    // Moves the state from expected to desired (and notifies) only when nothing changed it first.
    bool TrySetState(uint32_t expected, uint32_t desired);
    // A copy of the error record.
    ErrorRecord GetError() const;

protected:
    ~AsyncTaskImpl() override;

private:
    // What a state change or a registration owes the callback, delivered after the lock is let go.
    struct Notification {
        Core::Ptr<Interfaces::IAsyncTaskStatusCallback> callback;
        uint32_t outcome = 0;
    };
    Notification TakeNotificationLocked();
    void Deliver(const Notification& notification);

    AlertableEvent event_;
    // Never held while calling out. A state change and a registration both decide under it whether
    // the callback is owed a notification, so that neither can slip between the other's steps.
    mutable std::mutex mutex_;
    Data::Structures::_VARIANT result_;                         // guarded by mutex_
    std::atomic<uint32_t> state_{Interfaces::TaskCreated};      // written under mutex_; read freely
    ErrorRecord error_;                                         // guarded by mutex_
    Core::Ptr<Interfaces::IAsyncTaskStatusCallback> callback_;  // guarded by mutex_
    // Whether the current callback has been told of an outcome (guarded by mutex_). A task can pass
    // through two outcomes (a cancel request, then completion of work that was already running);
    // a callback hears only the first it meets.
    bool told_ = false;
};

// The task made by posting work to a dispatcher: the work and the dispatcher it runs on, both let
// go once the work has run (or will never run). Its task operations are safe for concurrent use;
// Work, DropWork and TakeDispatcher belong to the one thread that runs or abandons the task.
template <class Dispatcher>
class AsyncData final : public AsyncTaskImpl {
public:
    AsyncData(std::function<Data::Variant()> work, Core::Ptr<Dispatcher> dispatcher)
        : work_(std::move(work)), dispatcher_(std::move(dispatcher)) {}

    std::function<Data::Variant()>& Work() { return work_; }
    void DropWork() { std::function<Data::Variant()>().swap(work_); }
    Core::Ptr<Dispatcher> TakeDispatcher() { return std::move(dispatcher_); }

private:
    ~AsyncData() override = default;

    std::function<Data::Variant()> work_;
    Core::Ptr<Dispatcher> dispatcher_;
};

}  // namespace Platform::Threading::impl
