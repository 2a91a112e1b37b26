#include "Private/Data/SQLiteStatements.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "Core/ErrorCode.h"
#include "Core/Fatal.h"
#include "Core/Guard.h"
#include "Core/StringFormat.h"
#include "Core/TableAccess.h"
#include "Private/Data/Geometry.h"
#include "Vesk/Shapes/IShape.h"

namespace Vesk::Data {

namespace DI = Data::Interfaces;
namespace DS = Data::Structures;
namespace VI = Vesk::Interfaces;

namespace Sql {

std::string SqlStatements::WhereSql(const Filter& filter, const std::string& keyword) {
    if (filter.IsEmpty()) {
        return {};
    }
    // A node without a condition of its own only groups its children; the first child then needs no
    // connective in front of it.
    std::string text = filter.op != OpNone ? ConditionSql(filter) : std::string();
    auto append = [&](const char* connective, const Filter& child) {
        const std::string inner = WhereSql(child, "");
        text += text.empty() ? fmt::format("({})", inner) : fmt::format(" {} ({})", connective, inner);
    };
    for (const Filter& child : filter.anyOf) {
        append("OR", child);
    }
    for (const Filter& child : filter.allOf) {
        append("AND", child);
    }
    return keyword.empty() ? text : fmt::format("{} {}", keyword, text);
}

const char* OperatorSql(int32_t op) {
    switch (op) {
        case OpEqual:
            return "=";
        case OpGreater:
            return ">";
        case OpLess:
            return "<";
        case OpGreaterOrEqual:
            return ">=";
        case OpLessOrEqual:
            return "<=";
        case OpLike:
        case OpMatches:
            return "LIKE";
        case OpNotLike:
        case OpNotMatches:
            return "NOT LIKE";
        case OpNotEqual:
            return "<>";
        case OpContains:
            return "CONTAINS";
        default:
            throw std::runtime_error("Unsupported operator");
    }
}

}  // namespace Sql

namespace SQLite {

namespace {

constexpr const char* kClass = "Vesk::Data::SQLite::SqliteStatements::";

[[noreturn]] void NotImplemented(const char* operation, const char* message = "Not implemented!") {
    const std::string function = std::string(kClass) + operation;
    Core::RaiseFatalIn(function.c_str(), message);
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// Doubles every occurrence of quote, the SQL way of escaping it inside a quoted name or text.
std::string Doubled(std::string_view text, char quote) {
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        result += c;
        if (c == quote) {
            result += c;
        }
    }
    return result;
}

// Drops count characters from the end of a list built with a separator after every item.
void DropTail(std::string& text, size_t count) {
    text.resize(text.size() >= count ? text.size() - count : 0);
}

std::string Fill(std::string text, std::initializer_list<std::pair<std::string_view, std::string_view>> values) {
    for (const auto& [placeholder, replacement] : values) {
        ReplacePlaceholder(text, placeholder, replacement);
    }
    return text;
}

// Geometry blobs make long literals, so the digits are looked up rather than formatted one by one.
std::string HexLiteral(const uint8_t* bytes, uint64_t size) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(size * 2 + 3, '\'');
    text[0] = 'X';
    for (uint64_t i = 0; i < size; ++i) {
        text[2 + 2 * i] = kDigits[bytes[i] >> 4];
        text[3 + 2 * i] = kDigits[bytes[i] & 0x0F];
    }
    return text;
}

// Text as a quoted SQL literal. A zero byte would end the statement text early, so such text is
// written as its bytes cast back to text.
std::string TextLiteral(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) {
        return "CAST(" + HexLiteral(reinterpret_cast<const uint8_t*>(text.data()), text.size()) + " AS TEXT)";
    }
    return "'" + Doubled(text, '\'') + "'";
}

// SQLite stores NaN as NULL; infinities are written as literals that overflow to them.
std::string RealLiteral(const Variant& value) {
    const double d = value.ToDouble();
    if (std::isnan(d)) {
        return "NULL";
    }
    if (std::isinf(d)) {
        return d > 0 ? "1e999" : "-1e999";
    }
    return value.ToString();
}

// A LIMIT value: SQLite has no unsigned 64-bit integers, and -1 is its own "no limit".
std::string LimitText(uint64_t limit) {
    return limit > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) ? std::string("-1")
                                                                              : std::to_string(limit);
}

