#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "Core/Ptr.h"
#include "KeyIndex.h"
#include "Row.h"
#include "RowKey.h"
#include "TableHeader.h"
#include "Value.h"
#include "Vesk/Data/ITable.h"

namespace Data::impl {

// A table of rows with a hash index over the key column: looking a row up by key, the one thing the
// workspace does per object, costs O(1) on average instead of a scan. The index is kept right on
// every path that changes a key cell or the set of rows.
class TableImpl final : public HeaderT<Interfaces::ITable> {
public:
    TableImpl() = default;

    bool Copy(int32_t mode, Interfaces::ITable** copy, Core::IErrorCode** error) override;
    bool NewRow(Interfaces::IRow** row, Core::IErrorCode** error) override;
    bool AddRow(Interfaces::IRow* source, Interfaces::IRow** row, Core::IErrorCode** error) override;
    uint64_t GetRowCount() override { return rows_.size(); }
    bool GetRow(uint64_t index, Interfaces::IRow** row, Core::IErrorCode** error) override;
    bool RemoveRow(uint64_t index, Core::IErrorCode** error) override;
    bool RemoveAllRows(Core::IErrorCode** error) override;
    bool FindRow(const Structures::_VARIANT* key, Interfaces::IRow** row, Core::IErrorCode** error) override;
    int64_t FindRowIndex(const Structures::_VARIANT* key) override;

    // Sets the key cell of one of this table's rows and moves the row in the index accordingly.
    void ReplaceKeyCell(RowImpl& row, const Structures::_VARIANT& value);

private:
    ~TableImpl() override;
    void ColumnAdded() override;
    void KeyColumnChanged() override;

    // Appends a row with copies of the given cells (Null for the columns beyond them) and indexes it.
    Core::Ptr<RowImpl> InsertRow(std::span<const Value> cells, int32_t state);
    void Unindex(RowImpl& row) noexcept;
    // The row with that key; the first one in table order when several share it.
    RowImpl* Lookup(const Structures::_VARIANT& key) const;
    // Source when it is one of ours with this table's column names in this order (the workspace copies
    // every saved row into a table like its own), or null: such a row is copied cell for cell instead of
    // by name.
    const RowImpl* RowInSameOrder(Interfaces::IRow* source) const;
    // A stand-alone copy of this header for rows that leave the table.
    Core::Ptr<TableHeaderImpl> Snapshot() const;

    std::vector<Core::Ptr<RowImpl>> rows_;
    KeyIndex index_;
};

}  // namespace Data::impl
