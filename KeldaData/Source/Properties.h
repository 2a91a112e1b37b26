#pragma once
#include <string>
#include <unordered_map>
#include <vector>

#include "Common.h"
#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Value.h"
#include "Vesk/Data/IProperties.h"

namespace Data::impl {

// The description of one property and its current value.
class PropertyImpl final : public Core::ObjectT<Interfaces::IProperty> {
public:
    struct Description {
        std::string group;
        std::string name;
        std::string description;
        std::string interfaceType;
        std::string classType;
        int32_t valueType = 0;
        bool required = false;
    };

    explicit PropertyImpl(Description description) : description_(std::move(description)) {}

    const char* GetName() override { return description_.name.c_str(); }
    const char* GetGroup() override { return description_.group.c_str(); }
    const char* GetDescription() override { return description_.description.c_str(); }
    const char* GetInterfaceType() override { return description_.interfaceType.c_str(); }
    const char* GetClassType() override { return description_.classType.c_str(); }
    int32_t GetValueType() override { return description_.valueType; }
    bool IsRequired() override { return description_.required; }
    // A property holds a value once one that holds data was set; setting Null clears it again.
    bool HasValue() override { return HoldsData(value_.Get()); }
    void GetValue(Structures::_VARIANT* value) override;

    void SetValue(const Structures::_VARIANT& value) { value_.Assign(value); }
    const Value& CurrentValue() const { return value_; }

private:
    ~PropertyImpl() override = default;
    Description description_;
    Value value_;
};

// Properties in registration order with a name index.
class PropertiesImpl final : public Core::ObjectT<Interfaces::IProperties> {
public:
    PropertiesImpl() = default;

    bool Register(const char* group, const char* name, const char* description, const char* interfaceType,
                  const char* classType, int32_t valueType, bool required, Core::IErrorCode** error) override;
    bool Contains(const char* name) override;
    bool GetValue(const char* name, Structures::_VARIANT* value, Core::IErrorCode** error) override;
    bool SetValue(const char* name, const Structures::_VARIANT* value, Core::IErrorCode** error) override;
    uint64_t GetCount() override { return properties_.size(); }
    bool GetProperty(uint64_t index, Interfaces::IProperty** property, Core::IErrorCode** error) override;

private:
    ~PropertiesImpl() override = default;
    PropertyImpl& Find(const char* name);

    std::vector<Core::Ptr<PropertyImpl>> properties_;
    std::unordered_map<std::string, size_t, StringHash, std::equal_to<>> byName_;
};

}  // namespace Data::impl