// One value as it stands in a VALUES list or a SET item, followed by a comma.
std::string ValueItem(const Variant& value) {
    value.CheckDefined();
    if (!value.HasData()) {
        return "NULL,";
    }
    switch (value.Type()) {
        case DS::VT_String:
        case DS::VT_JsonDocument:
        case DS::VT_XmlDocument:
            return TextLiteral(value.ToString()) + ",";
        case DS::VT_DateTime:
            return "'" + Doubled(value.ToString(), '\'') + "',";
        case DS::VT_Array:
        case DS::VT_Uuid: {
            const uint64_t size = value.Size();
            if (size == 0) {
                return "NULL,";
            }
            return HexLiteral(static_cast<const uint8_t*>(value.Data()), size) + ",";
        }
        case DS::VT_Double:
        case DS::VT_Float:
            return RealLiteral(value) + ",";
        default:
            return Doubled(value.ToString(), '\'') + ",";
    }
}

std::string QuotedName(std::string_view name) {
    return "\"" + Doubled(name, '"') + "\"";
}

// The key cell as the integer that inline UPDATE and DELETE statements compare with.
std::string KeyText(const RowPtr& row, const DbTableInfo& info) {
    return std::to_string(CellNamed(row, info.idColumn).ToInt64());
}

Core::Ptr<VI::IShapeHeader> HeaderOfShape(VI::IShapeObject* shape) {
    Core::CheckNotNull(shape);
    Core::Ptr<VI::IShapeHeader> header;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return shape->GetHeader(header.Receive(), e); });
    return header;
}

Core::Ptr<VI::IShapeHeader> HeaderOfLayer(VI::IShapeLayer* layer) {
    Core::CheckNotNull(layer);
    Core::Ptr<VI::IShapeHeader> header;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return layer->GetHeader(header.Receive(), e); });
    return header;
}

// The attribute column names of a shape header, in column order.
ColumnNames AttributeNames(const Core::Ptr<VI::IShapeHeader>& header) {
    ColumnNames names;
    const uint32_t count = header->GetAttributeCount();
    names.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        Core::Ptr<VI::IAttributeHeader> attribute;
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return header->GetAttribute(i, attribute.Receive(), e); });
        names.emplace_back(attribute->GetName());
    }
    return names;
}

Variant ShapeValue(VI::IShapeObject* shape, const std::string& name) {
    Core::Ptr<VI::IAttributeValue> attribute;
    Core::ThrowIfFailed(
        [&](Core::IErrorCode** e) { return shape->GetAttributeByName(name.c_str(), attribute.Receive(), e); });
    Variant value;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return attribute->GetValue(value.Receive(), e); });
    return value;
}

// The shape's GeoPackage geometry blob as a hex literal.
std::string GeometryLiteral(VI::IShapeObject* shape) {
    Geopackage::GeopackageGeometryInstance blob;
    Geopackage::WriteShapeGeometry(shape, blob);
    return HexLiteral(blob.Data(), blob.Size());
}

// The shape's key attribute as the integer that inline UPDATE and DELETE statements compare with.
std::string KeyText(VI::IShapeObject* shape, const DbTableInfo& info) {
    return std::to_string(ShapeValue(shape, info.idColumn).ToInt64());
}

// Converts, in place, every condition value of the tree whose column the table has with another value
// type. A value that does not convert is left as it was.
void Normalise(Filter& filter, DI::ITableHeader* table) {
    if (filter.op != Sql::OpNone) {
        const int64_t index = table->FindColumn(filter.column.c_str());
        if (index >= 0) {
            const auto columnType =
                static_cast<uint16_t>(ColumnAt(table, static_cast<uint32_t>(index))->GetValueType());
            if (columnType != filter.value.Type()) {
                Variant converted;
                if (Data::TryConvert(filter.value, columnType, converted)) {
                    filter.value = std::move(converted);
                }
            }
        }
    }
    for (Filter& child : filter.anyOf) {
        Normalise(child, table);
    }
    for (Filter& child : filter.allOf) {
        Normalise(child, table);
    }
}

constexpr const char* kInsert = "INSERT INTO \"${TABLE}\" (${COLUMNS}) VALUES (${VALUES});";
constexpr const char* kSelectColumns = "SELECT ${COLUMNS} FROM \"${TABLE}\";";
constexpr const char* kSelectColumnsWhere = "SELECT ${COLUMNS} FROM \"${TABLE}\" ${WHERE};";

}  // namespace

