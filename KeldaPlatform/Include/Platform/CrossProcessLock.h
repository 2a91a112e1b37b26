#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace Platform::Threading {

// An exclusive lock shared by every process of the machine under one name. The operating system
// releases it when its holder dies, so a crashed process never blocks the others. One object is
// owner-thread only; two objects of one name, even in one process, exclude each other, so each
// thread that needs the lock makes its own. On Windows the lock is the named mutex
// "Global\<name>" (the workspace passes "VESKDB_Workspace" and its working name), which belongs to a
// thread: the thread that holds it may take it again through a second object.
class CrossProcessLock {
public:
    // Creates (or opens) the lock called name; fails with "Cannot create windows mutex!" when the
    // system refuses. Does not take it.
    explicit CrossProcessLock(const std::string& name);
    ~CrossProcessLock();
    CrossProcessLock(const CrossProcessLock&) = delete;
    CrossProcessLock& operator=(const CrossProcessLock&) = delete;

    // Waits without a time-out until the lock is ours; throws "Cannot create windows mutex!" when the
    // system fails the wait.
    void Acquire();
    // Gives the lock up when this object holds it; otherwise does nothing.
    void Release() noexcept;

    // Where the lock lives: a file in the system's temporary folder, or the name of a Windows mutex.
    const std::string& Path() const noexcept { return path_; }

private:
    std::string path_;      // immutable after construction
    intptr_t native_ = -1;  // the lock file's descriptor or the mutex handle; immutable after construction
    bool held_ = false;     // owner thread only
};

// Holds a CrossProcessLock for a scope; owner thread only, like the lock it holds.
class CrossProcessLockGuard {
public:
    explicit CrossProcessLockGuard(CrossProcessLock& lock) : lock_(lock) { lock_.Acquire(); }
    ~CrossProcessLockGuard() { lock_.Release(); }
    CrossProcessLockGuard(const CrossProcessLockGuard&) = delete;
    CrossProcessLockGuard& operator=(const CrossProcessLockGuard&) = delete;

private:
    CrossProcessLock& lock_;
};

}  // namespace Platform::Threading
