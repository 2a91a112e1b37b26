#pragma once
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"

namespace Platform::Interfaces {

// A whole file mapped into memory.
struct IFileMapping : Core::IObject {
    // Writes [begin, end) of a writable mapping back to the file (and the file to its storage unless
    // skipFileFlush), then stamps the file's access and modification times.
    virtual bool Flush(uint64_t begin, uint64_t end, bool skipFileFlush, Core::IErrorCode** error) = 0;
    virtual bool IsReadOnly() = 0;
    virtual uint8_t* GetData() = 0;
    virtual const uint8_t* GetData() const = 0;
    virtual uint64_t GetSize() = 0;
};

}  // namespace Platform::Interfaces
