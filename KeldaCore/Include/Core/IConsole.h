#pragma once
#include <cstdint>

#include "Vesk/Core/IObject.h"

namespace Platform::Interfaces {

// A console sink supplied by the host. Colours are 0x00BBGGRR; 0 leaves the colour as it is.
// The application logger calls it only under its own lock, so a sink need not be thread-safe itself.
struct IConsole : Core::IObject {
    virtual void EndWrite() = 0;
    virtual void SetColour(uint32_t colour) = 0;
    virtual void Clear() = 0;
    virtual void Write(const char* text, uint64_t length) = 0;
};

}  // namespace Platform::Interfaces
