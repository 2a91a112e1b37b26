#pragma once
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Data/Structures.h"

namespace Vesk::Interfaces {

// One typed attribute column of a shape layer. Immutable after construction.
struct IAttributeHeader : ::Core::IObject {
    // The column name, UTF-8, valid while the object lives; never null.
    virtual const char* GetName() = 0;
    // The value type code (::Data::Structures::VariantType) that the column holds.
    virtual int32_t GetValueType() = 0;
    // The column's position in its layer, from 0.
    virtual uint32_t GetIndex() = 0;
};

// One attribute value of one shape: a cell that stays bound to its shape. Owner thread only, like
// the shape it belongs to.
struct IAttributeValue : ::Core::IObject {
    // The column of the value; a new reference for the caller. Fails only on a bad out-pointer.
    virtual bool GetHeader(IAttributeHeader** header, ::Core::IErrorCode** error) = 0;
    // Copies the value into a cleared record; the caller owns what the record then holds.
    virtual bool GetValue(::Data::Structures::_VARIANT* value, ::Core::IErrorCode** error) = 0;
    // Copies value into the shape's cell (adding a reference for an object it holds). Fails for a null
    // record or an undefined type code.
    virtual bool SetValue(const ::Data::Structures::_VARIANT* value, ::Core::IErrorCode** error) = 0;
};

}  // namespace Vesk::Interfaces
