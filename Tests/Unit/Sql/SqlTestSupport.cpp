#include "SqlTestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "Core/Guard.h"
#include "Core/Object.h"
#include "Vesk/Data/KeldaData.h"

namespace SqlTest {

TablePtr MakeTable(const std::string& name, const std::vector<ColumnSpec>& columns, const std::string& key) {
    TablePtr table;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return Data_CreateTable(table.Receive(), e); });
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table->SetName(name.c_str(), e); });
    for (const ColumnSpec& column : columns) {
        Core::ThrowIfFailed(
            [&](Core::IErrorCode** e) { return table->AddColumn(column.name.c_str(), column.type, nullptr, e); });
    }
    if (!key.empty()) {
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table->SetKeyColumn(key.c_str(), e); });
    }
    return table;
}

RowPtr AddRow(const TablePtr& table, const std::vector<Variant>& cells) {
    RowPtr row;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table->NewRow(row.Receive(), e); });
    for (size_t i = 0; i < cells.size(); ++i) {
        Core::ThrowIfFailed(
            [&](Core::IErrorCode** e) { return row->SetCell(static_cast<uint32_t>(i), &cells[i].Raw(), e); });
    }
    return row;
}

RowPtr RowAt(const TablePtr& table, uint64_t index) {
    RowPtr row;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table->GetRow(index, row.Receive(), e); });
    return row;
}

Variant Cell(const RowPtr& row, const std::string& name) {
    Variant value;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return row->GetCellByName(name.c_str(), value.Receive(), e); });
    return value;
}

void SetCell(const RowPtr& row, const std::string& name, const Variant& value) {
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return row->SetCellByName(name.c_str(), &value.Raw(), e); });
}

::Data::Uuid ParseUuid(const std::string& text) {
    return ::Data::UuidFromText(text);
}

Core::Ptr<::Data::Interfaces::IObjectList> NewObjectList() {
    Core::Ptr<::Data::Interfaces::IObjectList> list;
    Core::ThrowIfFailed([&](Core::IErrorCode**) { return Data_CreateObjectList(list.Receive()); });
    return list;
}

Core::Ptr<::Data::Interfaces::IDateTime> NewDateTime(const char* iso8601) {
    Core::Ptr<::Data::Interfaces::IDateTime> time;
    Core::ThrowIfFailed(
        [&](Core::IErrorCode** e) { return Data_CreateDateTimeFromIso8601(iso8601, time.Receive(), e); });
    return time;
}

}  // namespace SqlTest
