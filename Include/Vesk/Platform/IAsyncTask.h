#pragma once
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Data/Structures.h"

namespace Platform {
struct ErrorRecord;
}

namespace Platform::Interfaces {

// The state word of an asynchronous task.
enum TaskState : uint32_t {
    TaskCreated = 0,
    TaskQueued = 1,
    TaskRunning = 2,
    TaskCancelRequested = 3,
    TaskCancelled = 4,
    TaskCompleted = 5,
    TaskFailed = 6,
};

struct IAsyncTask;

// Told when a task fails, completes or is cancelled, at most once per registration. Tasks call it
// from whichever thread finishes them or registers it, so implementations must be safe for
// concurrent use; the library's own carries each notification back to the thread that made it.
struct IAsyncTaskStatusCallback : Core::IObject {
    virtual void OnFailed(IAsyncTask* task) = 0;
    // Holds its place in the operation order; ignored by the library's callbacks.
    virtual void OnReserved(IAsyncTask* task) = 0;
    virtual void OnCompleted(IAsyncTask* task) = 0;
    virtual void OnCancelled(IAsyncTask* task) = 0;
};

// The observable state of one piece of work. Safe for concurrent use: any thread may finish, cancel,
// wait for or query a task.
struct IAsyncTask : Core::IObject {
    // Requests cancellation and releases every waiter at once.
    virtual void Cancel() = 0;
    // Plain wait: never runs work posted to the waiting thread.
    virtual bool Wait(uint32_t timeoutMs) = 0;
    // Waits without a time-out and runs work posted to the waiting thread meanwhile.
    virtual bool WaitPumping(bool dispatchMessages) = 0;
    virtual bool WaitDispatching() = 0;
    virtual bool IsFinished() = 0;
    virtual bool IsCancelled() = 0;
    virtual bool IsFailed() = 0;
    virtual const char* GetErrorMessage() = 0;
    virtual uint32_t GetState() = 0;
    virtual void SetResult(const Data::Structures::_VARIANT* value) = 0;
    virtual void GetResult(Data::Structures::_VARIANT* out) = 0;
    virtual void SetStatusCallback(IAsyncTaskStatusCallback* callback) = 0;
    virtual void Signal() = 0;
    virtual void SetState(uint32_t state) = 0;
    virtual void SetError(const Platform::ErrorRecord& error) = 0;
};

}  // namespace Platform::Interfaces
