#include "Table.h"

#include <stdexcept>

#include "Common.h"
#include "Core/Guard.h"
#include "Core/StringFormat.h"

namespace Data::impl {

using Structures::_VARIANT;

TableImpl::~TableImpl() {
    // Rows that someone else still holds outlive the table; they keep a copy of its header.
    Core::Ptr<TableHeaderImpl> header;
    try {
        header = Snapshot();
    } catch (...) {
        // Without memory for the copy they simply have no header.
    }
    for (auto& row : rows_) {
        row->Detach(header);
    }
}

Core::Ptr<TableHeaderImpl> TableImpl::Snapshot() const {
    auto header = Core::MakeObject<TableHeaderImpl>();
    header->CopyHeaderFrom(*this);
    return header;
}

void TableImpl::ColumnAdded() {
    // Room first, so that a failure leaves every row as it was; the appends cannot fail then.
    for (auto& row : rows_) {
        row->ReserveOneMoreCell();
    }
    for (auto& row : rows_) {
        row->AppendNullCell();
    }
}

void TableImpl::KeyColumnChanged() {
    index_.Clear();
    for (auto& row : rows_) {
        row->key_ = {};
    }
    const int64_t key = KeyColumnIndex();
    if (key < 0) {
        return;
    }
    index_.Reserve(rows_.size());
    for (auto& row : rows_) {
        row->key_ = MakeRowKey(row->Cell(key).Get());
        if (row->key_) {
            index_.Insert(row.GetUnchecked());
        }
    }
}

void TableImpl::Unindex(RowImpl& row) noexcept {
    index_.Erase(&row);
    row.key_ = {};
}

void TableImpl::ReplaceKeyCell(RowImpl& row, const _VARIANT& value) {
    // Everything that can fail happens before the row or the index changes.
    RowKey key = MakeRowKey(value);
    index_.Reserve(index_.Size() + 1);
    Unindex(row);
    row.key_ = std::move(key);
    if (row.key_) {
        index_.Insert(&row);
    }
    row.Cell(KeyColumnIndex()).Assign(value);
}

Core::Ptr<RowImpl> TableImpl::InsertRow(std::span<const Value> cells, int32_t state) {
    RowKey key;
    if (KeyColumnIndex() >= 0 && static_cast<uint64_t>(KeyColumnIndex()) < cells.size()) {
        key = MakeRowKey(cells[KeyColumnIndex()].Get());
    }
    auto row = RowImpl::Make(this, rows_.size(), state, GetColumnCount(), cells);
    row->key_ = std::move(key);
    ReserveOneMore(rows_);
    if (row->key_) {
        index_.Insert(row.GetUnchecked());
    }
    rows_.push_back(row);
    return row;
}

RowImpl* TableImpl::Lookup(const _VARIANT& key) const {
    if (KeyColumnIndex() < 0) {
        return nullptr;
    }
    const RowKey wanted = MakeRowKey(key);
    return wanted ? index_.Find(wanted) : nullptr;
}

bool TableImpl::Copy(int32_t mode, Interfaces::ITable** copy, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        if (mode != Interfaces::TC_ColumnsOnly && mode != Interfaces::TC_ColumnsAndRows) {
            throw std::runtime_error(Core::StringFormat("Unknown table copy mode %d", mode));
        }
        Core::CheckOut(copy);
        auto table = Core::MakeObject<TableImpl>();
        table->CopyHeaderFrom(*this);
        if (mode == Interfaces::TC_ColumnsAndRows) {
            table->rows_.reserve(rows_.size());
            table->index_.Reserve(index_.Size());
            for (const auto& row : rows_) {
                table->InsertRow(row->Cells(), row->state_);
            }
        }
        Core::HandOut(std::move(table), copy);
    });
}

bool TableImpl::NewRow(Interfaces::IRow** row, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        if (row != nullptr) {
            Core::CheckOut(row);
        }
        auto added = InsertRow({}, Interfaces::RS_Added);
        if (row != nullptr) {
            Core::HandOut(std::move(added), row);
        }
    });
}

