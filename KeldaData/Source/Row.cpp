#include "Row.h"

#include <stdexcept>

#include "Core/Guard.h"
#include "Core/StringFormat.h"
#include "Table.h"

namespace Data::impl {

uint32_t RowImpl::CellIndex(const char* name) const {
    int64_t index = -1;
    if (table_ != nullptr) {
        index = table_->ColumnIndex(name);
    } else if (header_) {
        index = header_->ColumnIndex(name);
    }
    // A detached row's header can gain columns the row never had cells for.
    if (index < 0 || static_cast<uint64_t>(index) >= cells_.size()) {
        throw std::runtime_error(Core::StringFormat("Column %s not found", name));
    }
    return static_cast<uint32_t>(index);
}

void RowImpl::CheckCellIndex(uint32_t index) const {
    if (index >= cells_.size()) {
        throw std::runtime_error(Core::StringFormat("Cell index %u is out of range (%u cells)", index,
                                                    static_cast<uint32_t>(cells_.size())));
    }
}

void RowImpl::StoreCell(uint32_t index, const Structures::_VARIANT& value) {
    CheckDefined(value);
    if (table_ != nullptr && table_->KeyColumnIndex() == static_cast<int64_t>(index)) {
        table_->ReplaceKeyCell(*this, value);
    } else {
        cells_[index].Assign(value);
    }
    // A row that is not in the database yet stays Added whatever is set in it.
    if (state_ == Interfaces::RS_Unchanged) {
        state_ = Interfaces::RS_Modified;
    }
}

bool RowImpl::GetCell(uint32_t index, Structures::_VARIANT* value, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(value);
        CheckCellIndex(index);
        cells_[index].CopyTo(value);
    });
}

bool RowImpl::GetCellByName(const char* name, Structures::_VARIANT* value, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(name);
        Core::CheckNotNull(value);
        cells_[CellIndex(name)].CopyTo(value);
    });
}

bool RowImpl::SetCell(uint32_t index, const Structures::_VARIANT* value, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(value);
        CheckCellIndex(index);
        StoreCell(index, *value);
    });
}

bool RowImpl::SetCellByName(const char* name, const Structures::_VARIANT* value, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(name);
        Core::CheckNotNull(value);
        StoreCell(CellIndex(name), *value);
    });
}

bool RowImpl::GetHeader(Interfaces::ITableHeader** header, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(header);
        if (table_ != nullptr) {
            Core::HandOut(Core::Ptr<Interfaces::ITableHeader>(table_), header);
        } else if (header_) {
            Core::HandOut(header_, header);
        } else {
            throw std::runtime_error("The row has no header: it no longer belongs to a table");
        }
    });
}

void RowImpl::Detach(Core::Ptr<TableHeaderImpl> header) noexcept {
    table_ = nullptr;
    header_ = std::move(header);
    key_ = {};
    sameKeyPrevious_ = nullptr;
    sameKeyNext_ = nullptr;
}

}  // namespace Data::impl
