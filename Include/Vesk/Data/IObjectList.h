#pragma once
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Data/Structures.h"

namespace Data::Interfaces {

struct IObjectList : Core::IObject {
    virtual bool Append(Core::IObject* item, Core::IErrorCode** error) = 0;
    virtual uint64_t GetCount() = 0;
    // Hands out the item with a new reference; past the end fails with "ObjectList index out of bounds".
    virtual bool Get(uint64_t index, Core::IObject** item, Core::IErrorCode** error) = 0;
};

struct IVariantList : Core::IObject {
    virtual bool Append(const Structures::_VARIANT* value, Core::IErrorCode** error) = 0;
    virtual uint64_t GetCount() = 0;
    // Copies the value into a cleared record owned by the caller.
    virtual bool Get(uint64_t index, Structures::_VARIANT* value, Core::IErrorCode** error) = 0;
};

}  // namespace Data::Interfaces
