#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

#include "Vesk/Core/IObject.h"

namespace Core {

// An atomic reference count that starts at 1.
class ReferenceCount {
public:
    void Add() noexcept { count_.fetch_add(1, std::memory_order_relaxed); }
    // Drops one reference and gives the count that remains.
    int32_t Drop() noexcept { return count_.fetch_sub(1, std::memory_order_acq_rel) - 1; }

private:
    std::atomic<int32_t> count_{1};
};

// The reference count and object mutex of every implementation class. Interface is the most derived
// interface the class implements. The count starts at 1, owned by the creator.
template <class Interface>
class ObjectT : public Interface {
public:
    void AddReference() override { count_.Add(); }
    uint32_t Release() override {
        const int32_t remaining = count_.Drop();
        if (remaining <= 0) {
            delete this;
            return 0;
        }
        return static_cast<uint32_t>(remaining);
    }
    void Lock() override { mutex_.lock(); }
    bool TryLock() override { return mutex_.try_lock(); }
    void Unlock() override { mutex_.unlock(); }

protected:
    ObjectT() = default;
    ~ObjectT() override = default;
    ObjectT(const ObjectT&) = delete;
    ObjectT& operator=(const ObjectT&) = delete;

private:
    std::mutex mutex_;
    ReferenceCount count_;
};

// The same without a mutex, for immutable objects: Lock and Unlock do nothing, TryLock says no.
template <class Interface>
class UnlockedObjectT : public Interface {
public:
    void AddReference() override { count_.Add(); }
    uint32_t Release() override {
        const int32_t remaining = count_.Drop();
        if (remaining <= 0) {
            delete this;
            return 0;
        }
        return static_cast<uint32_t>(remaining);
    }
    void Lock() override {}
    bool TryLock() override { return false; }
    void Unlock() override {}

protected:
    UnlockedObjectT() = default;
    ~UnlockedObjectT() override = default;
    UnlockedObjectT(const UnlockedObjectT&) = delete;
    UnlockedObjectT& operator=(const UnlockedObjectT&) = delete;

private:
    ReferenceCount count_;
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
