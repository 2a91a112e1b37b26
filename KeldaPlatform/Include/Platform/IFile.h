#pragma once
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"

namespace Platform::Interfaces {

// The native handle of an open file (a descriptor on POSIX systems).
using FileHandle = intptr_t;

// An open file owned by the object. Attributes use the suite's numbering (read-only 0x1, hidden
// 0x2, directory 0x10, archive 0x20, normal 0x80). Nothing of the object changes after opening, but
// reads, writes and positioning share the file's one position: callers serialise their use of one
// file (the logger writes under its own lock), while distinct files are independent.
struct IFile : Core::IObject {
    // The size taken at open when the file was opened without write sharing, else the size now.
    virtual uint64_t GetSize() = 0;
    // The descriptor, owned by the object.
    virtual FileHandle GetHandle() = 0;
    // The attributes now; 0xFFFFFFFF with an error when they cannot be read.
    virtual uint32_t GetAttributes(Core::IErrorCode** error) = 0;
    // Only read-only has an effect here; false with an error when the system refuses.
    virtual bool SetAttributes(uint32_t attributes, Core::IErrorCode** error) = 0;
    // Holds its place in the operation order; does nothing.
    virtual bool Reserved(uint64_t value, Core::IErrorCode** error) = 0;
    virtual uint32_t GetAccess() = 0;
    virtual uint32_t GetShareMode() = 0;
};

// A file with blocking reads and writes at its own current position. (The name keeps the suite's
// spelling.)
struct ISynchrounousFile : IFile {
    // Reads until size bytes are read, the file ends or an error occurs; gives the bytes read, in 32
    // bits: a request of 4 GiB or more must be split by the caller (see IO::ReadFully).
    virtual uint32_t Read(void* buffer, uint64_t size, Core::IErrorCode** error) = 0;
    // Writes until size bytes are written or an error occurs; gives the bytes written, in 32 bits.
    virtual uint32_t Write(const void* data, uint64_t size, Core::IErrorCode** error) = 0;
    // Each false (or 0) with an error when the system refuses.
    virtual bool SetPosition(uint64_t offset, Core::IErrorCode** error) = 0;
    virtual bool SeekToEnd(Core::IErrorCode** error) = 0;
    virtual uint64_t GetPosition(Core::IErrorCode** error) = 0;
};

}  // namespace Platform::Interfaces
