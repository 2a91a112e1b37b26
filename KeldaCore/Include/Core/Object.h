#pragma once
#include <atomic>
#include <cstdint>

#include "Core/CompactMutex.h"
#include "Vesk/Core/IObject.h"

namespace Core {

// The reference count of every implementation class; Interface is the most derived interface the
// class implements. The count starts at 1, owned by the creator, and the last Release destroys.
// AddReference and Release are atomic and safe from any thread.
template <class Interface>
class RefCountedT : public Interface {
public:
    void AddReference() override { count_.fetch_add(1, std::memory_order_relaxed); }
    uint32_t Release() override {
        const int32_t remaining = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (remaining <= 0) {
            delete this;
            return 0;
        }
        return static_cast<uint32_t>(remaining);
    }

protected:
    RefCountedT() = default;
    // An implementation base that takes arguments is constructed through here.
    using Interface::Interface;
    ~RefCountedT() override = default;
    RefCountedT(const RefCountedT&) = delete;
    RefCountedT& operator=(const RefCountedT&) = delete;

private:
    std::atomic<int32_t> count_{1};
};

// A reference-counted object with its own plain mutex (one word: see CompactMutex), reached through
// Lock, TryLock and Unlock.
// The mutex is for callers that share one object between threads; the library's own operations take it
// only where a class says so (the workspace manager, while it replaces its connection). References may
// be added and released on any thread.
template <class Interface>
class ObjectT : public RefCountedT<Interface> {
public:
    void Lock() override { mutex_.lock(); }
    bool TryLock() override { return mutex_.try_lock(); }
    void Unlock() override { mutex_.unlock(); }

protected:
    using RefCountedT<Interface>::RefCountedT;
    ~ObjectT() override = default;

private:
    CompactMutex mutex_;
};

// The same without a mutex, for immutable objects (safe to share between threads once made): Lock and
// Unlock do nothing, TryLock says no.
template <class Interface>
class UnlockedObjectT : public RefCountedT<Interface> {
public:
    void Lock() override {}
    bool TryLock() override { return false; }
    void Unlock() override {}

protected:
    ~UnlockedObjectT() override = default;
};

// Holds an object's own lock for a scope.
class ObjectLock {
public:
    explicit ObjectLock(IObject* object) : object_(object) { object_->Lock(); }
    ~ObjectLock() { object_->Unlock(); }
    ObjectLock(const ObjectLock&) = delete;
    ObjectLock& operator=(const ObjectLock&) = delete;

private:
    IObject* object_;
};

}  // namespace Core
