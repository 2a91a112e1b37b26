#include "Platform/ThreadDispatcher.h"

#include <cerrno>
#include <exception>
#include <stdexcept>

#include "Backend.h"
#include "Core/Guard.h"
#include "Core/IAppLogger.h"
#include "Core/Log.h"
#include "Core/StringFormat.h"
#include "Core/TypeName.h"
#include "ThreadContext.h"

namespace Platform::Threading::impl {

using Task = AsyncData<ThreadDispatcher>;

namespace details {
namespace {

constexpr const char* kRunnerFunction = "Platform::Threading::impl::details::Impl_ThreadworkCallback";

// Lets go of everything a posted task holds once its work has run or never will: the dispatcher's
// count, the dispatcher, waiters, the work, the callback and the queue's reference.
void ReleaseQueuedTask(Task* task, bool counted) {
    if (Core::Ptr<ThreadDispatcher> dispatcher = task->TakeDispatcher()) {
        if (counted) {
            dispatcher->FinishedOne();
        }
    }
    task->Signal();
    task->DropWork();
    task->SetStatusCallback(nullptr);
    task->Release();
}

}  // namespace

// Runs one posted task on the dispatcher's thread.
void Impl_ThreadworkCallback(void* param) {
    auto* task = static_cast<Task*>(param);
    // Starting is a step from the state just read: a cancel request that arrives in between must be
    // honoured, not overwritten, and so must the poster's own step from Created to Queued be.
    uint32_t state = task->GetState();
    bool started = false;
    while (!started && (state == Interfaces::TaskCreated || state == Interfaces::TaskQueued)) {
        started = task->TrySetState(state, Interfaces::TaskRunning);
        state = task->GetState();
    }
    if (!started) {
        if (state == Interfaces::TaskCancelRequested) {
            task->TrySetState(Interfaces::TaskCancelRequested, Interfaces::TaskCancelled);
        }
    } else {
        try {
            Data::Variant value = task->Work()();
            task->SetError(ErrorRecord::None());
            Data::Variant current;
            task->GetResult(current.Receive());
            // Work that stored a result of its own keeps it.
            if (current.Type() == Data::Structures::VT_Null) {
                task->SetResult(&value.Raw());
            }
            task->SetState(Interfaces::TaskCompleted);
        } catch (const std::exception& e) {
            task->SetError(ErrorRecord::FromMessage(e.what()));
            task->SetState(Interfaces::TaskFailed);
        } catch (...) {
            ErrorRecord record = ErrorRecord::FromMessage(Core::StringFormat(
                "Unknown Exception in Async Task: (Tid: %d)", static_cast<int>(Backend::CurrentThreadId())));
            record.function = kRunnerFunction;
            record.file = "KeldaPlatform/Include/Platform/Threading";
            task->SetError(record);
            task->SetState(Interfaces::TaskFailed);
        }
    }
    ReleaseQueuedTask(task, true);
}

// A posted task whose thread ended before it ran: its waiters are released, its state is left.
void DiscardThreadwork(void* param) {
    ReleaseQueuedTask(static_cast<Task*>(param), true);
}

// A task that could not be queued: the dispatcher's count was already given back.
void AbandonThreadwork(Task* task) {
    ReleaseQueuedTask(task, false);
}

}  // namespace details

bool PostInternal(const ThreadDispatcher& dispatcher, Task* task) {
    dispatcher.pending_.fetch_add(1, std::memory_order_acq_rel);
    int error = ESRCH;
    if (dispatcher.thread_ &&
        dispatcher.thread_->Queue({details::Impl_ThreadworkCallback, details::DiscardThreadwork, task}, error)) {
        return true;
    }
    dispatcher.pending_.fetch_sub(1, std::memory_order_acq_rel);
    Core::LogMessage(
        Core::LogError, "Platform::Threading::impl::details::PostInternal", __FILE__, __LINE__,
        Core::StringFormat("QueueUserAPC Error: %d, Thread: [%s] (Posting from %d to %d)", error, "ThreadDispatcher",
                           static_cast<int>(Backend::CurrentThreadId()), static_cast<int>(dispatcher.threadId_))
            .c_str());
    if (Core::Ptr<Interfaces::IAppLogger> logger = Core::GetAppLoggerInstance()) {
        logger->LogStackTrace(2, 64);
    }
    return false;
}

ThreadDispatcher::ThreadDispatcher() : thread_(details::ThreadContext::Current()) {}

ThreadDispatcher::~ThreadDispatcher() = default;

bool ThreadDispatcher::Start(Core::IErrorCode** error) {
    return Core::AbiGuard(error, [] {
        throw std::runtime_error(
            "This thread was consumed. Thread start/stop functions work only on created and owned threads.");
    });
}

bool ThreadDispatcher::Stop(Core::IErrorCode** error) {
    return Start(error);
}

bool ThreadDispatcher::Reserved9(void*, void*, void*, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [] { throw std::runtime_error("Function not implemented"); });
}