void ReplacePlaceholder(std::string& text, std::string_view placeholder, std::string_view replacement) {
    if (placeholder.empty()) {
        return;
    }
    size_t position = 0;
    while ((position = text.find(placeholder, position)) != std::string::npos) {
        text.replace(position, placeholder.size(), replacement);
        position += replacement.size();
    }
}

// ---- Tables and indexes ----

std::string SqliteStatements::DropTableSql(const DbTableInfo& info) {
    return Fill("DROP TABLE IF EXISTS \"${TABLE}\";", {{"${TABLE}", info.name}});
}

std::string SqliteStatements::CreateTableSql(const TablePtr& table, const DbTableInfo& info) {
    static constexpr const char* kTemplate =
        "\n\t\t\tCREATE TABLE \"${TABLE}\" (\n\t\t\t\t\"${ID}\" INTEGER NOT NULL,\n\t\t\t\t${COLUMNS}\n\t\t\t\t"
        "CONSTRAINT \"pk_${TABLE}\" PRIMARY KEY (\"${ID}\")\n\t\t\t);";
    const std::string id = Lower(info.idColumn);
    std::string columns;
    const uint32_t count = table->GetColumnCount();
    for (uint32_t i = 0; i < count; ++i) {
        ColumnPtr column = ColumnAt(table.Get(), i);
        if (Lower(column->GetName()) == id) {
            continue;  // the template writes the key column itself
        }
        const bool nullable = column->IsNullable() || column->AllowsDbNull();
        columns += Core::StringFormat("\t\"%s\" %s %s %s,\n", column->GetName(), GetTypeString(column).c_str(),
                                      nullable ? "NULL" : "NOT NULL", column->IsUnique() ? "UNIQUE" : "");
    }
    static constexpr std::string_view kBlanks = "\t\n\v\f\r ";
    const size_t first = columns.find_first_not_of(kBlanks);
    columns = first == std::string::npos ? std::string()
                                         : columns.substr(first, columns.find_last_not_of(kBlanks) - first + 1);
    return Fill(kTemplate, {{"${ID}", info.idColumn}, {"${TABLE}", info.name}, {"${COLUMNS}", columns}});
}

std::string SqliteStatements::CreateTableSql(ShapeLayerPtr, const DbTableInfo&) {
    NotImplemented("CreateTableSql");
}

std::string SqliteStatements::CreateSpatialIndexSql(const DbTableInfo&, const std::string&) {
    NotImplemented("CreateSpatialIndexSql");
}

std::string SqliteStatements::CreateIndexSql(const DbTableInfo& info, const std::string& column) {
    return Fill("CREATE INDEX ${TABLE}_${COLUMN}_idx ON ${TABLE} (${COLUMN});",
                {{"${TABLE}", info.name}, {"${COLUMN}", column}});
}

std::string SqliteStatements::CreateIndexBtreeSql(const DbTableInfo&, const std::string&) {
    NotImplemented("CreateIndexBtreeSql");
}

std::string SqliteStatements::CreateIndexJsonbPathSql(const DbTableInfo&, const std::string&, const std::string&) {
    NotImplemented("CreateIndexJsonbPathSql");
}

// ---- Shapes ----

std::string SqliteStatements::ShapeColumnsSql(ShapeLayerPtr layer, const DbTableInfo& info) {
    std::string text;
    for (const std::string& name : AttributeNames(HeaderOfLayer(layer))) {
        text += Core::StringFormat("\"%s\", ", name.c_str());
    }
    text += Core::StringFormat("\"%s\", ", info.geometryColumn.c_str());
    DropTail(text, 2);
    return text;
}

std::string SqliteStatements::ShapeValuesSql(ShapePtr shape, const ColumnNames& columns) {
    Core::CheckNotNull(shape);
    std::string text;
    for (const std::string& name : columns) {
        text += ValueItem(ShapeValue(shape, name));
    }
    text += GeometryLiteral(shape) + ",";
    DropTail(text, 1);
    return text;
}

std::string SqliteStatements::InsertShapeSql(ShapePtr, const DbTableInfo&) {
    NotImplemented("InsertShapeSql");
}

