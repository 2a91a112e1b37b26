#pragma once
#include <cstdint>
#include <vector>

#include "Core/Object.h"
#include "Core/Ptr.h"
#include "RowKey.h"
#include "TableHeader.h"
#include "Value.h"
#include "Vesk/Data/ITable.h"

namespace Data::impl {

class TableImpl;

// One row: a cell per column of its table and a change state. While the row belongs to a table it
// reaches its columns, and the key index, through the table; the table does not hold a reference
// back from the row (that would be a cycle), it detaches its rows instead when they leave it or
// when it goes away. A detached row keeps a copy of the header it had and no longer touches any
// table.
class RowImpl final : public Core::ObjectT<Interfaces::IRow> {
public:
    RowImpl(TableImpl* table, uint64_t position, int32_t state, std::vector<Value> cells)
        : table_(table), position_(position), state_(state), cells_(std::move(cells)) {}

    uint32_t GetCellCount() override { return static_cast<uint32_t>(cells_.size()); }
    bool GetCell(uint32_t index, Structures::_VARIANT* value, Core::IErrorCode** error) override;
    bool GetCellByName(const char* name, Structures::_VARIANT* value, Core::IErrorCode** error) override;
    bool SetCell(uint32_t index, const Structures::_VARIANT* value, Core::IErrorCode** error) override;
    bool SetCellByName(const char* name, const Structures::_VARIANT* value, Core::IErrorCode** error) override;
    bool HasChanges() override { return state_ != Interfaces::RS_Unchanged; }
    int32_t GetState() override { return state_; }
    void SetState(int32_t state) override { state_ = state; }
    bool GetHeader(Interfaces::ITableHeader** header, Core::IErrorCode** error) override;

private:
    friend class TableImpl;
    friend class KeyIndex;
    ~RowImpl() override = default;

    uint32_t CellIndex(const char* name) const;
    void CheckCellIndex(uint32_t index) const;
    void StoreCell(uint32_t index, const Structures::_VARIANT& value);
    // Leaves the table: from now on header (which may be shared with rows detached alongside) is
    // where the row finds its column names.
    void Detach(Core::Ptr<TableHeaderImpl> header) noexcept;

    TableImpl* table_;
    Core::Ptr<TableHeaderImpl> header_;  // set once detached
    uint64_t position_;
    int32_t state_;
    std::vector<Value> cells_;
    RowKey key_;  // the key the table indexes this row under; empty when the row is not indexed
    // Neighbours among the indexed rows that share key_ (see KeyIndex); null when not indexed.
    RowImpl* sameKeyPrevious_ = nullptr;
    RowImpl* sameKeyNext_ = nullptr;
};

}  // namespace Data::impl
