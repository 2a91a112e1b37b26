#pragma once
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"

namespace Platform::Interfaces {

// A parsed URL: scheme, host, port, path, query (after "?") and fragment (after "#").
struct IUrl : Core::IObject {
    // True for the scheme's own port and for port 0.
    virtual bool IsDefaultPort() = 0;
    virtual const char* GetScheme() = 0;
    virtual const char* GetHost() = 0;
    virtual uint16_t GetPort() = 0;
    virtual const char* GetPath() = 0;
    virtual const char* GetQuery() = 0;
    virtual const char* GetFragment() = 0;
    // Replaces every part with those of url; a file-system path becomes a file URL.
    virtual bool Parse(const char* url, Core::IErrorCode** error) = 0;
};

}  // namespace Platform::Interfaces