std::string SqliteStatements::InsertSql(ShapePtr shape, const DbTableInfo& info, const ColumnNames& layerColumns) {
    Core::CheckNotNull(shape);
    Core::Ptr<VI::IShapeLayer> layer;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return shape->GetLayer(layer.Receive(), e); });
    return Fill(kInsert, {{"${TABLE}", info.name},
                          {"${COLUMNS}", ShapeColumnsSql(layer.Get(), info)},
                          {"${VALUES}", ShapeValuesSql(shape, layerColumns)}});
}

std::string SqliteStatements::InsertReturningSql(ShapeLayerPtr layer, const DbTableInfo& info) {
    const std::string id = Lower(info.idColumn);
    std::string columns;
    std::string values;
    for (const std::string& name : AttributeNames(HeaderOfLayer(layer))) {
        if (Lower(name) == id) {
            continue;  // the database chooses the key and hands it back
        }
        columns += Core::StringFormat("\"%s\", ", name.c_str());
        values += "?, ";
    }
    columns += info.geometryColumn;
    values += "?";
    return Fill(
        "INSERT INTO \"${TABLE}\" (${COLUMNS}) VALUES (${VALUES}) RETURNING ${ID};",
        {{"${TABLE}", layer->GetName()}, {"${COLUMNS}", columns}, {"${VALUES}", values}, {"${ID}", info.idColumn}});
}

std::string SqliteStatements::ShapeSetSql(ShapePtr shape, const ColumnNames& columns, const DbTableInfo& info) {
    Core::CheckNotNull(shape);
    const std::string id = Lower(info.idColumn);
    std::string text;
    for (const std::string& name : columns) {
        if (Lower(name) == id) {
            continue;
        }
        text += QuotedName(name) + " = " + ValueItem(ShapeValue(shape, name));
    }
    text += QuotedName(info.geometryColumn) + " = " + GeometryLiteral(shape) + ",";
    DropTail(text, 1);
    return text;
}

std::string SqliteStatements::UpdateSql(ShapePtr shape, const DbTableInfo& info) {
    const std::string set = ShapeSetSql(shape, AttributeNames(HeaderOfShape(shape)), info);
    return Fill("UPDATE \"${TABLE}\" SET ${COLUMN_VALUE} WHERE ${ID} = ${VALUE};;",
                {{"${TABLE}", info.name},
                 {"${COLUMN_VALUE}", set},
                 {"${ID}", info.idColumn},
                 {"${VALUE}", KeyText(shape, info)}});
}

std::string SqliteStatements::DeleteSql(ShapePtr shape, const DbTableInfo& info) {
    Core::CheckNotNull(shape);
    return Fill("DELETE FROM \"${TABLE}\" WHERE ${ID} = ${VALUE};",
                {{"${TABLE}", info.name}, {"${ID}", info.idColumn}, {"${VALUE}", KeyText(shape, info)}});
}

// ---- Rows ----

std::string SqliteStatements::ColumnsSql(const RowPtr& row) {
    std::string text;
    for (const std::string& name : ColumnNamesOf(HeaderOf(row).Get())) {
        text += QuotedName(name) + ", ";
    }
    DropTail(text, 2);
    return text;
}

std::string SqliteStatements::ValuesSql(const RowPtr& row) {
    std::string text;
    const uint32_t count = row->GetCellCount();
    for (uint32_t i = 0; i < count; ++i) {
        text += ValueItem(CellAt(row, i));
    }
    DropTail(text, 1);
    return text;
}

std::string SqliteStatements::InsertSql(const RowPtr& row, const DbTableInfo& info, const ColumnNames& columns) {
    std::string names;
    for (const std::string& name : columns) {
        names += QuotedName(name) + ", ";
    }
    DropTail(names, 2);
    return Fill(kInsert, {{"${TABLE}", info.name}, {"${COLUMNS}", names}, {"${VALUES}", ValuesSql(row)}});
}

std::string SqliteStatements::InsertSql(const RowPtr& row, const DbTableInfo& info) {
    return Fill(kInsert, {{"${TABLE}", info.name}, {"${COLUMNS}", ColumnsSql(row)}, {"${VALUES}", ValuesSql(row)}});
}

std::string SqliteStatements::InsertSql(const RowPtr& row, const DbTableInfo& info, WithParameters) {
    std::string values;
    const uint32_t count = row->GetCellCount();
    for (uint32_t i = 0; i < count; ++i) {
        values += "?, ";
    }
    DropTail(values, 2);
    return Fill(kInsert, {{"${TABLE}", info.name}, {"${COLUMNS}", ColumnsSql(row)}, {"${VALUES}", values}});
}

