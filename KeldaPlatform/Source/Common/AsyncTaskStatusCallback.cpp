#include "Platform/AsyncTaskStatusCallback.h"

#include "Core/ErrorCode.h"

namespace Platform::Threading::impl {

AsyncTaskStatusCallbackImpl::AsyncTaskStatusCallbackImpl(FailedHandler failed, CompletedHandler completed,
                                                         CancelledHandler cancelled)
    : failed_(std::move(failed)),
      completed_(std::move(completed)),
      cancelled_(std::move(cancelled)),
      dispatcher_(CreateThreadDispatcher()) {}

void AsyncTaskStatusCallbackImpl::OnCompleted(Interfaces::IAsyncTask* task) {
    if (!completed_) {
        return;
    }
    Core::Ptr<AsyncTaskStatusCallbackImpl> self(this);
    Core::Ptr<Interfaces::IAsyncTask> target(task);
    dispatcher_->Post([self, target] {
        Data::Variant result;
        target->GetResult(result.Receive());
        self->completed_(AsyncTask(target), result);
        target->SetStatusCallback(nullptr);
    });
}

void AsyncTaskStatusCallbackImpl::OnFailed(Interfaces::IAsyncTask* task) {
    if (!failed_) {
        return;
    }
    Core::Ptr<AsyncTaskStatusCallbackImpl> self(this);
    Core::Ptr<Interfaces::IAsyncTask> target(task);
    dispatcher_->Post([self, target] {
        Core::ErrorCode error(Core::MakeErrorCode(Core::kErrorCodeException, target->GetErrorMessage()));
        self->failed_(AsyncTask(target), error);
        target->SetStatusCallback(nullptr);
    });
}

void AsyncTaskStatusCallbackImpl::OnCancelled(Interfaces::IAsyncTask* task) {
    if (!cancelled_) {
        return;
    }
    Core::Ptr<AsyncTaskStatusCallbackImpl> self(this);
    Core::Ptr<Interfaces::IAsyncTask> target(task);
    dispatcher_->Post([self, target] {
        self->cancelled_(AsyncTask(target));
        target->SetStatusCallback(nullptr);
        target->SetResult(nullptr);
    });
}

}  // namespace Platform::Threading::impl
