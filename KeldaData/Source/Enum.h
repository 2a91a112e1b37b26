#pragma once
#include <string>
#include <string_view>

#include "Core/Object.h"
#include "Vesk/Data/IEnum.h"

namespace Data::impl {

// An enumeration value kept by its name, as stored property values carry it.
class EnumImpl final : public Core::ObjectT<Interfaces::IEnum> {
public:
    explicit EnumImpl(std::string_view text) : text_(text) {}
    const char* GetText() override { return text_.c_str(); }

private:
    ~EnumImpl() override = default;
    std::string text_;
};

}  // namespace Data::impl
