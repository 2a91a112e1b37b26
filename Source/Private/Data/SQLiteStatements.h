#pragma once
// The SQLite dialect of the SQL generator.
#include "Private/Data/SqlStatements.h"

namespace Vesk::Data::SQLite {

using Sql::ColumnNames;
using Sql::ColumnPtr;
using Sql::DbTableInfo;
using Sql::Filter;
using Sql::RowPtr;
using Sql::ShapeLayerPtr;
using Sql::ShapePtr;
using Sql::TablePtr;
using Sql::WithParameters;

class SqliteStatements final : public Sql::SqlStatements {
public:
    std::string DropTableSql(const DbTableInfo& info) override;                                      // 0
    std::string CreateTableSql(const TablePtr& table, const DbTableInfo& info) override;             // 1
    std::string CreateTableSql(ShapeLayerPtr layer, const DbTableInfo& info) override;               // 2
    std::string CreateSpatialIndexSql(const DbTableInfo& info, const std::string& column) override;  // 3
    std::string CreateIndexSql(const DbTableInfo& info, const std::string& column) override;         // 4
    std::string CreateIndexBtreeSql(const DbTableInfo& info, const std::string& column) override;    // 5
    std::string CreateIndexJsonbPathSql(const DbTableInfo& info, const std::string& column,
                                        const std::string& path) override;                                     // 6
    std::string ShapeColumnsSql(ShapeLayerPtr layer, const DbTableInfo& info) override;                        // 7
    std::string ShapeValuesSql(ShapePtr shape, const ColumnNames& columns) override;                           // 8
    std::string InsertShapeSql(ShapePtr shape, const DbTableInfo& info) override;                              // 9
    std::string InsertSql(ShapePtr shape, const DbTableInfo& info, const ColumnNames& layerColumns) override;  // 10
    std::string InsertReturningSql(ShapeLayerPtr layer, const DbTableInfo& info) override;                     // 11
    std::string ColumnsSql(const RowPtr& row) override;                                                        // 12
    std::string ValuesSql(const RowPtr& row) override;                                                         // 13
    std::string InsertSql(const RowPtr& row, const DbTableInfo& info, const ColumnNames& columns) override;    // 14
    std::string InsertSql(const RowPtr& row, const DbTableInfo& info) override;                                // 15
    std::string InsertSql(const RowPtr& row, const DbTableInfo& info, WithParameters) override;                // 16
    std::string ShapeSetSql(ShapePtr shape, const ColumnNames& columns, const DbTableInfo& info) override;     // 17
    std::string UpdateSql(ShapePtr shape, const DbTableInfo& info) override;                                   // 18
    std::string UpdateSql(const RowPtr& row, const DbTableInfo& info, WithParameters) override;                // 19
    std::string SetSql(const RowPtr& row, const ColumnNames& columns, const DbTableInfo& info) override;       // 20
    std::string UpdateSql(const RowPtr& row, const DbTableInfo& info) override;                                // 21
    std::string DeleteSql(ShapePtr shape, const DbTableInfo& info) override;                                   // 22
    std::string DeleteSql(const DbTableInfo& info) override;                                                   // 23
    std::string DeleteSql(const RowPtr& row, const DbTableInfo& info) override;                                // 24
    std::string DeleteAllSql(const DbTableInfo& info) override;                                                // 25
    std::string SelectByIdSql(const DbTableInfo& info) override;                                               // 26
    std::string SelectSql(const DbTableInfo& info, uint64_t offset, uint64_t limit,
                          const Filter& filter) override;                                      // 27
    std::string SelectSql(const DbTableInfo& info, uint64_t offset, uint64_t limit) override;  // 28
    std::string SelectSql(const DbTableInfo& info, const Filter& filter) override;             // 29
    std::string SelectSql(const DbTableInfo& info) override;                                   // 30
    std::string SelectCountSql(const DbTableInfo& info, const Filter& filter) override;        // 31
    std::string SelectMaxSql(const DbTableInfo& info, const std::string& column) override;     // 32
    std::string SelectCountIntersectsSql(const DbTableInfo& info,
                                         Vesk::Interfaces::IBoundingBox3d* box) override;         // 33
    std::string SelectWktGeometrySql(const DbTableInfo& info) override;                           // 34
    std::string SelectWktGeometrySql(const DbTableInfo& info, const Filter& filter) override;     // 35
    std::string SelectExtentSql(const DbTableInfo& info) override;                                // 36
    std::string SelectSrsIdSql(const DbTableInfo& info) override;                                 // 37
    std::string SelectColumnsSql(const TablePtr& table) override;                                 // 38
    std::string SelectSql_Columns(const DbTableInfo& info, const ColumnNames& columns) override;  // 39
    std::string SelectSql(const TablePtr& table, const DbTableInfo& info, const Filter& filter, uint64_t offset,
                          uint64_t limit) override;  // 40
    std::string SelectSql(const TablePtr& table, const DbTableInfo& info, uint64_t offset,
                          uint64_t limit) override;                                                        // 41
    std::string SelectSql(const TablePtr& table, const DbTableInfo& info, const Filter& filter) override;  // 42
    std::string SelectSql(const TablePtr& table, const DbTableInfo& info) override;                        // 43
    std::string SelectSql(ShapeLayerPtr layer, const DbTableInfo& info) override;                          // 44
    std::string SelectSql(ShapeLayerPtr layer, const DbTableInfo& info, const Filter& filter) override;    // 45
    std::string SelectSql(ShapeLayerPtr layer, const DbTableInfo& info, uint64_t offset,
                          uint64_t limit) override;  // 46
    std::string SelectSql(ShapeLayerPtr layer, const DbTableInfo& info, const Filter& filter, uint64_t offset,
                          uint64_t limit) override;  // 47
    std::string SelectSql(ShapeLayerPtr layer, const DbTableInfo& info,
                          Vesk::Interfaces::IBoundingBox3d* box) override;              // 48
    std::string GetTypeString(const ColumnPtr& column) override;                        // 49
    std::string GetTypeString(Vesk::Interfaces::IAttributeHeader* attribute) override;  // 50
    std::string GetTypeString(int32_t valueType) override;                              // 51
    std::string ValueLiteralSql(const Data::Variant& value) override;                   // 52
    std::string ConditionSql(const Filter& filter) override;                            // 53
};

// Replaces every occurrence of placeholder in text, left to right; the scan goes on behind each inserted
// replacement, so a replacement that contains the placeholder is not expanded again.
void ReplacePlaceholder(std::string& text, std::string_view placeholder, std::string_view replacement);

}  // namespace Vesk::Data::SQLite
