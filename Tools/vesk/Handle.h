#pragma once
#include <utility>

#include "Vesk/Core/IObject.h"

namespace VeskTool {

// Owns the one reference that the library handed out, as a host would hold it.
template <class T>
class Handle {
public:
    Handle() = default;
    ~Handle() { Reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}

    T** Out() {
        Reset();
        return &p_;
    }
    T* operator->() const { return p_; }
    T* Get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void Reset() {
        if (p_ != nullptr) {
            p_->Release();
            p_ = nullptr;
        }
    }

private:
    T* p_ = nullptr;
};

}  // namespace VeskTool
