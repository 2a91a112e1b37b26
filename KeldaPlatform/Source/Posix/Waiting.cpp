#include <algorithm>
#include <cerrno>
#include <chrono>
#include <new>

#include "Common/ThreadContext.h"
#include "Core/Log.h"
#include "Core/StringFormat.h"
#include "Platform/AlertableEvent.h"
#include "Platform/ErrorRecord.h"
#include "Platform/RichError.h"
#include "Platform/ThreadHelpers.h"

namespace Platform::Threading {
namespace impl::details {

// Owns the calling thread's context and closes it when the thread ends. The flag that tells a late
// caller (another thread-local destructor) that the context is gone must itself survive the end of
// the thread, so it is a plain bool without destructor.
struct ContextHolder {
    std::shared_ptr<ThreadContext> context;
    ~ContextHolder();
};

namespace {
thread_local bool contextGone = false;
thread_local ContextHolder holder;
}  // namespace

ContextHolder::~ContextHolder() {
    contextGone = true;
    if (context) {
        context->Close();
    }
}

std::shared_ptr<ThreadContext> ThreadContext::Current() {
    if (contextGone) {
        return nullptr;
    }
    if (!holder.context) {
        holder.context = std::make_shared<ThreadContext>();
    }
    return holder.context;
}

ThreadContext::ThreadContext() : threadId_(Backend::CurrentThreadId()), native_(Backend::CaptureCurrentThread()) {}

ThreadContext::~ThreadContext() = default;

bool ThreadContext::Queue(const WorkItem& item, int& error) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (closed_) {
            error = ESRCH;
            return false;
        }
        queue_.push_back(item);
    }
    wake.notify_all();
    return true;
}

bool ThreadContext::RunOne() {
    WorkItem item;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (queue_.empty()) {
            return false;
        }
        item = queue_.front();
        queue_.pop_front();
    }
    item.run(item.param);
    return true;
}

void ThreadContext::SetName(const char* name) {
    std::lock_guard<std::mutex> lock(mutex);
    // The native thread only exists until the context is closed at its end.
    if (!closed_ && native_) {
        native_->SetName(name);
    }
}

void ThreadContext::Wake() {
    std::lock_guard<std::mutex> lock(mutex);
    wake.notify_all();
}

void ThreadContext::Close() {
    std::deque<WorkItem> orphans;
    {
        std::lock_guard<std::mutex> lock(mutex);
        closed_ = true;
        orphans.swap(queue_);
    }
    for (const WorkItem& item : orphans) {
        item.discard(item.param);
    }
}

}  // namespace impl::details

// The stand-in waits on a condition variable: there is no system event object.
Waitable::Waitable() = default;
Waitable::~Waitable() = default;

void Waitable::Set() {
    std::lock_guard<std::mutex> lock(mutex_);
    set_.store(true, std::memory_order_release);
    changed_.notify_all();
    // A pumping waiter checks the flag under its context's lock before it sleeps, so notifying under
    // that lock cannot slip in between its check and its sleep.
    for (impl::details::ThreadContext* waiter : waiters_) {
        waiter->Wake();
    }
}

void Waitable::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    set_.store(false, std::memory_order_release);
}

bool Waitable::WaitPlain(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto signalled = [this] { return set_.load(std::memory_order_acquire); };
    if (timeoutMs == kInfinite) {
        changed_.wait(lock, signalled);
        return true;
    }
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), signalled);
}

void Waitable::AddWaiter(impl::details::ThreadContext* context) {
    std::lock_guard<std::mutex> lock(mutex_);
    waiters_.push_back(context);
}

void Waitable::RemoveWaiter(impl::details::ThreadContext* context) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find(waiters_.begin(), waiters_.end(), context);
    if (it != waiters_.end()) {
        waiters_.erase(it);
    }
}

AlertableEvent::AlertableEvent() : waitable_(new (std::nothrow) Waitable) {
    if (!waitable_) {
        ErrorRecord record = ErrorRecord::FromMessage("Failed to create event!");
        record.function = "Platform::Threading::AlertableEvent::AlertableEvent";
        record.file = __FILE__;
        record.line = __LINE__;
        RichError::Raise(record);
    }
}

AlertableEvent::~AlertableEvent() = default;

void AlertableEvent::Set() {
    waitable_->Set();
}

void AlertableEvent::Reset() {
    waitable_->Reset();
}

bool AlertableEvent::IsSet() const {
    return waitable_->IsSet();
}

namespace ThreadHelpers {
namespace {

constexpr const char* kWaitFunction = "Platform::Threading::ThreadHelpers::WaitForSingleObject";

class WaiterRegistration {
public:
    WaiterRegistration(Waitable* waitable, impl::details::ThreadContext* context)
        : waitable_(waitable), context_(context) {
        waitable_->AddWaiter(context_);
    }
    ~WaiterRegistration() { waitable_->RemoveWaiter(context_); }
    WaiterRegistration(const WaiterRegistration&) = delete;
    WaiterRegistration& operator=(const WaiterRegistration&) = delete;

private:
    Waitable* waitable_;
    impl::details::ThreadContext* context_;
};

// One system wait in the alertable state: ends when work has been queued to the thread (it is then
// run, and a new wait begins with the full time-out), when the handle is signalled, or on time-out.
// Work that is already queued runs before a signalled handle is noticed.
bool PumpingWait(Waitable* handle, uint32_t timeoutMs) {
    std::shared_ptr<impl::details::ThreadContext> context = impl::details::ThreadContext::Current();
    if (!context) {
        // A thread in its last moments has no queue left to pump.
        return handle->WaitPlain(timeoutMs);
    }
    WaiterRegistration registration(handle, context.get());
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(context->mutex);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
            for (;;) {
                if (context->HasWorkLocked()) {
                    break;
                }
                if (handle->IsSet()) {
                    return true;
                }
                if (timeoutMs == kInfinite) {
                    context->wake.wait(lock);
                } else if (context->wake.wait_until(lock, deadline) == std::cv_status::timeout &&
                           !context->HasWorkLocked() && !handle->IsSet()) {
                    return false;
                }
            }
        }
        while (context->RunOne()) {
        }
    }
}

}  // namespace

bool WaitForSingleObject(Waitable* handle, uint32_t timeoutMs, bool pumpMessages, bool /*dispatchMessages*/) {
    try {
        if (handle == nullptr) {
            Core::LogMessage(Core::LogError, kWaitFunction, __FILE__, __LINE__,
                             Core::StringFormat("Wait failed! [%d]: %s", EINVAL,
                                                RichError::Text(RichError::Family::Errno, EINVAL).c_str())
                                 .c_str());
            return false;
        }
        if (!pumpMessages) {
            return handle->WaitPlain(timeoutMs);
        }
        return PumpingWait(handle, timeoutMs);
    } catch (...) {
        // Nothing that goes wrong inside a wait may unwind into the waiting code.
        try {
            Core::LogMessage(
                Core::LogError, kWaitFunction, __FILE__, __LINE__,
                Core::StringFormat("Unknown SEH Exception! [Tid: %d]", static_cast<int>(Backend::CurrentThreadId()))
                    .c_str());
        } catch (...) {
        }
        return false;
    }
}

}  // namespace ThreadHelpers
}  // namespace Platform::Threading
