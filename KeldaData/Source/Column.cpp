#include "TableHeader.h"

namespace Data::impl {

Core::Ptr<ColumnImpl> ColumnImpl::Clone() const {
    auto copy = Core::MakeObject<ColumnImpl>(name_, valueType_);
    copy->nullable_ = nullable_;
    copy->allowsDbNull_ = allowsDbNull_;
    copy->unique_ = unique_;
    return copy;
}

}  // namespace Data::impl
