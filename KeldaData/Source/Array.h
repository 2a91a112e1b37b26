#pragma once
#include <cstdint>

#include "Core/Object.h"
#include "SmallBytes.h"
#include "Vesk/Data/IArray.h"

namespace Data::impl {

// A byte buffer seen as elements of a fixed size. A new array holds bytes (element size 1).
class ArrayImpl final : public Core::ObjectT<Interfaces::IArray> {
public:
    ArrayImpl() = default;

    uint32_t GetElementSize() override { return elementSize_; }
    uint64_t GetCount() override { return bytes_.size() / elementSize_; }
    uint64_t GetByteSize() override { return bytes_.size(); }
    uint8_t* GetData() override { return bytes_.data(); }
    bool Assign(const void* data, uint32_t elementSize, uint64_t count, Core::IErrorCode** error) override;
    bool Insert(uint64_t index, const void* data, uint64_t byteSize, Core::IErrorCode** error) override;
    bool Append(const void* data, uint64_t byteSize, Core::IErrorCode** error) override;

private:
    ~ArrayImpl() override = default;
    void InsertBytes(uint64_t index, const void* data, uint64_t byteSize);

    uint32_t elementSize_ = 1;
    SmallBytes bytes_;
};

}  // namespace Data::impl