std::string SqliteStatements::UpdateSql(const RowPtr& row, const DbTableInfo& info, WithParameters) {
    std::string columns;
    for (const std::string& name : ColumnNamesOf(HeaderOf(row).Get())) {
        if (name != info.idColumn) {
            columns += QuotedName(name) + " = ?,";
        }
    }
    DropTail(columns, 1);
    return Fill("UPDATE \"${TABLE}\" SET ${COLUMNS} WHERE ${ID} = ?;",
                {{"${TABLE}", info.name}, {"${COLUMNS}", columns}, {"${ID}", info.idColumn}});
}

std::string SqliteStatements::SetSql(const RowPtr& row, const ColumnNames& columns, const DbTableInfo& info) {
    const std::string id = Lower(info.idColumn);
    std::string text;
    for (const std::string& name : columns) {
        if (Lower(name) == id) {
            continue;
        }
        text += QuotedName(name) + " = " + ValueItem(CellNamed(row, name));
    }
    DropTail(text, 1);
    return text;
}

std::string SqliteStatements::UpdateSql(const RowPtr& row, const DbTableInfo& info) {
    const std::string set = SetSql(row, ColumnNamesOf(HeaderOf(row).Get()), info);
    return Fill("UPDATE \"${TABLE}\" SET ${COLUMN_VALUE} WHERE ${ID} = ${VALUE};;", {{"${TABLE}", info.name},
                                                                                     {"${COLUMN_VALUE}", set},
                                                                                     {"${ID}", info.idColumn},
                                                                                     {"${VALUE}", KeyText(row, info)}});
}

std::string SqliteStatements::DeleteSql(const DbTableInfo& info) {
    return Fill("DELETE FROM \"${TABLE}\" WHERE ${ID} = ?;", {{"${TABLE}", info.name}, {"${ID}", info.idColumn}});
}

std::string SqliteStatements::DeleteSql(const RowPtr& row, const DbTableInfo& info) {
    return Fill("DELETE FROM \"${TABLE}\" WHERE ${ID} = ${VALUE};",
                {{"${TABLE}", info.name}, {"${ID}", info.idColumn}, {"${VALUE}", KeyText(row, info)}});
}

std::string SqliteStatements::DeleteAllSql(const DbTableInfo& info) {
    return Fill("DELETE FROM \"${TABLE}\";", {{"${TABLE}", info.name}});
}

// ---- Selects by table description ----

std::string SqliteStatements::SelectByIdSql(const DbTableInfo& info) {
    return Core::StringFormat("SELECT * FROM \"%s\" WHERE %s = ?;", info.name.c_str(), info.idColumn.c_str());
}

std::string SqliteStatements::SelectSql(const DbTableInfo& info, uint64_t offset, uint64_t limit,
                                        const Filter& filter) {
    if (offset == 0 && limit == Sql::kNoLimit) {
        return SelectSql(info, filter);
    }
    return Core::StringFormat("SELECT * FROM \"%s\" %s LIMIT %s OFFSET %llu;", info.name.c_str(),
                              WhereSql(filter, "WHERE").c_str(), LimitText(limit).c_str(),
                              static_cast<unsigned long long>(offset));
}

std::string SqliteStatements::SelectSql(const DbTableInfo& info, uint64_t offset, uint64_t limit) {
    return Core::StringFormat("SELECT * FROM \"%s\" LIMIT %s OFFSET %llu;", info.name.c_str(), LimitText(limit).c_str(),
                              static_cast<unsigned long long>(offset));
}

std::string SqliteStatements::SelectSql(const DbTableInfo& info, const Filter& filter) {
    return Core::StringFormat("SELECT * FROM \"%s\" %s;", info.name.c_str(), WhereSql(filter, "WHERE").c_str());
}

std::string SqliteStatements::SelectSql(const DbTableInfo& info) {
    return Core::StringFormat("SELECT * FROM \"%s\";", info.name.c_str());
}

std::string SqliteStatements::SelectCountSql(const DbTableInfo& info, const Filter& filter) {
    return Core::StringFormat("SELECT COUNT(*) FROM \"%s\" %s;", info.name.c_str(), WhereSql(filter, "WHERE").c_str());
}

