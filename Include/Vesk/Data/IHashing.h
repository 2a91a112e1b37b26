#pragma once
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"

namespace Data::Interfaces {

// An incremental message digest.
struct IHashing : Core::IObject {
    virtual bool Update(const void* data, uint64_t size, Core::IErrorCode** error) = 0;
    virtual bool Finish(Core::IErrorCode** error) = 0;
    virtual const uint8_t* GetDigest() = 0;
    virtual uint32_t GetDigestSize() = 0;
    // The digest as lower-case hexadecimal text (64 characters for SHA-256).
    virtual const char* GetDigestText() = 0;
    // Forgets the fed bytes so that the object can hash again.
    virtual bool Reset(Core::IErrorCode** error) = 0;
};

}  // namespace Data::Interfaces
