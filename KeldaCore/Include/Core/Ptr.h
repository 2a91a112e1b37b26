#pragma once
#include <cstddef>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>

#include "Core/TypeName.h"
#include "Vesk/Core/IObject.h"

namespace Core {

// Owns one reference to an interface. Copying adds a reference; destroying releases it.
template <class T>
class Ptr {
public:
    Ptr() noexcept = default;
    Ptr(std::nullptr_t) noexcept {}
    // Shares p: adds a reference of its own.
    explicit Ptr(T* p) noexcept : p_(p) {
        if (p_ != nullptr) {
            p_->AddReference();
        }
    }
    Ptr(const Ptr& other) noexcept : Ptr(other.p_) {}
    Ptr(Ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    Ptr(const Ptr<U>& other) noexcept : Ptr(other.GetUnchecked()) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    Ptr(Ptr<U>&& other) noexcept : p_(other.Detach()) {}
    ~Ptr() { Reset(); }

    Ptr& operator=(const Ptr& other) noexcept {
        Ptr(other).Swap(*this);
        return *this;
    }
    Ptr& operator=(Ptr&& other) noexcept {
        Ptr(std::move(other)).Swap(*this);
        return *this;
    }
    Ptr& operator=(std::nullptr_t) noexcept {
        Reset();
        return *this;
    }

    // Takes over a reference that the caller owns (a freshly created object, an out-parameter).
    static Ptr Adopt(T* p) noexcept {
        Ptr result;
        result.p_ = p;
        return result;
    }

    T* operator->() const {
        if (p_ == nullptr) {
            throw std::runtime_error("Null pointer exception! Interface is not accessible: " + TypeName<T>());
        }
        return p_;
    }
    T& operator*() const { return *operator->(); }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    bool operator==(const Ptr& other) const noexcept { return p_ == other.p_; }

    // The raw pointer after a run-time type check that it still refers to a T; null when empty.
    T* Get() const {
        if (p_ != nullptr && dynamic_cast<const volatile void*>(p_) == nullptr) {
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%p", static_cast<const void*>(p_));
            throw std::runtime_error(
                "Memory address [" + std::string(buffer) +
                "] is invalid and was probably already reclaimed by the OS. This means that object that was held by "
                "current Ptr<> was already released somewhere else. If WeakPtr is used then this can happen if "
                "object lifecycle is not maintained properly. This can also happen on AddReference and Release "
                "methods misuse. Other possible causes can be heap corruption or miscompiled binaries.");
        }
        return p_;
    }
    T* GetUnchecked() const noexcept { return p_; }

    // The address to pass as an out-parameter; the Ptr must be empty so that nothing leaks.
    T** Receive() {
        if (p_ != nullptr) {
            throw std::runtime_error(
                "Must be nullptr to prevent memory leaks. Maybe default constructor initialized the object?");
        }
        return &p_;
    }

    // Gives up the reference without releasing it.
    T* Detach() noexcept { return std::exchange(p_, nullptr); }

    void Reset() noexcept {
        if (T* old = std::exchange(p_, nullptr)) {
            old->Release();
        }
    }
    void Swap(Ptr& other) noexcept { std::swap(p_, other.p_); }

    // This object seen through interface U, with a new reference.
    template <class U>
    Ptr<U> Cast() const {
        return CastWithLabel<U>(" Implementation: ");
    }
    // The same for an object that a factory just created and promised to implement U.
    template <class U>
    Ptr<U> CastCreated() const {
        return CastWithLabel<U>(" Desired Interface: ");
    }
    // This object as U, or empty when it does not implement U.
    template <class U>
    Ptr<U> TryCast() const noexcept {
        return Ptr<U>(dynamic_cast<U*>(p_));
    }

private:
    template <class U>
    Ptr<U> CastWithLabel(const char* label) const {
        if (p_ == nullptr) {
            throw std::runtime_error("Null pointer exception! Interface is not accessible: " + TypeName<T>());
        }
        U* target = dynamic_cast<U*>(p_);
        if (target == nullptr) {
            throw std::runtime_error("Cannot cast to desired interface: Interface: " + TypeName<T>() + label +
                                     TypeName<U>());
        }
        return Ptr<U>(target);
    }

    T* p_ = nullptr;
};

template <class T, class... Args>
Ptr<T> MakeObject(Args&&... args) {
    return Ptr<T>::Adopt(new T(std::forward<Args>(args)...));
}

}  // namespace Core
