#pragma once
#include <functional>

#include "Core/ErrorCode.h"
#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Core/Variant.h"
#include "Platform/AsyncTask.h"
#include "Platform/IAsyncTask.h"
#include "Platform/ThreadDispatcher.h"

namespace Platform::Threading::impl {

// Carries a task's end back to the thread that created the callback: each handler is posted there
// and runs during that thread's next pumping wait. Handlers left empty post nothing. Safe for
// concurrent use: it does not change after construction, tasks may tell it from any thread, and its
// handlers run only on the creating thread.
class AsyncTaskStatusCallbackImpl final : public Core::ObjectT<Interfaces::IAsyncTaskStatusCallback> {
public:
    using FailedHandler = std::function<void(AsyncTask, Core::ErrorCode)>;
    using CompletedHandler = std::function<void(AsyncTask, Data::Variant)>;
    using CancelledHandler = std::function<void(AsyncTask)>;

    // Binds the callback to the calling thread; any handler may be empty.
    AsyncTaskStatusCallbackImpl(FailedHandler failed, CompletedHandler completed, CancelledHandler cancelled);

    // Each posts its handler (holding the callback and the task) to the creating thread; the handler
    // then clears the task's callback. Never blocks.
    void OnFailed(Interfaces::IAsyncTask* task) override;
    void OnReserved(Interfaces::IAsyncTask*) override {}
    void OnCompleted(Interfaces::IAsyncTask* task) override;
    void OnCancelled(Interfaces::IAsyncTask* task) override;

private:
    ~AsyncTaskStatusCallbackImpl() override = default;

    // All immutable after construction.
    const FailedHandler failed_;
    const CompletedHandler completed_;
    const CancelledHandler cancelled_;
    const Core::Ptr<ThreadDispatcher> dispatcher_;
};

}  // namespace Platform::Threading::impl
