#include "Value.h"

#include <cstring>
#include <stdexcept>

#include "Vesk/Data/IString.h"

namespace Data::impl {

using namespace Data::Structures;

void CheckDefined(const _VARIANT& value) {
    if (VariantTypeCode(value) > kLastVariantType) {
        throw std::runtime_error(
            "Variant type is undefined! Did you forget to zero out the VARIANT structure? It appears uninitialized!");
    }
}

bool HoldsData(const _VARIANT& value) {
    if (VariantTypeCode(value) == VT_Null) {
        return false;
    }
    const uint32_t form = VariantFormOf(value);
    return !((form == VF_Reference || form == VF_Pointer) && value.pointer == nullptr);
}

Core::IObject* HeldObject(const _VARIANT& value) {
    const uint32_t form = VariantFormOf(value);
    if (form == VF_Reference) {
        return value.object;
    }
    // A plain pointer to a data object (a String not owned by the record, say) is an object too;
    // the Pointer type itself is an address of anything and is never treated as one.
    if (form == VF_Pointer && VariantTypeCode(value) != VT_Pointer) {
        return static_cast<Core::IObject*>(value.pointer);
    }
    return nullptr;
}

bool StringText(const _VARIANT& value, std::string_view& text) {
    if (VariantTypeCode(value) != VT_String) {
        return false;
    }
    if (VariantFormOf(value) == VF_Inline) {
        text = std::string_view(value.text, strnlen(value.text, sizeof value.text));
        return true;
    }
    auto* string = dynamic_cast<Interfaces::IString*>(HeldObject(value));
    if (string == nullptr) {
        return false;
    }
    text = std::string_view(string->GetText(), string->GetLength());
    return true;
}

}  // namespace Data::impl