bool ThreadDispatcher::SetTimeout(uint32_t, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [] {
        throw std::runtime_error(
            "This thread was consumed. Thread timeout functions work only on created and owned threads.");
    });
}

bool ThreadDispatcher::IsValid() {
    return thread_ && thread_->ThreadId() != 0;
}

void ThreadDispatcher::SetName(const char* name) {
    if (name == nullptr || !thread_) {
        return;
    }
    thread_->SetName(name);
}

void* ThreadDispatcher::GetHandle() {
    // The system's thread handle where there is one; otherwise the thread's queue names it.
    void* handle = thread_ ? thread_->SystemHandle() : nullptr;
    return handle != nullptr ? handle : thread_.get();
}

AsyncTask ThreadDispatcher::Post(std::function<void()> work) const {
    return PostWork([work = std::move(work)]() -> Data::Variant {
        work();
        return Data::Variant();
    });
}

AsyncTask ThreadDispatcher::PostWork(std::function<Data::Variant()> work) const {
    Core::Ptr<Task> task =
        Core::MakeObject<Task>(std::move(work), Core::Ptr<ThreadDispatcher>(const_cast<ThreadDispatcher*>(this)));
    Task* queued = task.GetUnchecked();
    queued->AddReference();  // the queue's own
    if (PostInternal(*this, queued)) {
        queued->TrySetState(Interfaces::TaskCreated, Interfaces::TaskQueued);
        return AsyncTask(std::move(task));
    }
    details::AbandonThreadwork(queued);
    return AsyncTask();
}

bool ThreadDispatcher::_abi_Post(Interfaces::ThreadFunction fn, const Data::Structures::_VARIANT* argument,
                                 Interfaces::IAsyncTask** task, Core::IErrorCode** error) const {
    return Core::AbiGuard(error, [&] {
        if (fn == nullptr) {
            throw std::runtime_error("Pointer of " +
                                     Core::TypeName<std::remove_pointer_t<Interfaces::ThreadFunction>>() +
                                     " must not be null!");
        }
        Core::CheckOut(task);
        if (argument != nullptr && Data::Structures::VariantTypeCode(*argument) > Data::Structures::VT_Reserved) {
            throw std::runtime_error(
                "Variant type is undefined! Did you forget to zero out the VARIANT structure? It appears "
                "uninitialized!");
        }
        Data::Variant copy = argument != nullptr ? Data::Variant(*argument) : Data::Variant();
        AsyncTask posted = Post([fn, copy] {
            Core::IErrorCode* failure = nullptr;
            fn(&copy.Raw(), &failure);
            if (failure != nullptr) {
                Core::Ptr<Core::IErrorCode> owned = Core::Ptr<Core::IErrorCode>::Adopt(failure);
                Core::LogMessage(Core::LogError,
                                 "Platform::Threading::impl::ThreadDispatcher::_abi_Post::<lambda_1>::()::<lambda_1>::"
                                 "operator ()",
                                 __FILE__, __LINE__,
                                 std::string(owned->GetMessage(), owned->GetMessageLength()).c_str());
            }
        });
        *task = Core::Ptr<Interfaces::IAsyncTask>(posted.Get()).Detach();
    });
}

Core::Ptr<ThreadDispatcher> CreateThreadDispatcher() {
    return Core::MakeObject<ThreadDispatcher>();
}

}  // namespace Platform::Threading::impl

bool Platform_CreateCurrentThread(Platform::Interfaces::IThread** thread, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(thread);
        Core::HandOut(Platform::Threading::impl::CreateThreadDispatcher(), thread);
    });
}
