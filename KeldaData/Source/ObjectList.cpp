#include "ObjectList.h"

#include <stdexcept>

#include "Core/Guard.h"

namespace Data::impl {

bool ObjectListImpl::Append(Core::IObject* item, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(item);
        items_.emplace_back(item);
    });
}

bool ObjectListImpl::Get(uint64_t index, Core::IObject** item, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(item);
        if (index >= items_.size()) {
            throw std::runtime_error(kListIndexOutOfBounds);
        }
        Core::HandOut(items_[index], item);
    });
}

}  // namespace Data::impl
