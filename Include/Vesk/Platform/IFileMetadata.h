#pragma once
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Data/IDateTime.h"
#include "Vesk/Data/IDocument.h"
#include "Vesk/Data/IString.h"

namespace Platform::Interfaces {

// What the library knows of a file: its name, path, size, last modification and content hash.
// Immutable after construction, hence safe for concurrent use.
struct IFileMetadata : Core::IObject {
    virtual const char* GetName() = 0;
    // The SHA-256 of the content as text; empty when it was not computed.
    virtual const char* GetSha2() = 0;
    virtual const char* GetPath() = 0;
    // Hands out the time (caller owns it), or leaves *time null when it is unknown.
    virtual bool GetTimeModified(Data::Interfaces::IDateTime** time) = 0;
    virtual uint64_t GetSize() = 0;
    // {"Name", "Sha2" (when computed), "Path", "TimeModified" (when known), "Size"}.
    virtual bool ToJson(Data::Interfaces::IJsonDocument** document) = 0;
    // The JSON form as text.
    virtual bool ToJsonText(Data::Interfaces::IString** text) = 0;
};

}  // namespace Platform::Interfaces
