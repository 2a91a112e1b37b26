#pragma once
// The generator of SQL text: one operation per kind of statement, stateless, so that one generator
// serves any number of tables. Dialects implement it; SQLite is the one the library uses.
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "Core/Ptr.h"
#include "Core/Variant.h"
#include "Private/Data/DataObjectNames.h"
#include "Vesk/Data/ITable.h"

// Shape objects are implemented outside the library; the generator only passes them on to the
// geometry writer.
namespace Vesk::Interfaces {
struct IShapeObject;
struct IShapeLayer;
struct IAttributeHeader;
struct IBoundingBox3d;
}  // namespace Vesk::Interfaces

namespace Vesk::Data::Sql {

// The description of one database table.
struct DbTableInfo {
    std::string name;
    std::string schema = "public";
    // The geometry column of a table of shapes; empty for a plain table.
    std::string geometryColumn;
    // The integer key column.
    std::string idColumn = "id";
};

// Filter operator codes. 6/9 and 7/10 produce the same SQL.
enum FilterOperator : int32_t {
    OpNone = 0,
    OpEqual = 1,
    OpGreater = 2,
    OpLess = 3,
    OpGreaterOrEqual = 4,
    OpLessOrEqual = 5,
    OpLike = 6,
    OpNotLike = 7,
    OpNotEqual = 8,
    OpMatches = 9,
    OpNotMatches = 10,
    OpContains = 11,
};

// The SQL text of a filter operator code; any other code throws "Unsupported operator".
const char* OperatorSql(int32_t op);

// One node of a row filter: its own condition (unless op is OpNone), then children joined with OR and
// with AND.
struct Filter {
    std::string column;
    Data::Variant value;
    // The candidates of OpContains.
    std::vector<Data::Variant> values;
    int32_t op = OpNone;
    std::vector<Filter> anyOf;
    std::vector<Filter> allOf;

