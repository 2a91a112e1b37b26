#pragma once
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Data/Structures.h"

namespace Data::Interfaces {

// One registered property: its description and, once set, its value.
struct IProperty : Core::IObject {
    virtual const char* GetName() = 0;
    virtual const char* GetGroup() = 0;
    virtual const char* GetDescription() = 0;
    virtual const char* GetInterfaceType() = 0;
    virtual const char* GetClassType() = 0;
    virtual int32_t GetValueType() = 0;
    virtual bool IsRequired() = 0;
    virtual bool HasValue() = 0;
    // Copies the value into a cleared record owned by the caller (Null when unset).
    virtual void GetValue(Structures::_VARIANT* value) = 0;
};

// A set of named, typed properties in registration order; names are unique.
struct IProperties : Core::IObject {
    virtual bool Register(const char* group, const char* name, const char* description, const char* interfaceType,
                          const char* classType, int32_t valueType, bool required, Core::IErrorCode** error) = 0;
    virtual bool Contains(const char* name) = 0;
    virtual bool GetValue(const char* name, Structures::_VARIANT* value, Core::IErrorCode** error) = 0;
    // Fails for a name that is not registered.
    virtual bool SetValue(const char* name, const Structures::_VARIANT* value, Core::IErrorCode** error) = 0;
    virtual uint64_t GetCount() = 0;
    virtual bool GetProperty(uint64_t index, IProperty** property, Core::IErrorCode** error) = 0;
};

// A map from names to values, in insertion order.
struct IVariantDictionary : Core::IObject {
    virtual bool Set(const char* name, const Structures::_VARIANT* value, Core::IErrorCode** error) = 0;
    virtual bool Get(const char* name, Structures::_VARIANT* value, Core::IErrorCode** error) = 0;
    virtual bool Contains(const char* name) = 0;
    virtual bool Remove(const char* name) = 0;
    virtual uint64_t GetCount() = 0;
    virtual const char* GetKey(uint64_t index) = 0;
};

}  // namespace Data::Interfaces
