#pragma once
// The seam between the portable platform code and the operating system: each backend implements
// these for its system. Every function here is safe to call from any thread.
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "Platform/RichError.h"

namespace Platform::Backend {

// The system's number of the calling thread (never 0).
uint32_t CurrentThreadId();

// The calling thread as the system knows it, for naming it later.
class NativeThread {
public:
    virtual ~NativeThread() = default;
    // Only called while the thread is alive.
    virtual void SetName(const char* name) = 0;
    // The system's handle of the thread, valid while this object lives; null where the system has
    // none to give.
    virtual void* SystemHandle() const { return nullptr; }
};
std::unique_ptr<NativeThread> CaptureCurrentThread();

// The local time now, broken down.
std::tm LocalTimeNow();

// The system's message for an error number of the families that the system describes (Errno, Curl,
// and whatever the Windows families mean here); empty when it has none.
std::string SystemMessage(RichError::Family family, uint32_t code);

// The current error number of the calling thread.
int LastError();

// The family of the error numbers that QueryFileStatus reports on this system.
RichError::Family ErrorFamily();

// Size, last modification (seconds since 1970) and kind of a file system entry; false with the
// error number when it cannot be queried.
struct FileStatus {
    uint64_t size = 0;
    int64_t modifiedSeconds = 0;
    bool isDirectory = false;
};
bool QueryFileStatus(const std::string& path, FileStatus& status, int& error);

// Writes an open file's buffered data to its storage; false when that fails.
bool FlushFile(intptr_t handle);

// Renames from to to in one step, replacing an existing to (both in one folder); false with the error
// number when the system refuses. A reader of to sees the old file or the new one, never neither.
bool RenameReplacing(const std::string& from, const std::string& to, int& error);

// Copies a finished log record to the system's debugger channel, where the system has one.
void DebuggerOutput(const std::string& record) noexcept;

// Gives back what stack traces took from the system (a symbol handler), if they took anything.
void ReleaseStackTraceResources() noexcept;

}  // namespace Platform::Backend
