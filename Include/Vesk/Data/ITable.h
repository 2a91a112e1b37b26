#pragma once
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Data/Structures.h"

namespace Data::Interfaces {

// A typed column of a table.
struct IColumn : Core::IObject {
    virtual const char* GetName() = 0;
    virtual int32_t GetValueType() = 0;  // a VariantType code
    // The two nullability properties: whether the column takes null values, and whether its
    // database column allows NULL. A column counts as nullable when either is true.
    virtual bool IsNullable() = 0;
    virtual bool AllowsDbNull() = 0;
    virtual bool IsUnique() = 0;
    virtual void SetNullable(bool nullable) = 0;
    virtual void SetAllowsDbNull(bool allows) = 0;
    virtual void SetUnique(bool unique) = 0;
};

// The name and column list of a table.
struct ITableHeader : Core::IObject {
    virtual const char* GetName() = 0;
    virtual bool SetName(const char* name, Core::IErrorCode** error) = 0;
    virtual uint32_t GetColumnCount() = 0;
    virtual bool GetColumn(uint32_t index, IColumn** column, Core::IErrorCode** error) = 0;
    // The index of the column with that exact name, or -1.
    virtual int64_t FindColumn(const char* name) = 0;
    // Appends a column; a name already present fails. column may be null.
    virtual bool AddColumn(const char* name, int32_t valueType, IColumn** column, Core::IErrorCode** error) = 0;
    // The key column's name, or an empty text when the table has none.
    virtual const char* GetKeyColumn() = 0;
    virtual bool SetKeyColumn(const char* name, Core::IErrorCode** error) = 0;
};

// Row states. Setting a cell makes a row Modified; a loader sets Unchanged.
enum RowState : int32_t { RS_Unchanged = 0, RS_Modified = 1, RS_Added = 2 };

// One row of a table. Cells are copied in and out: a record handed to GetCell must be cleared, and
// the caller owns what it receives.
struct IRow : Core::IObject {
    virtual uint32_t GetCellCount() = 0;
    virtual bool GetCell(uint32_t index, Structures::_VARIANT* value, Core::IErrorCode** error) = 0;
    virtual bool GetCellByName(const char* name, Structures::_VARIANT* value, Core::IErrorCode** error) = 0;
    virtual bool SetCell(uint32_t index, const Structures::_VARIANT* value, Core::IErrorCode** error) = 0;
    virtual bool SetCellByName(const char* name, const Structures::_VARIANT* value, Core::IErrorCode** error) = 0;
    virtual bool HasChanges() = 0;
    virtual int32_t GetState() = 0;
    virtual void SetState(int32_t state) = 0;
    // The header of the table the row belongs to (its columns).
    virtual bool GetHeader(ITableHeader** header, Core::IErrorCode** error) = 0;
};

// Copy modes.
enum TableCopyMode : int32_t { TC_ColumnsOnly = 0, TC_ColumnsAndRows = 1 };

// A table of typed columns and rows. When a key column is set, rows are indexed by their key cell
// (a Uuid value and the text of the same UUID count as one key).
struct ITable : ITableHeader {
    virtual bool Copy(int32_t mode, ITable** copy, Core::IErrorCode** error) = 0;
    // Appends a new row of Null cells in the Added state; row may be null.
    virtual bool NewRow(IRow** row, Core::IErrorCode** error) = 0;
    // Appends a copy of a row of a table with the same column names, keeping its state.
    virtual bool AddRow(IRow* source, IRow** row, Core::IErrorCode** error) = 0;
    virtual uint64_t GetRowCount() = 0;
    virtual bool GetRow(uint64_t index, IRow** row, Core::IErrorCode** error) = 0;
    virtual bool RemoveRow(uint64_t index, Core::IErrorCode** error) = 0;
    virtual bool RemoveAllRows(Core::IErrorCode** error) = 0;
    // The row whose key cell equals key; true with a null row when there is none. Needs a key column.
    virtual bool FindRow(const Structures::_VARIANT* key, IRow** row, Core::IErrorCode** error) = 0;
    // The index of the row whose key equals key, or -1.
    virtual int64_t FindRowIndex(const Structures::_VARIANT* key) = 0;
};

}  // namespace Data::Interfaces
