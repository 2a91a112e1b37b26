#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace Data::impl {

// A byte buffer that keeps up to 16 bytes inside itself: most arrays a workspace holds are the blobs
// of single property values (8 bytes for a number), and a heap block each would cost more than the
// bytes. Larger contents live on the heap. The data pointer is never null, even when empty.
class SmallBytes {
public:
    static constexpr size_t kInline = 16;

    SmallBytes() noexcept = default;
    SmallBytes(const SmallBytes&) = delete;
    SmallBytes& operator=(const SmallBytes&) = delete;
    ~SmallBytes() { Free(); }

    uint8_t* data() noexcept { return OnHeap() ? heap_ : inline_; }
    const uint8_t* data() const noexcept { return OnHeap() ? heap_ : inline_; }
    size_t size() const noexcept { return size_; }
    size_t capacity() const noexcept { return capacity_; }
    static constexpr size_t max_size() noexcept { return std::numeric_limits<ptrdiff_t>::max(); }

    // Replaces the content by count bytes from source, or by zeros when source is null; source may
    // point into this buffer. Fails (bad_alloc) before changing anything.
    void Assign(const uint8_t* source, size_t count) {
        if (count <= kInline) {
            uint8_t copy[kInline] = {};
            if (source != nullptr && count > 0) {
                std::memcpy(copy, source, count);
            }
            Free();
            std::memcpy(inline_, copy, kInline);
        } else {
            auto* block = new uint8_t[count];
            if (source != nullptr) {
                std::memcpy(block, source, count);
            } else {
                std::memset(block, 0, count);
            }
            Free();
            heap_ = block;
            capacity_ = count;
        }
        size_ = count;
    }

    // Inserts count bytes from source, which must not point into this buffer, at offset (at most
    // size()). Fails (bad_alloc) before changing anything.
    void Insert(size_t offset, const uint8_t* source, size_t count) {
        if (size_ + count > capacity_) {
            const size_t grown = std::max({size_ + count, capacity_ * 2, kInline * 2});
            auto* block = new uint8_t[grown];
            std::memcpy(block, data(), size_);
            Free();
            heap_ = block;
            capacity_ = grown;
        }
        uint8_t* bytes = data();
        std::memmove(bytes + offset + count, bytes + offset, size_ - offset);
        std::memcpy(bytes + offset, source, count);
        size_ += count;
    }

private:
    bool OnHeap() const noexcept { return capacity_ > kInline; }
    void Free() noexcept {
        if (OnHeap()) {
            delete[] heap_;
        }
        capacity_ = kInline;
    }

    size_t size_ = 0;
    size_t capacity_ = kInline;  // beyond kInline: the bytes are on the heap
    union {
        uint8_t inline_[kInline] = {};
        uint8_t* heap_;
    };
};

}  // namespace Data::impl
