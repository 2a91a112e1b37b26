#pragma once
#include <cstdint>

#include "Vesk/Core/IObject.h"

namespace Platform::Interfaces {

// A console sink supplied by the host. Colours are 0x00BBGGRR; 0 leaves the colour as it is. The
// logger calls it from any thread, but one call at a time, under the logger's own lock.
struct IConsole : Core::IObject {
    virtual void EndWrite() = 0;
    virtual void SetColour(uint32_t colour) = 0;
    virtual void Clear() = 0;
    virtual void Write(const char* text, uint64_t length) = 0;
};

}  // namespace Platform::Interfaces
