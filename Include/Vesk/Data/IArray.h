#pragma once
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"

namespace Data::Interfaces {

// A growable buffer of fixed-size elements.
struct IArray : Core::IObject {
    virtual uint32_t GetElementSize() = 0;
    virtual uint64_t GetCount() = 0;
    virtual uint64_t GetByteSize() = 0;
    virtual uint8_t* GetData() = 0;
    // Replaces the content by count elements of elementSize bytes each (data may be null: zeroed).
    virtual bool Assign(const void* data, uint32_t elementSize, uint64_t count, Core::IErrorCode** error) = 0;
    // Inserts whole elements at element index; byteSize must be a multiple of the element size.
    virtual bool Insert(uint64_t index, const void* data, uint64_t byteSize, Core::IErrorCode** error) = 0;
    virtual bool Append(const void* data, uint64_t byteSize, Core::IErrorCode** error) = 0;
};

}  // namespace Data::Interfaces
