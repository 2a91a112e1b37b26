#pragma once
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"

namespace Platform::Interfaces {

// A whole file mapped into memory. Safe for concurrent use, as nothing of the object changes after
// construction; the mapped bytes themselves are the callers' to synchronise.
struct IFileMapping : Core::IObject {
    // Writes [begin, end) of a writable mapping back to the file (and the file to its storage unless
    // skipFileFlush), then stamps the file's access and modification times. A read-only mapping does
    // nothing. Fails with "Invalid offsets" when end < begin or end lies beyond the mapping.
    virtual bool Flush(uint64_t begin, uint64_t end, bool skipFileFlush, Core::IErrorCode** error) = 0;
    virtual bool IsReadOnly() = 0;
    // The view, valid while this object lives.
    virtual uint8_t* GetData() = 0;
    virtual const uint8_t* GetData() const = 0;
    // The mapped size in bytes.
    virtual uint64_t GetSize() = 0;
};

}  // namespace Platform::Interfaces
