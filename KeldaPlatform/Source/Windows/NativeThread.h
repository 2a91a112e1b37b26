#pragma once
// The Windows form of a thread as the platform layer knows it: a handle that lets other threads
// queue asynchronous procedure calls to it and name it.
#include "Win32.h"

#include "Common/Backend.h"

namespace Platform::Windows::Threading {

// Immutable after construction, so safe for concurrent use; the handle stays valid (and the thread
// object with it) until this object is destroyed.
class WindowsThread final : public Backend::NativeThread {
public:
    // Duplicates the calling thread's pseudo-handle; throws when the system refuses.
    WindowsThread();
    ~WindowsThread() override;
    WindowsThread(const WindowsThread&) = delete;
    WindowsThread& operator=(const WindowsThread&) = delete;

    // Sets the thread description (UTF-8 name) where the system has SetThreadDescription.
    void SetName(const char* name) override;
    HANDLE Handle() const { return handle_; }
    void* SystemHandle() const override { return handle_; }

private:
    HANDLE handle_ = nullptr;
};

}  // namespace Platform::Windows::Threading
