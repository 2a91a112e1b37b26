#pragma once
// Throwing shorthands for reading tables through their error-code operations.
#include <cstdint>
#include <string>
#include <vector>

#include "Core/Ptr.h"
#include "Core/Variant.h"
#include "Vesk/Data/ITable.h"

namespace Data {

Core::Ptr<Interfaces::IRow> RowAt(Interfaces::ITable* table, uint64_t index);
std::vector<Core::Ptr<Interfaces::IRow>> RowsOf(Interfaces::ITable* table);
Core::Ptr<Interfaces::IColumn> ColumnAt(Interfaces::ITableHeader* header, uint32_t index);
std::vector<std::string> ColumnNamesOf(Interfaces::ITableHeader* header);
Core::Ptr<Interfaces::ITableHeader> HeaderOf(Interfaces::IRow* row);
Variant CellAt(Interfaces::IRow* row, uint32_t index);
Variant CellNamed(Interfaces::IRow* row, const std::string& name);

inline Core::Ptr<Interfaces::IRow> RowAt(const Core::Ptr<Interfaces::ITable>& table, uint64_t index) {
    return RowAt(table.Get(), index);
}
inline std::vector<Core::Ptr<Interfaces::IRow>> RowsOf(const Core::Ptr<Interfaces::ITable>& table) {
    return RowsOf(table.Get());
}
inline Core::Ptr<Interfaces::ITableHeader> HeaderOf(const Core::Ptr<Interfaces::IRow>& row) {
    return HeaderOf(row.Get());
}
inline Variant CellAt(const Core::Ptr<Interfaces::IRow>& row, uint32_t index) {
    return CellAt(row.Get(), index);
}
inline Variant CellNamed(const Core::Ptr<Interfaces::IRow>& row, const std::string& name) {
    return CellNamed(row.Get(), name);
}

}  // namespace Data
