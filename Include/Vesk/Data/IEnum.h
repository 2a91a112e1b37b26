#pragma once
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"

namespace Data::Interfaces {

// A named enumeration value, stored by its text.
struct IEnum : Core::IObject {
    virtual const char* GetText() = 0;
};

}  // namespace Data::Interfaces