    bool IsEmpty() const noexcept { return op == OpNone && anyOf.empty() && allOf.empty(); }
};

// Selects the form of an operation that leaves its values to bound parameters.
struct WithParameters {};
inline constexpr WithParameters kWithParameters{};

// A limit of all bits set means "no limit".
inline constexpr uint64_t kNoLimit = std::numeric_limits<uint64_t>::max();

using RowPtr = Core::Ptr<Data::Interfaces::IRow>;
using TablePtr = Core::Ptr<Data::Interfaces::ITable>;
using ColumnPtr = Core::Ptr<Data::Interfaces::IColumn>;
using ShapePtr = Vesk::Interfaces::IShapeObject*;
using ShapeLayerPtr = Vesk::Interfaces::IShapeLayer*;
using ColumnNames = std::vector<std::string>;

// Operations are known by their place in the declared order, DropTableSql being the first; the destructor
// is declared last so that it shifts none of them.
class SqlStatements {
public:
    virtual std::string DropTableSql(const DbTableInfo& info) = 0;                                      // 0
    virtual std::string CreateTableSql(const TablePtr& table, const DbTableInfo& info) = 0;             // 1
    virtual std::string CreateTableSql(ShapeLayerPtr layer, const DbTableInfo& info) = 0;               // 2
    virtual std::string CreateSpatialIndexSql(const DbTableInfo& info, const std::string& column) = 0;  // 3
    virtual std::string CreateIndexSql(const DbTableInfo& info, const std::string& column) = 0;         // 4
    virtual std::string CreateIndexBtreeSql(const DbTableInfo& info, const std::string& column) = 0;    // 5
    virtual std::string CreateIndexJsonbPathSql(const DbTableInfo& info, const std::string& column,
                                                const std::string& path) = 0;                                     // 6
    virtual std::string ShapeColumnsSql(ShapeLayerPtr layer, const DbTableInfo& info) = 0;                        // 7
    virtual std::string ShapeValuesSql(ShapePtr shape, const ColumnNames& columns) = 0;                           // 8
    virtual std::string InsertShapeSql(ShapePtr shape, const DbTableInfo& info) = 0;                              // 9
    virtual std::string InsertSql(ShapePtr shape, const DbTableInfo& info, const ColumnNames& layerColumns) = 0;  // 10
    virtual std::string InsertReturningSql(ShapeLayerPtr layer, const DbTableInfo& info) = 0;                     // 11
    virtual std::string ColumnsSql(const RowPtr& row) = 0;                                                        // 12
    virtual std::string ValuesSql(const RowPtr& row) = 0;                                                         // 13
    virtual std::string InsertSql(const RowPtr& row, const DbTableInfo& info, const ColumnNames& columns) = 0;    // 14
    virtual std::string InsertSql(const RowPtr& row, const DbTableInfo& info) = 0;                                // 15
    virtual std::string InsertSql(const RowPtr& row, const DbTableInfo& info, WithParameters) = 0;                // 16
    virtual std::string ShapeSetSql(ShapePtr shape, const ColumnNames& columns, const DbTableInfo& info) = 0;     // 17
    virtual std::string UpdateSql(ShapePtr shape, const DbTableInfo& info) = 0;                                   // 18
    virtual std::string UpdateSql(const RowPtr& row, const DbTableInfo& info, WithParameters) = 0;                // 19
    virtual std::string SetSql(const RowPtr& row, const ColumnNames& columns, const DbTableInfo& info) = 0;       // 20
    virtual std::string UpdateSql(const RowPtr& row, const DbTableInfo& info) = 0;                                // 21
    virtual std::string DeleteSql(ShapePtr shape, const DbTableInfo& info) = 0;                                   // 22
    virtual std::string DeleteSql(const DbTableInfo& info) = 0;                                                   // 23
    virtual std::string DeleteSql(const RowPtr& row, const DbTableInfo& info) = 0;                                // 24
    virtual std::string DeleteAllSql(const DbTableInfo& info) = 0;                                                // 25
    virtual std::string SelectByIdSql(const DbTableInfo& info) = 0;                                               // 26
    virtual std::string SelectSql(const DbTableInfo& info, uint64_t offset, uint64_t limit,
                                  const Filter& filter) = 0;                                      // 27
    virtual std::string SelectSql(const DbTableInfo& info, uint64_t offset, uint64_t limit) = 0;  // 28
    virtual std::string SelectSql(const DbTableInfo& info, const Filter& filter) = 0;             // 29
    virtual std::string SelectSql(const DbTableInfo& info) = 0;                                   // 30
    virtual std::string SelectCountSql(const DbTableInfo& info, const Filter& filter) = 0;        // 31
    virtual std::string SelectMaxSql(const DbTableInfo& info, const std::string& column) = 0;     // 32
    virtual std::string SelectCountIntersectsSql(const DbTableInfo& info,
                                                 Vesk::Interfaces::IBoundingBox3d* box) = 0;         // 33
    virtual std::string SelectWktGeometrySql(const DbTableInfo& info) = 0;                           // 34
    virtual std::string SelectWktGeometrySql(const DbTableInfo& info, const Filter& filter) = 0;     // 35
    virtual std::string SelectExtentSql(const DbTableInfo& info) = 0;                                // 36
    virtual std::string SelectSrsIdSql(const DbTableInfo& info) = 0;                                 // 37
    virtual std::string SelectColumnsSql(const TablePtr& table) = 0;                                 // 38
    virtual std::string SelectSql_Columns(const DbTableInfo& info, const ColumnNames& columns) = 0;  // 39
    virtual std::string SelectSql(const TablePtr& table, const DbTableInfo& info, const Filter& filter, uint64_t offset,
                                  uint64_t limit) = 0;  // 40
    virtual std::string SelectSql(const TablePtr& table, const DbTableInfo& info, uint64_t offset,
                                  uint64_t limit) = 0;                                                        // 41
    virtual std::string SelectSql(const TablePtr& table, const DbTableInfo& info, const Filter& filter) = 0;  // 42
    virtual std::string SelectSql(const TablePtr& table, const DbTableInfo& info) = 0;                        // 43
    virtual std::string SelectSql(ShapeLayerPtr layer, const DbTableInfo& info) = 0;                          // 44
    virtual std::string SelectSql(ShapeLayerPtr layer, const DbTableInfo& info, const Filter& filter) = 0;    // 45
    virtual std::string SelectSql(ShapeLayerPtr layer, const DbTableInfo& info, uint64_t offset,
                                  uint64_t limit) = 0;  // 46
    virtual std::string SelectSql(ShapeLayerPtr layer, const DbTableInfo& info, const Filter& filter, uint64_t offset,
                                  uint64_t limit) = 0;  // 47
    virtual std::string SelectSql(ShapeLayerPtr layer, const DbTableInfo& info,
                                  Vesk::Interfaces::IBoundingBox3d* box) = 0;              // 48
    virtual std::string GetTypeString(const ColumnPtr& column) = 0;                        // 49
    virtual std::string GetTypeString(Vesk::Interfaces::IAttributeHeader* attribute) = 0;  // 50
    virtual std::string GetTypeString(int32_t valueType) = 0;                              // 51
    virtual std::string ValueLiteralSql(const Data::Variant& value) = 0;                   // 52
    virtual std::string ConditionSql(const Filter& filter) = 0;                            // 53
    virtual ~SqlStatements() = default;

    // The text of a filter tree: empty for an empty filter, else its conditions, prefixed with keyword
    // and a blank when keyword is not empty.
    std::string WhereSql(const Filter& filter, const std::string& keyword);
};

}  // namespace Vesk::Data::Sql
