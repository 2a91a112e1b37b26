#pragma once
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"

namespace Platform::Interfaces {

// A loaded dynamic library. Safe for concurrent use: only its procedure cache changes, under a lock.
struct IDll : Core::IObject {
    // The path it was loaded by, as given.
    virtual const char* GetPath() = 0;
    // The loader's handle, valid while this object lives.
    virtual void* GetHandle() = 0;
    // The procedure's address (cached after the first look-up); null with an error when it is missing.
    virtual void* GetProcAddress(const char* name, Core::IErrorCode** error) = 0;
    // Whether the procedure exists; false for a null name.
    virtual bool HasProc(const char* name) = 0;
};

}  // namespace Platform::Interfaces
