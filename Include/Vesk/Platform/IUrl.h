#pragma once
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"

namespace Platform::Interfaces {

// A parsed URL: scheme, host, port, path, query (after "?") and fragment (after "#"). Not
// synchronised: Parse may not run while any other call on the same object does, but once parsed a
// URL may be read from any number of threads. Texts stay valid until the next Parse.
struct IUrl : Core::IObject {
    // True for the scheme's own port and for port 0.
    virtual bool IsDefaultPort() = 0;
    virtual const char* GetScheme() = 0;
    virtual const char* GetHost() = 0;
    virtual uint16_t GetPort() = 0;
    virtual const char* GetPath() = 0;
    virtual const char* GetQuery() = 0;
    virtual const char* GetFragment() = 0;
    // Replaces every part with those of url; a file-system path becomes a file URL. False with an
    // error (and the parts unchanged) for a port that is not a number or out of range.
    virtual bool Parse(const char* url, Core::IErrorCode** error) = 0;
};

}  // namespace Platform::Interfaces
