#include "Core/TableAccess.h"

#include "Core/Guard.h"

namespace Data {

Core::Ptr<Interfaces::IRow> RowAt(Interfaces::ITable* table, uint64_t index) {
    Core::Ptr<Interfaces::IRow> row;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table->GetRow(index, row.Receive(), e); });
    return row;
}

std::vector<Core::Ptr<Interfaces::IRow>> RowsOf(Interfaces::ITable* table) {
    std::vector<Core::Ptr<Interfaces::IRow>> rows;
    const uint64_t count = table->GetRowCount();
    rows.reserve(count);
    for (uint64_t i = 0; i < count; ++i) {
        rows.push_back(RowAt(table, i));
    }
    return rows;
}

Core::Ptr<Interfaces::IColumn> ColumnAt(Interfaces::ITableHeader* header, uint32_t index) {
    Core::Ptr<Interfaces::IColumn> column;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return header->GetColumn(index, column.Receive(), e); });
    return column;
}

std::vector<std::string> ColumnNamesOf(Interfaces::ITableHeader* header) {
    std::vector<std::string> names;
    const uint32_t count = header->GetColumnCount();
    names.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        names.emplace_back(ColumnAt(header, i)->GetName());
    }
    return names;
}

Core::Ptr<Interfaces::ITableHeader> HeaderOf(Interfaces::IRow* row) {
    Core::Ptr<Interfaces::ITableHeader> header;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return row->GetHeader(header.Receive(), e); });
    return header;
}

Variant CellAt(Interfaces::IRow* row, uint32_t index) {
    Variant cell;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return row->GetCell(index, cell.Receive(), e); });
    return cell;
}

Variant CellNamed(Interfaces::IRow* row, const std::string& name) {
    Variant cell;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return row->GetCellByName(name.c_str(), cell.Receive(), e); });
    return cell;
}

}  // namespace Data
