#pragma once
#include <vector>

#include "Core/Object.h"
#include "Value.h"
#include "Vesk/Data/IObjectList.h"

namespace Data::impl {

// A list of values; each item owns its own copy (and reference to a held object).
class VariantListImpl final : public Core::ObjectT<Interfaces::IVariantList> {
public:
    VariantListImpl() = default;

    bool Append(const Structures::_VARIANT* value, Core::IErrorCode** error) override;
    uint64_t GetCount() override { return items_.size(); }
    bool Get(uint64_t index, Structures::_VARIANT* value, Core::IErrorCode** error) override;

private:
    ~VariantListImpl() override = default;
    std::vector<Value> items_;
};

}  // namespace Data::impl
