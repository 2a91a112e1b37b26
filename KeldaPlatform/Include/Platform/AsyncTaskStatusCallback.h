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
// and runs during that thread's next pumping wait. Handlers left empty post nothing.
class AsyncTaskStatusCallbackImpl final : public Core::ObjectT<Interfaces::IAsyncTaskStatusCallback> {
public:
    using FailedHandler = std::function<void(AsyncTask, Core::ErrorCode)>;
    using CompletedHandler = std::function<void(AsyncTask, Data::Variant)>;
    using CancelledHandler = std::function<void(AsyncTask)>;

    AsyncTaskStatusCallbackImpl(FailedHandler failed, CompletedHandler completed, CancelledHandler cancelled);

    void OnFailed(Interfaces::IAsyncTask* task) override;
    void OnReserved(Interfaces::IAsyncTask*) override {}
    void OnCompleted(Interfaces::IAsyncTask* task) override;
    void OnCancelled(Interfaces::IAsyncTask* task) override;

private:
    ~AsyncTaskStatusCallbackImpl() override = default;

    FailedHandler failed_;
    CompletedHandler completed_;
    CancelledHandler cancelled_;
    Core::Ptr<ThreadDispatcher> dispatcher_;
};

}  // namespace Platform::Threading::impl
