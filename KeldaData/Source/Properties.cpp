#include "Properties.h"

#include <stdexcept>

#include "Core/Guard.h"
#include "Core/StringFormat.h"

namespace Data::impl {

void PropertyImpl::GetValue(Structures::_VARIANT* value) {
    if (value != nullptr) {
        value_.CopyTo(value);
    }
}

bool PropertiesImpl::Register(const char* group, const char* name, const char* description, const char* interfaceType,
                              const char* classType, int32_t valueType, bool required, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(name, "A property needs a name.");
        if (byName_.find(std::string_view(name)) != byName_.end()) {
            throw std::runtime_error(Core::StringFormat("Property %s is already registered", name));
        }
        PropertyImpl::Description entry{std::string(TextOrEmpty(group)),
                                        std::string(name),
                                        std::string(TextOrEmpty(description)),
                                        std::string(TextOrEmpty(interfaceType)),
                                        std::string(TextOrEmpty(classType)),
                                        valueType,
                                        required};
        auto property = Core::MakeObject<PropertyImpl>(std::move(entry));
        properties_.push_back(property);
        try {
            byName_.emplace(name, properties_.size() - 1);
        } catch (...) {
            properties_.pop_back();
            throw;
        }
    });
}

PropertyImpl& PropertiesImpl::Find(const char* name) {
    Core::CheckNotNull(name);
    const auto found = byName_.find(std::string_view(name));
    if (found == byName_.end()) {
        throw std::runtime_error(Core::StringFormat("Property %s is not registered", name));
    }
    return *properties_[found->second].GetUnchecked();
}

bool PropertiesImpl::Contains(const char* name) {
    return name != nullptr && byName_.find(std::string_view(name)) != byName_.end();
}

bool PropertiesImpl::GetValue(const char* name, Structures::_VARIANT* value, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        PropertyImpl& property = Find(name);
        Core::CheckNotNull(value);
        property.CurrentValue().CopyTo(value);
    });
}

bool PropertiesImpl::SetValue(const char* name, const Structures::_VARIANT* value, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        PropertyImpl& property = Find(name);
        Core::CheckNotNull(value);
        CheckDefined(*value);
        property.SetValue(*value);
    });
}

bool PropertiesImpl::GetProperty(uint64_t index, Interfaces::IProperty** property, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(property);
        if (index >= properties_.size()) {
            throw std::runtime_error(Core::StringFormat("Property index %llu is out of bounds (%llu properties)",
                                                        static_cast<unsigned long long>(index),
                                                        static_cast<unsigned long long>(properties_.size())));
        }
        Core::HandOut(properties_[index], property);
    });
}

}  // namespace Data::impl
