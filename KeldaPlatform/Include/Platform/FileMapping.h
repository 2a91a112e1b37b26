#pragma once
#include <cstdint>
#include <string>

#include "Core/Ptr.h"
#include "Platform/IFileMapping.h"
#include "Vesk/Data/IString.h"

namespace Platform::IO {

// Maps the file at path (created when missing); the caller owns the new mapping. size 0 maps the
// whole file; a writable mapping larger than the file extends it; a read-only one may not be larger
// than the file. Throws the mapping's error texts on failure. Safe to call from any thread.
Core::Ptr<Interfaces::IFileMapping> CreateFileMapping(Data::Interfaces::IString* path, uint64_t size, bool readOnly);

}  // namespace Platform::IO

bool Platform_CreateFileMapping(Data::Interfaces::IString* path, uint64_t size, bool readOnly,
                                Platform::Interfaces::IFileMapping** mapping, Core::IErrorCode** error);