std::string SqliteStatements::SelectMaxSql(const DbTableInfo& info, const std::string& column) {
    return Core::StringFormat("SELECT MAX(\"%s\") FROM \"%s\";", column.c_str(), info.name.c_str());
}

std::string SqliteStatements::SelectCountIntersectsSql(const DbTableInfo&, Vesk::Interfaces::IBoundingBox3d*) {
    NotImplemented("SelectCountIntersectsSql");
}

std::string SqliteStatements::SelectWktGeometrySql(const DbTableInfo&) {
    NotImplemented("SelectWktGeometrySql");
}

std::string SqliteStatements::SelectWktGeometrySql(const DbTableInfo&, const Filter&) {
    NotImplemented("SelectWktGeometrySql");
}

std::string SqliteStatements::SelectExtentSql(const DbTableInfo& info) {
    return Core::StringFormat("SELECT min_x, min_y, max_x, max_y FROM gpkg_contents WHERE table_name = '%s';",
                              Doubled(info.name, '\'').c_str());
}

std::string SqliteStatements::SelectSrsIdSql(const DbTableInfo& info) {
    return Core::StringFormat("SELECT srs_id FROM gpkg_contents WHERE table_name = '%s';",
                              Doubled(info.name, '\'').c_str());
}

// ---- Selects by data table ----

std::string SqliteStatements::SelectColumnsSql(const TablePtr& table) {
    std::string text;
    for (const std::string& name : ColumnNamesOf(table.Get())) {
        text += Core::StringFormat("\"%s\", ", name.c_str());
    }
    DropTail(text, 2);
    return text;
}

std::string SqliteStatements::SelectSql_Columns(const DbTableInfo&, const ColumnNames&) {
    NotImplemented("SelectSql_Columns");
}

std::string SqliteStatements::SelectSql(const TablePtr& table, const DbTableInfo& info, const Filter& filter,
                                        uint64_t offset, uint64_t limit) {
    Filter normalised = filter;
    if (!normalised.IsEmpty()) {
        Normalise(normalised, table.Get());
    }
    // Without a limit the whole result is wanted, whatever the offset says.
    std::string text = kSelectColumnsWhere;
    if (limit != Sql::kNoLimit) {
        text = Core::StringFormat("SELECT ${COLUMNS} FROM \"${TABLE}\" ${WHERE} LIMIT %s OFFSET %llu;",
                                  LimitText(limit).c_str(), static_cast<unsigned long long>(offset));
    }
    return Fill(text, {{"${TABLE}", info.name},
                       {"${COLUMNS}", SelectColumnsSql(table)},
                       {"${WHERE}", WhereSql(normalised, "WHERE")}});
}

std::string SqliteStatements::SelectSql(const TablePtr& table, const DbTableInfo& info, uint64_t offset,
                                        uint64_t limit) {
    const std::string text = Core::StringFormat("SELECT ${COLUMNS} FROM \"${TABLE}\" LIMIT %s OFFSET %llu;",
                                                LimitText(limit).c_str(), static_cast<unsigned long long>(offset));
    return Fill(text, {{"${TABLE}", info.name}, {"${COLUMNS}", SelectColumnsSql(table)}});
}

std::string SqliteStatements::SelectSql(const TablePtr& table, const DbTableInfo& info, const Filter& filter) {
    Filter normalised = filter;
    if (!normalised.IsEmpty()) {
        Normalise(normalised, table.Get());
    }
    return Fill(kSelectColumnsWhere, {{"${TABLE}", info.name},
                                      {"${COLUMNS}", SelectColumnsSql(table)},
                                      {"${WHERE}", WhereSql(normalised, "WHERE")}});
}

std::string SqliteStatements::SelectSql(const TablePtr& table, const DbTableInfo& info) {
    return Fill(kSelectColumns, {{"${TABLE}", info.name}, {"${COLUMNS}", SelectColumnsSql(table)}});
}

std::string SqliteStatements::SelectSql(ShapeLayerPtr, const DbTableInfo&) {
    NotImplemented("SelectSql");
}

std::string SqliteStatements::SelectSql(ShapeLayerPtr, const DbTableInfo&, const Filter&) {
    NotImplemented("SelectSql");
}

std::string SqliteStatements::SelectSql(ShapeLayerPtr, const DbTableInfo&, uint64_t, uint64_t) {
    NotImplemented("SelectSql");
}

std::string SqliteStatements::SelectSql(ShapeLayerPtr, const DbTableInfo&, const Filter&, uint64_t, uint64_t) {
    NotImplemented("SelectSql");
}

