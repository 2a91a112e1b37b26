#include "Array.h"

#include <cstdint>
#include <stdexcept>

#include "Core/Guard.h"
#include "Core/StringFormat.h"

namespace Data::impl {

namespace {

// Keeps the data pointer valid even for an empty array: SQLite binds a blob whose pointer is null
// as NULL, not as an empty blob.
constexpr size_t kMinimumCapacity = 1;

}  // namespace

ArrayImpl::ArrayImpl() {
    bytes_.reserve(kMinimumCapacity);
}

bool ArrayImpl::Assign(const void* data, uint32_t elementSize, uint64_t count, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        if (elementSize == 0) {
            throw std::runtime_error("Array element size must not be zero");
        }
        uint64_t byteSize = 0;
        if (__builtin_mul_overflow(static_cast<uint64_t>(elementSize), count, &byteSize) ||
            byteSize > bytes_.max_size()) {
            throw std::runtime_error(Core::StringFormat("Array of %llu elements of %u bytes is too large",
                                                        static_cast<unsigned long long>(count), elementSize));
        }
        const auto* first = static_cast<const uint8_t*>(data);
        // Built aside first: data may point into this array's own buffer.
        std::vector<uint8_t> bytes =
            data == nullptr ? std::vector<uint8_t>(byteSize) : std::vector<uint8_t>(first, first + byteSize);
        bytes.reserve(kMinimumCapacity);
        bytes_.swap(bytes);
        elementSize_ = elementSize;
    });
}

bool ArrayImpl::Insert(uint64_t index, const void* data, uint64_t byteSize, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { InsertBytes(index, data, byteSize); });
}

bool ArrayImpl::Append(const void* data, uint64_t byteSize, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { InsertBytes(GetCount(), data, byteSize); });
}

void ArrayImpl::InsertBytes(uint64_t index, const void* data, uint64_t byteSize) {
    if (byteSize % elementSize_ != 0) {
        throw std::runtime_error(Core::StringFormat("Byte size %llu is not a multiple of the element size %u",
                                                    static_cast<unsigned long long>(byteSize), elementSize_));
    }
    const uint64_t count = GetCount();
    if (index > count) {
        throw std::runtime_error(Core::StringFormat("Array index %llu is out of range (count %llu)",
                                                    static_cast<unsigned long long>(index),
                                                    static_cast<unsigned long long>(count)));
    }
    if (byteSize == 0) {
        return;
    }
    Core::CheckNotNull(data);
    if (byteSize > bytes_.max_size() - bytes_.size()) {
        throw std::runtime_error("Array would grow beyond its maximum size");
    }
    const auto* first = static_cast<const uint8_t*>(data);
    // Inserting a range of the vector into itself is undefined; copy such a range out first.
    const auto address = reinterpret_cast<uintptr_t>(first);
    const auto begin = reinterpret_cast<uintptr_t>(bytes_.data());
    const bool aliases = address >= begin && address < begin + bytes_.capacity();
    std::vector<uint8_t> aside;
    if (aliases) {
        aside.assign(first, first + byteSize);
        first = aside.data();
    }
    bytes_.insert(bytes_.begin() + static_cast<ptrdiff_t>(index * elementSize_), first, first + byteSize);
}

}  // namespace Data::impl
