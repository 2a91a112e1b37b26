#pragma once
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"

namespace Platform::Interfaces {

// A loaded dynamic library.
struct IDll : Core::IObject {
    virtual const char* GetPath() = 0;
    virtual void* GetHandle() = 0;
    virtual void* GetProcAddress(const char* name, Core::IErrorCode** error) = 0;
    virtual bool HasProc(const char* name) = 0;
};

}  // namespace Platform::Interfaces
