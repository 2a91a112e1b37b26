#pragma once
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"

namespace Data::Interfaces {

// A UTF-8 text owned by the object; always NUL-terminated, may contain zero bytes before its end.
struct IString : Core::IObject {
    virtual bool Set(const char* text, uint64_t length, Core::IErrorCode** error) = 0;
    virtual const char* GetText() = 0;
    virtual uint64_t GetLength() = 0;
    // Three-way byte comparison: negative, 0 or positive.
    virtual int32_t Compare(IString* other) = 0;
    virtual bool Equals(IString* other) = 0;
};

// A text that should not linger in memory: wiped when the object goes.
struct ISecureString : Core::IObject {
    virtual const char* GetText() = 0;
    virtual uint64_t GetLength() = 0;
};

}  // namespace Data::Interfaces
