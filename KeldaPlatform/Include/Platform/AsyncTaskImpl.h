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

// The state of one piece of work. State, result and error are written by whoever finishes the work
// (the runner, a network callback, Cancel); the completion event orders those writes before the
// reads of a waiter.
class AsyncTaskImpl : public Core::ObjectT<Interfaces::IAsyncTask> {
public:
    AsyncTaskImpl();

    void Cancel() override;
    bool Wait(uint32_t timeoutMs) override;
    bool WaitPumping(bool dispatchMessages) override;
    bool WaitDispatching() override;
    bool IsFinished() override;
    bool IsCancelled() override;
    bool IsFailed() override;
    const char* GetErrorMessage() override;
    uint32_t GetState() override { return state_.load(std::memory_order_acquire); }
    void SetResult(const Data::Structures::_VARIANT* value) override;
    void GetResult(Data::Structures::_VARIANT* out) override;
    void SetStatusCallback(Interfaces::IAsyncTaskStatusCallback* callback) override;
    void Signal() override { event_.Set(); }
    void SetState(uint32_t state) override;
    void SetError(const ErrorRecord& error) override;

    // Moves the state from expected to desired (and notifies) only when nothing changed it first.
    bool TrySetState(uint32_t expected, uint32_t desired);
    ErrorRecord GetError() const;

protected:
    ~AsyncTaskImpl() override;

private:
    void Notify();

    AlertableEvent event_;
    mutable std::mutex valueMutex_;  // result, error and callback; never held while calling out
    Data::Structures::_VARIANT result_;
    std::atomic<uint32_t> state_{Interfaces::TaskCreated};
    ErrorRecord error_;
    Core::Ptr<Interfaces::IAsyncTaskStatusCallback> callback_;
    // The outcome the current callback was last told of. A state can be announced twice (a cancel
    // request seen at registration and again by the runner; a registration racing the finishing
    // side), and a handler must not run twice for one outcome.
    uint32_t notified_ = 0;
};

// The task made by posting work to a dispatcher: the work and the dispatcher it runs on, both let
// go once the work has run (or will never run).
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
