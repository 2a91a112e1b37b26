#include "VariantList.h"

#include <stdexcept>

#include "Core/Guard.h"
#include "ObjectList.h"

namespace Data::impl {

bool VariantListImpl::Append(const Structures::_VARIANT* value, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(value);
        CheckDefined(*value);
        items_.emplace_back(*value);
    });
}

bool VariantListImpl::Get(uint64_t index, Structures::_VARIANT* value, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(value);
        if (index >= items_.size()) {
            throw std::runtime_error(kListIndexOutOfBounds);
        }
        items_[index].CopyTo(value);
    });
}

}  // namespace Data::impl
