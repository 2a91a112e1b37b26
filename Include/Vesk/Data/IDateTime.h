#pragma once
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"

namespace Data::Interfaces {

// A point in time, UTC, with millisecond precision.
struct IDateTime : Core::IObject {
    // Seconds since 1970-01-01T00:00:00Z (may be fractional).
    virtual double GetPosixTime() = 0;
    // 100-nanosecond intervals since 1601-01-01T00:00:00Z.
    virtual uint64_t GetFileTime() = 0;
    virtual int64_t GetMilliseconds() = 0;
    // Adds a number of milliseconds (may be negative or fractional).
    virtual void AddMilliseconds(double milliseconds) = 0;
    // ISO 8601 text, for example 2026-12-06T02:41:09.123Z.
    virtual const char* GetText() = 0;
    virtual int32_t Compare(IDateTime* other) = 0;
};

}  // namespace Data::Interfaces