bool TableImpl::AddRow(Interfaces::IRow* source, Interfaces::IRow** row, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(source);
        if (row != nullptr) {
            Core::CheckOut(row);
        }
        if (const RowImpl* same = RowInSameOrder(source)) {
            auto added = InsertRow(same->Cells(), source->GetState());
            if (row != nullptr) {
                Core::HandOut(std::move(added), row);
            }
            return;
        }
        // Cells go by column name, so the source may come from a table with other columns or
        // another column order.
        Core::Ptr<Interfaces::ITableHeader> header;
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return source->GetHeader(header.Receive(), e); });
        std::vector<Value> cells(GetColumnCount());
        const uint32_t sourceCells = source->GetCellCount();
        for (uint32_t i = 0; i < header->GetColumnCount() && i < sourceCells; ++i) {
            Core::Ptr<Interfaces::IColumn> column;
            Core::ThrowIfFailed([&](Core::IErrorCode** e) { return header->GetColumn(i, column.Receive(), e); });
            const int64_t target = ColumnIndex(column->GetName());
            if (target < 0) {
                continue;
            }
            _VARIANT received{};
            received.type = Structures::VT_Null;
            Core::ThrowIfFailed([&](Core::IErrorCode** e) { return source->GetCell(i, &received, e); });
            cells[target].Assign(received);
            Structures::VariantClear(&received);
        }
        auto added = InsertRow(std::move(cells), source->GetState());
        if (row != nullptr) {
            Core::HandOut(std::move(added), row);
        }
    });
}

const RowImpl* TableImpl::RowInSameOrder(Interfaces::IRow* source) const {
    auto* row = dynamic_cast<RowImpl*>(source);
    if (row == nullptr) {
        return nullptr;
    }
    const std::vector<Core::Ptr<ColumnImpl>>* theirs = nullptr;
    if (row->table_ != nullptr) {
        theirs = &row->table_->Columns();
    } else if (row->header_) {
        theirs = &row->header_->Columns();
    } else {
        return nullptr;
    }
    const std::vector<Core::Ptr<ColumnImpl>>& ours = Columns();
    if (theirs->size() != ours.size() || row->count_ != ours.size()) {
        return nullptr;
    }
    for (size_t i = 0; i < ours.size(); ++i) {
        if ((*theirs)[i]->Name() != ours[i]->Name()) {
            return nullptr;
        }
    }
    return row;
}

bool TableImpl::GetRow(uint64_t index, Interfaces::IRow** row, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(row);
        if (index >= rows_.size()) {
            throw std::runtime_error(Core::StringFormat("Row index %llu is out of range (%llu rows)",
                                                        static_cast<unsigned long long>(index),
                                                        static_cast<unsigned long long>(rows_.size())));
        }
        Core::HandOut(rows_[index], row);
    });
}

bool TableImpl::RemoveRow(uint64_t index, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        if (index >= rows_.size()) {
            throw std::runtime_error(Core::StringFormat("Row index %llu is out of range (%llu rows)",
                                                        static_cast<unsigned long long>(index),
                                                        static_cast<unsigned long long>(rows_.size())));
        }
        auto header = Snapshot();
        Core::Ptr<RowImpl> row = std::move(rows_[index]);
        rows_.erase(rows_.begin() + static_cast<ptrdiff_t>(index));
        for (uint64_t i = index; i < rows_.size(); ++i) {
            rows_[i]->position_ = i;
        }
        Unindex(*row);
        row->Detach(std::move(header));
    });
}

bool TableImpl::RemoveAllRows(Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        auto header = Snapshot();
        index_.Clear();
        for (auto& row : rows_) {
            row->Detach(header);
        }
        rows_.clear();
    });
}

bool TableImpl::FindRow(const _VARIANT* key, Interfaces::IRow** row, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(key);
        Core::CheckOut(row);
        if (KeyColumnIndex() < 0) {
            throw std::runtime_error(Core::StringFormat("Table %s has no key column", GetName()));
        }
        if (RowImpl* found = Lookup(*key)) {
            Core::HandOut(Core::Ptr<Interfaces::IRow>(found), row);
        }
    });
}

int64_t TableImpl::FindRowIndex(const _VARIANT* key) {
    try {
        RowImpl* found = key == nullptr ? nullptr : Lookup(*key);
        return found == nullptr ? -1 : static_cast<int64_t>(found->position_);
    } catch (...) {
        return -1;
    }
}

}  // namespace Data::impl
