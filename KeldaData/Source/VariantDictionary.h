#pragma once
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Common.h"
#include "Core/Object.h"
#include "Value.h"
#include "Vesk/Data/IProperties.h"

namespace Data::impl {

// Named values in insertion order. Replacing a value keeps its place; removing one closes the gap.
class VariantDictionaryImpl final : public Core::ObjectT<Interfaces::IVariantDictionary> {
public:
    VariantDictionaryImpl() = default;

    bool Set(const char* name, const Structures::_VARIANT* value, Core::IErrorCode** error) override;
    bool Get(const char* name, Structures::_VARIANT* value, Core::IErrorCode** error) override;
    bool Contains(const char* name) override;
    bool Remove(const char* name) override;
    uint64_t GetCount() override { return entries_.size(); }
    // Null past the end.
    const char* GetKey(uint64_t index) override;

private:
    ~VariantDictionaryImpl() override = default;

    std::vector<std::pair<std::string, Value>> entries_;
    std::unordered_map<std::string, size_t, StringHash, std::equal_to<>> byName_;
};

}  // namespace Data::impl
