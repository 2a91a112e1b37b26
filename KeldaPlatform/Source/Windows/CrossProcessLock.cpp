#include "Platform/CrossProcessLock.h"

#include "Win32.h"

#include <stdexcept>

#include "WideText.h"

namespace Platform::Threading {
namespace {

HANDLE MutexOf(intptr_t native) {
    return reinterpret_cast<HANDLE>(native);
}

[[noreturn]] void Refuse() {
    // Fixed text: hosts match on it.
    throw std::runtime_error("Cannot create windows mutex!");
}

}  // namespace

CrossProcessLock::CrossProcessLock(const std::string& name) : path_("Global\\" + name) {
    // The "Global\" namespace spans every session of the machine, so services and users meet there.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, Windows::Text::Widen(path_).c_str());
    if (mutex == nullptr) {
        Refuse();
    }
    native_ = reinterpret_cast<intptr_t>(mutex);
}

CrossProcessLock::~CrossProcessLock() {
    Release();
    CloseHandle(MutexOf(native_));
}

void CrossProcessLock::Acquire() {
    // An alertable wait: work posted to this thread still runs while it waits for another process.
    for (;;) {
        const DWORD result = WaitForSingleObjectEx(MutexOf(native_), INFINITE, TRUE);
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
            // An abandoned mutex is ours all the same: its holder died, which is what the lock allows.
            held_ = true;
            return;
        }
        if (result != WAIT_IO_COMPLETION) {
            Refuse();
        }
    }
}

void CrossProcessLock::Release() noexcept {
    if (held_) {
        ReleaseMutex(MutexOf(native_));
        held_ = false;
    }
}

}  // namespace Platform::Threading
