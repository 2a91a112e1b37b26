#include <exception>

#include "Core/Log.h"
#include "Platform/AsyncTaskImpl.h"
#include "Platform/ThreadHelpers.h"

namespace Platform::Threading::impl {

using Data::Structures::_VARIANT;
using Data::Structures::VariantClear;
using Data::Structures::VariantCopy;

namespace {

enum Outcome : uint32_t { OutcomeNone, OutcomeFailed, OutcomeCompleted, OutcomeCancelled };

// Failed is tested before finished, and finished before cancelled.
uint32_t OutcomeOf(uint32_t state) {
    if (state == Interfaces::TaskFailed) {
        return OutcomeFailed;
    }
    if (state == Interfaces::TaskCompleted) {
        return OutcomeCompleted;
    }
    if (state == Interfaces::TaskCancelRequested || state == Interfaces::TaskCancelled) {
        return OutcomeCancelled;
    }
    return OutcomeNone;
}

_VARIANT NullRecord() {
    _VARIANT record{};
    record.type = Data::Structures::VT_Null;
    return record;
}

}  // namespace

AsyncTaskImpl::AsyncTaskImpl() : result_(NullRecord()) {}

AsyncTaskImpl::~AsyncTaskImpl() {
    VariantClear(&result_);
}

void AsyncTaskImpl::Cancel() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_.store(Interfaces::TaskCancelRequested, std::memory_order_release);
    }
    SetResult(nullptr);
    event_.Set();
}

bool AsyncTaskImpl::Wait(uint32_t timeoutMs) {
    return ThreadHelpers::WaitForSingleObject(event_.Handle(), timeoutMs, false, false);
}

bool AsyncTaskImpl::WaitPumping(bool dispatchMessages) {
    return ThreadHelpers::WaitForSingleObject(event_.Handle(), kInfinite, true, dispatchMessages);
}

bool AsyncTaskImpl::WaitDispatching() {
    return ThreadHelpers::WaitForSingleObject(event_.Handle(), kInfinite, true, true);
}

bool AsyncTaskImpl::IsFinished() {
    const uint32_t state = GetState();
    return state == Interfaces::TaskCompleted || state == Interfaces::TaskFailed;
}

bool AsyncTaskImpl::IsCancelled() {
    const uint32_t state = GetState();
    return state == Interfaces::TaskCancelRequested || state == Interfaces::TaskCancelled;
}

bool AsyncTaskImpl::IsFailed() {
    return GetState() == Interfaces::TaskFailed;
}

const char* AsyncTaskImpl::GetErrorMessage() {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_.message.c_str();
}

void AsyncTaskImpl::SetResult(const _VARIANT* value) {
    _VARIANT incoming = NullRecord();
    if (value != nullptr) {
        VariantCopy(&incoming, value);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::swap(incoming, result_);
    }
    // The previous result may hold the last reference to an object whose destruction calls back.
    VariantClear(&incoming);
}

void AsyncTaskImpl::GetResult(_VARIANT* out) {
    if (out == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    VariantCopy(out, &result_);
}

void AsyncTaskImpl::SetStatusCallback(Interfaces::IAsyncTaskStatusCallback* callback) {
    Core::Ptr<Interfaces::IAsyncTaskStatusCallback> incoming(callback);
    Notification notification;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        incoming.Swap(callback_);
        told_ = false;
        notification = TakeNotificationLocked();
    }
    // The previous callback may die here, and its destruction may call out: not under the lock.
    incoming.Reset();
    Deliver(notification);
}

void AsyncTaskImpl::SetState(uint32_t state) {
    Notification notification;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_.store(state, std::memory_order_release);
        notification = TakeNotificationLocked();
    }
    Deliver(notification);
}

bool AsyncTaskImpl::TrySetState(uint32_t expected, uint32_t desired) {
    Notification notification;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!state_.compare_exchange_strong(expected, desired, std::memory_order_acq_rel)) {
            return false;
        }
        notification = TakeNotificationLocked();
    }
    Deliver(notification);
    return true;
}

void AsyncTaskImpl::SetError(const ErrorRecord& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    error_ = error;
}

ErrorRecord AsyncTaskImpl::GetError() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

AsyncTaskImpl::Notification AsyncTaskImpl::TakeNotificationLocked() {
    const uint32_t outcome = OutcomeOf(state_.load(std::memory_order_relaxed));
    if (!callback_ || told_ || outcome == OutcomeNone) {
        return {};
    }
    told_ = true;
    return {callback_, outcome};
}

void AsyncTaskImpl::Deliver(const Notification& notification) {
    if (!notification.callback) {
        return;
    }
    try {
        if (notification.outcome == OutcomeFailed) {
            notification.callback->OnFailed(this);
        } else if (notification.outcome == OutcomeCompleted) {
            notification.callback->OnCompleted(this);
        } else {
            notification.callback->OnCancelled(this);
        }
    } catch (const std::exception& e) {
        // A state change must not fail because its observer could not be told.
        Core::Log(Core::LogError, e.what());
    }
}

}  // namespace Platform::Threading::impl
