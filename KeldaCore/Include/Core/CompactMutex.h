#pragma once
#include <atomic>
#include <cstdint>

namespace Core {

// A plain, non-recursive mutex in one 32-bit word. The library makes an object per row, per long text
// and per date it loads, and a std::mutex (40 bytes here) would be a large share of each; a waiter
// sleeps on the word through C++20 atomic waiting instead of spinning. Safe for concurrent use; meets
// the Lockable requirements, so std::lock_guard and std::unique_lock work with it.
class CompactMutex {
public:
    void lock() noexcept {
        for (;;) {
            uint32_t seen = kFree;
            if (state_.compare_exchange_weak(seen, kHeld, std::memory_order_acquire, std::memory_order_relaxed)) {
                return;
            }
            // A weak exchange may fail spuriously with the word free; waiting on "free" would then sleep
            // until the next unlock, so wait only while the word is really held.
            if (seen != kFree) {
                state_.wait(seen, std::memory_order_relaxed);
            }
        }
    }
    bool try_lock() noexcept {
        uint32_t seen = kFree;
        return state_.compare_exchange_strong(seen, kHeld, std::memory_order_acquire, std::memory_order_relaxed);
    }
    void unlock() noexcept {
        state_.store(kFree, std::memory_order_release);
        state_.notify_one();
    }

private:
    static constexpr uint32_t kFree = 0;
    static constexpr uint32_t kHeld = 1;
    std::atomic<uint32_t> state_{kFree};
};

}  // namespace Core
