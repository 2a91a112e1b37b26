// Posted work as asynchronous procedure calls, events as Win32 events, and the one wait of the
// platform layer as an alertable, optionally message-pumping wait.
#include "Win32.h"

#include <memory>
#include <new>

#include "Common/ThreadContext.h"
#include "Core/Log.h"
#include "Core/StringFormat.h"
#include "NativeThread.h"
#include "Platform/AlertableEvent.h"
#include "Platform/ErrorRecord.h"
#include "Platform/RichError.h"
#include "Platform/ThreadHelpers.h"

namespace Platform::Threading {
namespace impl::details {

// The calling thread's context lives in a fiber-local slot, whose callback closes it when the thread
// ends. C++ thread_local objects with destructors are not used here: mingw-w64 may free their
// storage before their destructors run at the end of a thread. A closed thread's slot holds kGone,
// so that late callers (destructors of other thread-locals) find no context instead of a new one.
struct ContextHolder {
    std::shared_ptr<ThreadContext> context;
    static void WINAPI End(void* holder);
};

namespace {

void* const kGone = reinterpret_cast<void*>(static_cast<intptr_t>(1));

DWORD ContextSlot() {
    static const DWORD slot = FlsAlloc(&ContextHolder::End);
    return slot;
}

// The APC routine: runs on the owning thread during one of its alertable waits. Each call queued
// with an item takes the oldest item, so items run in posting order. The context is found again
// from the thread itself: an APC that runs after the thread's context has closed finds nothing.
void CALLBACK RunPostedWork(ULONG_PTR) {
    const DWORD slot = ContextSlot();
    void* value = slot == FLS_OUT_OF_INDEXES ? nullptr : FlsGetValue(slot);
    if (value != nullptr && value != kGone) {
        static_cast<ContextHolder*>(value)->context->RunOne();
    }
}

}  // namespace

void WINAPI ContextHolder::End(void* value) {
    if (value == nullptr || value == kGone) {
        return;
    }
    auto* holder = static_cast<ContextHolder*>(value);
    FlsSetValue(ContextSlot(), kGone);
    holder->context->Close();
    delete holder;
}

std::shared_ptr<ThreadContext> ThreadContext::Current() {
    const DWORD slot = ContextSlot();
    if (slot == FLS_OUT_OF_INDEXES) {
        return nullptr;
    }
    void* value = FlsGetValue(slot);
    if (value == kGone) {
        return nullptr;
    }
    if (value == nullptr) {
        auto holder = std::make_unique<ContextHolder>();
        holder->context = std::make_shared<ThreadContext>();
        if (!FlsSetValue(slot, holder.get())) {
            return nullptr;
        }
        value = holder.release();
    }
    return static_cast<ContextHolder*>(value)->context;
}

ThreadContext::ThreadContext() : threadId_(Backend::CurrentThreadId()), native_(Backend::CaptureCurrentThread()) {}

ThreadContext::~ThreadContext() = default;

bool ThreadContext::Queue(const WorkItem& item, int& error) {
    std::lock_guard<std::mutex> lock(mutex);
    if (closed_ || !native_) {
        error = ERROR_INVALID_HANDLE;
        return false;
    }
    // Queued under the lock, so that the order of the APCs is the order of the items.
    queue_.push_back(item);
    HANDLE thread = static_cast<Windows::Threading::WindowsThread*>(native_.get())->Handle();
    if (QueueUserAPC(&RunPostedWork, thread, 0) == 0) {
        error = static_cast<int>(GetLastError());
        queue_.pop_back();
        return false;
    }
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
    // Every APC wakes the thread's alertable wait by itself.
}

void ThreadContext::Close() {
    std::deque<WorkItem> orphans;
    {
        std::lock_guard<std::mutex> lock(mutex);
        closed_ = true;
        orphans.swap(queue_);
    }
    // The system drops the APCs of an ending thread without running them; their items are given up here.
    for (const WorkItem& item : orphans) {
        item.discard(item.param);
    }
}

}  // namespace impl::details

Waitable::Waitable() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

Waitable::~Waitable() {
    if (event_ != nullptr) {
        CloseHandle(static_cast<HANDLE>(event_));
    }
}

void Waitable::Set() {
    set_.store(true, std::memory_order_release);
    SetEvent(static_cast<HANDLE>(event_));
}

void Waitable::Reset() {
    set_.store(false, std::memory_order_release);
    ResetEvent(static_cast<HANDLE>(event_));
}

bool Waitable::WaitPlain(uint32_t timeoutMs) {
    return ::WaitForSingleObject(static_cast<HANDLE>(event_), timeoutMs) == WAIT_OBJECT_0;
}

void Waitable::AddWaiter(impl::details::ThreadContext*) {
    // Waiters wait on the event itself.
}

void Waitable::RemoveWaiter(impl::details::ThreadContext*) {}

AlertableEvent::AlertableEvent() : waitable_(new (std::nothrow) Waitable) {
    if (!waitable_ || waitable_->NativeEvent() == nullptr) {
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

constexpr const char* kWaitFunction =
    "Platform::Windows::Threading::ThreadHelpers::WaitForSingleObject::<lambda_1>::operator ()";
constexpr const char* kWaitFile = "KeldaPlatform/Source/Windows/Threading";

void LogWait(Core::LogLevel level, const std::string& message) {
    Core::LogMessage(level, kWaitFunction, kWaitFile, __LINE__, message.c_str());
}

bool PumpingWait(HANDLE handle, uint32_t timeoutMs, bool dispatchMessages) {
    const DWORD flags = dispatchMessages ? MWMO_ALERTABLE | MWMO_INPUTAVAILABLE : MWMO_ALERTABLE;
    MSG message{};
    for (;;) {
        bool taken = false;
        const DWORD result = MsgWaitForMultipleObjectsEx(1, &handle, timeoutMs, QS_ALLINPUT, flags);
        if (result == WAIT_OBJECT_0) {
            // Work queued before the event was set still runs inside this wait: a system may report
            // the signalled object before the calls waiting in the queue (Wine does).
            SleepEx(0, TRUE);
            return true;
        }
        if (result == WAIT_ABANDONED_0) {
            LogWait(Core::LogError, "Mutex was abandoned!");
            return false;
        }
        if (result == WAIT_OBJECT_0 + 1) {
            taken = PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != 0;
        } else if (result == WAIT_FAILED) {
            const DWORD code = GetLastError();
            LogWait(Core::LogError, Core::StringFormat("Wait failed! [%d]: %s", static_cast<int>(code),
                                                       RichError::Text(RichError::Family::Win32, code).c_str()));
            return false;
        } else if (result == WAIT_TIMEOUT) {
            return false;
        }
        // Otherwise an APC ran (WAIT_IO_COMPLETION): the wait goes on.
        if (taken && dispatchMessages && !IsDialogMessageW(message.hwnd, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (taken && message.message == WM_QUIT) {
            // The quit request belongs to the thread's own message loop: leave it there.
            PostQuitMessage(static_cast<int>(message.wParam));
            LogWait(Core::LogInfo, "User closed the application!");
            return false;
        }
    }
}

}  // namespace

bool WaitForSingleObject(Waitable* handle, uint32_t timeoutMs, bool pumpMessages, bool dispatchMessages) {
    try {
        if (handle == nullptr || handle->NativeEvent() == nullptr) {
            LogWait(Core::LogError,
                    Core::StringFormat("Wait failed! [%d]: %s", static_cast<int>(ERROR_INVALID_HANDLE),
                                       RichError::Text(RichError::Family::Win32, ERROR_INVALID_HANDLE).c_str()));
            return false;
        }
        if (!pumpMessages) {
            return handle->WaitPlain(timeoutMs);
        }
        // The thread's posted work runs inside this wait: its context must exist first.
        impl::details::ThreadContext::Current();
        return PumpingWait(static_cast<HANDLE>(handle->NativeEvent()), timeoutMs, dispatchMessages);
    } catch (...) {
        // Nothing that goes wrong inside a wait may unwind into the waiting code.
        try {
            Core::LogMessage(
                Core::LogError, "Platform::Windows::Threading::ThreadHelpers::WaitForSingleObject", kWaitFile, __LINE__,
                Core::StringFormat("Unknown SEH Exception! [Tid: %d]", static_cast<int>(GetCurrentThreadId())).c_str());
        } catch (...) {
        }
        return false;
    }
}

}  // namespace ThreadHelpers
}  // namespace Platform::Threading
