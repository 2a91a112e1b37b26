#include "Array.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "Core/Guard.h"
#include "Core/StringFormat.h"

namespace Data::impl {

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
        bytes_.Assign(static_cast<const uint8_t*>(data), byteSize);
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
    // The bytes may move while they are inserted; copy a range of the buffer itself out first.
    const auto address = reinterpret_cast<uintptr_t>(first);
    const auto begin = reinterpret_cast<uintptr_t>(bytes_.data());
    const bool aliases = address >= begin && address < begin + bytes_.capacity();
    std::vector<uint8_t> aside;
    if (aliases) {
        aside.assign(first, first + byteSize);
        first = aside.data();
    }
    bytes_.Insert(index * elementSize_, first, byteSize);
}

}  // namespace Data::impl