std::string SqliteStatements::SelectSql(ShapeLayerPtr, const DbTableInfo&, Vesk::Interfaces::IBoundingBox3d*) {
    NotImplemented("SelectSql");
}

// ---- Types, literals and conditions ----

std::string SqliteStatements::GetTypeString(const ColumnPtr& column) {
    return GetTypeString(column->GetValueType());
}

std::string SqliteStatements::GetTypeString(Vesk::Interfaces::IAttributeHeader*) {
    // Fixed text: hosts match on it.
    NotImplemented("GetTypeString", "Not implemented");
}

std::string SqliteStatements::GetTypeString(int32_t valueType) {
    switch (valueType) {
        case DS::VT_Int16:
        case DS::VT_Int32:
        case DS::VT_Int64:
        case DS::VT_Int128:
        case DS::VT_UInt16:
        case DS::VT_UInt32:
        case DS::VT_UInt64:
        case DS::VT_UInt128:
        case DS::VT_Byte:
        case DS::VT_SByte:
            return "INTEGER";
        case DS::VT_Double:
        case DS::VT_Float:
            return "REAL";
        case DS::VT_Bool:
            return "BOOLEAN";
        case DS::VT_Array:
            return "BLOB";
        case DS::VT_String:
            return "TEXT";
        case DS::VT_DateTime:
            return "DATETIME";
        case DS::VT_JsonDocument:
            return "JSON";
        case DS::VT_XmlDocument:
            return "XML";
        case DS::VT_Uuid:
            return "UUID";
        default:
            return "NULL";
    }
}

std::string SqliteStatements::ValueLiteralSql(const Variant& value) {
    value.CheckDefined();
    // A reference that holds nothing is the null value as much as Null itself is.
    if (!value.HasData()) {
        switch (value.Type()) {
            case DS::VT_Null:
            case DS::VT_String:
            case DS::VT_DateTime:
            case DS::VT_JsonDocument:
            case DS::VT_XmlDocument:
            case DS::VT_Array:
                return "NULL";
            default:
                break;
        }
    }
    const bool inlineForm = value.Form() == DS::VF_Inline;
    switch (value.Type()) {
        case DS::VT_Null:
            return "NULL";
        case DS::VT_Int16:
        case DS::VT_Int32:
        case DS::VT_Int64:
        case DS::VT_UInt16:
        case DS::VT_UInt32:
        case DS::VT_UInt64:
            return value.ToString();
        case DS::VT_Double:
        case DS::VT_Float:
            return RealLiteral(value);
        case DS::VT_Int128:
        case DS::VT_UInt128:
        case DS::VT_Uuid:
            if (!inlineForm) {
                throw std::runtime_error("Must be value type!");
            }
            return HexLiteral(value.Raw().bytes, 16);
        case DS::VT_Byte:
        case DS::VT_SByte:
            if (!inlineForm) {
                throw std::runtime_error("Must be value type!");
            }
            return fmt::format("'{}'", static_cast<char>(value.Raw().u8));
        case DS::VT_Bool:
            if (!inlineForm) {
                throw std::runtime_error("Must be value type!");
            }
            return value.Raw().i32 != 0 ? "TRUE" : "FALSE";
        case DS::VT_String:
        case DS::VT_DateTime:
        case DS::VT_JsonDocument:
        case DS::VT_XmlDocument:
            return TextLiteral(value.ToString());
        default:
            throw std::runtime_error("Value conversion is not possible!");
    }
}

std::string SqliteStatements::ConditionSql(const Filter& filter) {
    // Equality uses SQL's null-safe forms so that a Null value finds NULL cells.
    std::string op = Sql::OperatorSql(filter.op);
    if (op == "=") {
        op = "IS";
    } else if (op == "<>") {
        op = "IS NOT";
    } else if (op == "CONTAINS") {
        op = "IN";
    }
    if (op == "IN") {
        std::string list;
        for (const Variant& value : filter.values) {
            if (!list.empty()) {
                list += ",";
            }
            list += ValueLiteralSql(value);
        }
        return fmt::format("\"{}\" {} ({}) ", filter.column, op, list);
    }
    return fmt::format("\"{}\" {} {} ", filter.column, op, ValueLiteralSql(filter.value));
}

}  // namespace SQLite
}  // namespace Vesk::Data
