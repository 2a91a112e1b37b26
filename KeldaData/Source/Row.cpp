#include "Row.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "Core/Guard.h"
#include "Core/StringFormat.h"
#include "Table.h"

namespace Data::impl {

Core::Ptr<RowImpl> RowImpl::Make(TableImpl* table, uint64_t position, int32_t state, uint32_t count,
                                 std::span<const Value> source) {
    static_assert(sizeof(RowImpl) % alignof(Value) == 0, "cells follow the row directly");
    void* memory = ::operator new(sizeof(RowImpl) + sizeof(Value) * count);
    // Nothing below throws: the row is made, then its cells (copying a Value cannot fail).
    auto* row = new (memory) RowImpl(table, position, state, count);
    row->cells_ = row->InlineCells();
    for (uint32_t i = 0; i < count; ++i) {
        if (i < source.size()) {
            new (row->cells_ + i) Value(source[i]);
        } else {
            new (row->cells_ + i) Value();
        }
    }
    row->count_ = count;
    return Core::Ptr<RowImpl>::Adopt(row);
}

RowImpl::~RowImpl() {
    std::destroy_n(cells_, count_);
    if (cells_ != InlineCells()) {
        ::operator delete(cells_);
    }
}

void RowImpl::ReserveOneMoreCell() {
    if (count_ < capacity_) {
        return;
    }
    const uint32_t capacity = std::max<uint32_t>(8, capacity_ * 2);
    auto* grown = static_cast<Value*>(::operator new(sizeof(Value) * capacity));
    std::uninitialized_move_n(cells_, count_, grown);
    std::destroy_n(cells_, count_);
    if (cells_ != InlineCells()) {
        ::operator delete(cells_);
    }
    cells_ = grown;
    capacity_ = capacity;
}

uint32_t RowImpl::CellIndex(const char* name) const {
    int64_t index = -1;
    if (table_ != nullptr) {
        index = table_->ColumnIndex(name);
    } else if (header_) {
        index = header_->ColumnIndex(name);
    }
    // A detached row's header can gain columns the row never had cells for.
    if (index < 0 || static_cast<uint64_t>(index) >= count_) {
        throw std::runtime_error(Core::StringFormat("Column %s not found", name));
    }
    return static_cast<uint32_t>(index);
}

void RowImpl::CheckCellIndex(uint32_t index) const {
    if (index >= count_) {
        throw std::runtime_error(Core::StringFormat("Cell index %u is out of range (%u cells)", index, count_));
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
