#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Core/DataObjects.h"
#include "Core/Ptr.h"
#include "Core/Variant.h"
#include "Private/Data/SqlStatements.h"
#include "Support/LogCapture.h"
#include "Support/SqliteReader.h"
#include "Support/Thrown.h"
#include "Vesk/Data/IObjectList.h"
#include "Vesk/Data/ITable.h"

namespace SqlTest {

using ::Data::Variant;
using TablePtr = Core::Ptr<::Data::Interfaces::ITable>;
using RowPtr = Core::Ptr<::Data::Interfaces::IRow>;

struct ColumnSpec {
    std::string name;
    int32_t type;
};

// A data table with the given columns; key names the key column when not empty.
TablePtr MakeTable(const std::string& name, const std::vector<ColumnSpec>& columns, const std::string& key = "");
RowPtr AddRow(const TablePtr& table, const std::vector<Variant>& cells);
RowPtr RowAt(const TablePtr& table, uint64_t index);
Variant Cell(const RowPtr& row, const std::string& name);
void SetCell(const RowPtr& row, const std::string& name, const Variant& value);

::Data::Uuid ParseUuid(const std::string& text);
// Cell values of the reference form: a list, which no statement can bind, and a point in time.
Core::Ptr<::Data::Interfaces::IObjectList> NewObjectList();
Core::Ptr<::Data::Interfaces::IDateTime> NewDateTime(const char* iso8601);
using VeskTest::LogCapture;
using VeskTest::MessageThrownBy;

// A filter of one condition: column op value.
inline Vesk::Data::Sql::Filter Condition(const std::string& column, int32_t op, Variant value) {
    Vesk::Data::Sql::Filter filter;
    filter.column = column;
    filter.op = op;
    filter.value = std::move(value);
    return filter;
}

// A second, plain SQLite connection for checking what the library wrote.
using RawDb = VeskTest::SqliteReader;

}  // namespace SqlTest
