#pragma once
#include <cstdint>
#include <new>
#include <span>

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
    // A row of count cells, the first ones copied from source and the rest Null. The cells live in the
    // row's own allocation: rows are the most numerous objects of all, and one allocation per row
    // instead of two saves both time and memory.
    static Core::Ptr<RowImpl> Make(TableImpl* table, uint64_t position, int32_t state, uint32_t count,
                                   std::span<const Value> source = {});
    // Rows come from Make, so they go back the same way (delete this in Release calls this).
    static void operator delete(void* memory) noexcept { ::operator delete(memory); }

    uint32_t GetCellCount() override { return count_; }
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
    RowImpl(TableImpl* table, uint64_t position, int32_t state, uint32_t capacity)
        : table_(table), position_(position), state_(state), capacity_(capacity) {}
    ~RowImpl() override;

    std::span<Value> Cells() noexcept { return {cells_, count_}; }
    std::span<const Value> Cells() const noexcept { return {cells_, count_}; }
    Value& Cell(uint64_t index) noexcept { return cells_[index]; }
    Value* InlineCells() noexcept { return reinterpret_cast<Value*>(this + 1); }
    // Room for one more cell, moving the cells to a block of their own when the row's allocation is
    // full; fails (bad_alloc) before changing anything. AppendNullCell then cannot fail.
    void ReserveOneMoreCell();
    void AppendNullCell() noexcept { new (cells_ + count_++) Value(); }

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
    uint32_t count_ = 0;
    uint32_t capacity_;
    Value* cells_ = nullptr;  // the row's own allocation, or a block of their own once grown
    RowKey key_;              // the key the table indexes this row under; empty when the row is not indexed
    // Neighbours among the indexed rows that share key_ (see KeyIndex); null when not indexed.
    RowImpl* sameKeyPrevious_ = nullptr;
    RowImpl* sameKeyNext_ = nullptr;
};

}  // namespace Data::impl
