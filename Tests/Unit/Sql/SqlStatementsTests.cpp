#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "Core/Guard.h"
#include "Private/Data/SQLiteStatements.h"
#include "SqlTestSupport.h"
#include "Vesk/Data/KeldaData.h"

namespace {

using namespace Vesk::Data::SQLite;
using namespace Vesk::Data::Sql;
using namespace SqlTest;
namespace DS = ::Data::Structures;
namespace DI = ::Data::Interfaces;

Core::Ptr<DI::IColumn> ColumnAt(const TablePtr& table, uint32_t index) {
    Core::Ptr<DI::IColumn> column;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table->GetColumn(index, column.Receive(), e); });
    return column;
}

class SqlStatementsTest : public ::testing::Test {
protected:
    SqliteStatements sql_;
    DbTableInfo info_{"T", "public", "", "id"};
    TablePtr people_ = MakeTable("T", {{"id", DS::VT_Int64}, {"Name", DS::VT_String}, {"Age", DS::VT_Int32}}, "id");
};

TEST_F(SqlStatementsTest, FixedTemplatesFilledOnceLeftToRight) {
    EXPECT_EQ(sql_.DropTableSql(info_), "DROP TABLE IF EXISTS \"T\";");
    EXPECT_EQ(sql_.CreateIndexSql(info_, "Name"), "CREATE INDEX T_Name_idx ON T (Name);");
    EXPECT_EQ(sql_.DeleteSql(info_), "DELETE FROM \"T\" WHERE id = ?;");
    EXPECT_EQ(sql_.DeleteAllSql(info_), "DELETE FROM \"T\";");
    EXPECT_EQ(sql_.SelectByIdSql(info_), "SELECT * FROM \"T\" WHERE id = ?;");
    EXPECT_EQ(sql_.SelectSql(info_), "SELECT * FROM \"T\";");
    EXPECT_EQ(sql_.SelectMaxSql(info_, "Age"), "SELECT MAX(\"Age\") FROM \"T\";");
    const DbTableInfo quoted{"it's", "public", "", "id"};
    EXPECT_EQ(sql_.SelectExtentSql(quoted),
              "SELECT min_x, min_y, max_x, max_y FROM gpkg_contents WHERE table_name = 'it''s';");
    EXPECT_EQ(sql_.SelectSrsIdSql(quoted), "SELECT srs_id FROM gpkg_contents WHERE table_name = 'it''s';");
    // Placeholders are replaced once, left to right: a name that looks like one is not expanded again.
    EXPECT_EQ(sql_.DropTableSql({"${TABLE}", "public", "", "id"}), "DROP TABLE IF EXISTS \"${TABLE}\";");
    std::string text = "${A}-${A}-${B}";
    ReplacePlaceholder(text, "${A}", "x${A}");
    EXPECT_EQ(text, "x${A}-x${A}-${B}");
}

TEST_F(SqlStatementsTest, CreateTableWritesTheKeyOnceAndEachColumnOnALine) {
    TablePtr table = MakeTable("T", {{"id", DS::VT_Int64}, {"Name", DS::VT_String}});
    ColumnAt(table, 1)->SetNullable(true);
    EXPECT_EQ(sql_.CreateTableSql(table, info_),
              "\n\t\t\tCREATE TABLE \"T\" (\n\t\t\t\t\"id\" INTEGER NOT NULL,\n\t\t\t\t\"Name\" TEXT NULL ,\n\t\t\t\t"
              "CONSTRAINT \"pk_T\" PRIMARY KEY (\"id\")\n\t\t\t);");

    TablePtr mixed = MakeTable("M", {{"ID", DS::VT_Int64}, {"Code", DS::VT_UInt16}, {"When", DS::VT_DateTime}});
    for (uint32_t i : {1u, 2u}) {
        ColumnAt(mixed, i)->SetNullable(false);
        ColumnAt(mixed, i)->SetAllowsDbNull(false);
    }
    ColumnAt(mixed, 1)->SetUnique(true);
    ColumnAt(mixed, 2)->SetAllowsDbNull(true);  // either nullability property makes it nullable
    const std::string text = sql_.CreateTableSql(mixed, {"M", "public", "", "id"});
    EXPECT_EQ(text.find("\"ID\""), std::string::npos);  // the key column is matched ignoring case
    EXPECT_NE(text.find("\"Code\" INTEGER NOT NULL UNIQUE,\n\t\"When\" DATETIME NULL ,\n\t\t\t\tCONSTRAINT"),
              std::string::npos)
        << text;
}

TEST_F(SqlStatementsTest, InlineValuesFollowTheLiteralRules) {
    const std::vector<Variant> cells(
        {Variant(), Variant::FromString("O'Brien"), Variant::FromString(std::string("a\0b", 3)),
         Variant::FromDouble(std::nan("")), Variant::FromDouble(std::numeric_limits<double>::infinity()),
         Variant::FromFloat(-std::numeric_limits<float>::infinity()), Variant::FromDouble(2.5),
         Variant::FromObject(::Data::NewByteArray(nullptr, 0), DS::VT_Array),
         Variant::FromObject(::Data::NewByteArray("\x01\xAB", 2), DS::VT_Array),
         Variant::FromUuid(ParseUuid("00112233-4455-6677-8899-aabbccddeeff")), Variant::FromInt32(-7),
         Variant::FromBool(true)});
    // Columns a, b, c, ... of each value's own type; the last name needs quoting.
    std::vector<ColumnSpec> columnSpecs;
    for (const Variant& cell : cells) {
        columnSpecs.push_back({std::string(1, static_cast<char>('a' + columnSpecs.size())), cell.Type()});
    }
    columnSpecs.back().name = "q\"uote";
    RowPtr row = AddRow(MakeTable("V", columnSpecs), cells);
    const std::string values =
        "NULL,'O''Brien',CAST(X'610062' AS TEXT),NULL,1e999,-1e999,2.500000,NULL,X'01AB',"
        "X'00112233445566778899AABBCCDDEEFF',-7,true";
    EXPECT_EQ(sql_.ValuesSql(row), values);
    const std::string columns =
        "\"a\", \"b\", \"c\", \"d\", \"e\", \"f\", \"g\", \"h\", \"i\", \"j\", \"k\", \"q\"\"uote\"";
    EXPECT_EQ(sql_.ColumnsSql(row), columns);
    EXPECT_EQ(sql_.InsertSql(row, {"V", "public", "", "id"}),
              "INSERT INTO \"V\" (" + columns + ") VALUES (" + values + ");");
    EXPECT_EQ(sql_.SetSql(row, {"a", "d", "k"}, info_), "\"a\" = NULL,\"d\" = NULL,\"k\" = -7");
}

TEST_F(SqlStatementsTest, RowStatementsWithParametersAndInline) {
    RowPtr row = AddRow(people_, {Variant::FromInt64(5), Variant::FromString("x"), Variant()});
    // Given names stand for the row's own columns, in order.
    EXPECT_EQ(sql_.InsertSql(row, info_, ColumnNames{"key", "full\"name", "years"}),
              "INSERT INTO \"T\" (\"key\", \"full\"\"name\", \"years\") VALUES (5,'x',NULL);");
    EXPECT_EQ(sql_.InsertSql(row, info_, kWithParameters),
              "INSERT INTO \"T\" (\"id\", \"Name\", \"Age\") VALUES (?, ?, ?);");
    EXPECT_EQ(sql_.UpdateSql(row, info_, kWithParameters), "UPDATE \"T\" SET \"Name\" = ?,\"Age\" = ? WHERE id = ?;");
    EXPECT_EQ(sql_.UpdateSql(row, info_), "UPDATE \"T\" SET \"Name\" = 'x',\"Age\" = NULL WHERE id = 5;;");
    EXPECT_EQ(sql_.DeleteSql(row, info_), "DELETE FROM \"T\" WHERE id = 5;");

    // The parameter form skips only the exact key name; the inline SET skips it ignoring case.
    TablePtr upper = MakeTable("U", {{"ID", DS::VT_Int64}, {"v", DS::VT_Int32}});
    RowPtr other = AddRow(upper, {Variant::FromInt64(1), Variant::FromInt32(2)});
    EXPECT_EQ(sql_.UpdateSql(other, {"U", "public", "", "id"}, kWithParameters),
              "UPDATE \"U\" SET \"ID\" = ?,\"v\" = ? WHERE id = ?;");
    EXPECT_EQ(sql_.SetSql(other, {"ID", "v"}, {"U", "public", "", "id"}), "\"v\" = 2");

    // Inline keys are integers; a text key cannot be written there.
    TablePtr texts = MakeTable("S", {{"id", DS::VT_String}});
    EXPECT_NE(MessageThrownBy([&] { sql_.DeleteSql(AddRow(texts, {Variant::FromString("k")}), info_); }), "");
}

TEST_F(SqlStatementsTest, SelectsWithOffsetsLimitsAndFilters) {
    const Filter none;
    const Filter age = Condition("Age", OpEqual, Variant::FromInt32(30));
    EXPECT_EQ(sql_.SelectSql(info_, none), "SELECT * FROM \"T\" ;");
    EXPECT_EQ(sql_.SelectSql(info_, 0, kNoLimit, none), "SELECT * FROM \"T\" ;");
    EXPECT_EQ(sql_.SelectSql(info_, 10, 5, age), "SELECT * FROM \"T\" WHERE \"Age\" IS 30  LIMIT 5 OFFSET 10;");
    EXPECT_EQ(sql_.SelectSql(info_, 3, kNoLimit, none), "SELECT * FROM \"T\"  LIMIT -1 OFFSET 3;");
    EXPECT_EQ(sql_.SelectSql(info_, 10, 5), "SELECT * FROM \"T\" LIMIT 5 OFFSET 10;");
    EXPECT_EQ(sql_.SelectCountSql(info_, age), "SELECT COUNT(*) FROM \"T\" WHERE \"Age\" IS 30 ;");

    const std::string columns = "\"id\", \"Name\", \"Age\"";
    EXPECT_EQ(sql_.SelectColumnsSql(people_), columns);
    EXPECT_EQ(sql_.SelectSql(people_, info_), "SELECT " + columns + " FROM \"T\";");
    EXPECT_EQ(sql_.SelectSql(people_, info_, 10, 5), "SELECT " + columns + " FROM \"T\" LIMIT 5 OFFSET 10;");
    EXPECT_EQ(sql_.SelectSql(people_, info_, none), "SELECT " + columns + " FROM \"T\" ;");
    // Without a limit the data-table form selects every row: the offset goes with the LIMIT clause.
    EXPECT_EQ(sql_.SelectSql(people_, info_, age, 4, kNoLimit),
              "SELECT " + columns + " FROM \"T\" WHERE \"Age\" IS 30 ;");
    EXPECT_EQ(sql_.SelectSql(people_, info_, age, 4, 2),
              "SELECT " + columns + " FROM \"T\" WHERE \"Age\" IS 30  LIMIT 2 OFFSET 4;");
}

TEST_F(SqlStatementsTest, FiltersAreNormalisedAgainstTheColumnTypesOnACopy) {
    Filter filter = Condition("Age", OpGreater, Variant::FromString("30"));
    filter.allOf.push_back(Condition("Age", OpLess, Variant::FromString("not a number")));
    filter.anyOf.push_back(Condition("Name", OpLike, Variant::FromInt32(7)));
    filter.anyOf.push_back(Condition("Unknown", OpEqual, Variant::FromString("5")));
    const std::string where = sql_.SelectSql(people_, info_, filter);
    EXPECT_EQ(where,
              "SELECT \"id\", \"Name\", \"Age\" FROM \"T\" WHERE \"Age\" > 30  OR (\"Name\" LIKE '7' ) "
              "OR (\"Unknown\" IS '5' ) AND (\"Age\" < 'not a number' );");
    EXPECT_EQ(filter.value.Type(), DS::VT_String);  // the caller's filter is left alone
    EXPECT_EQ(filter.anyOf[0].value.Type(), DS::VT_Int32);
    // The forms that take no data table do not convert.
    EXPECT_NE(sql_.SelectSql(info_, filter).find("\"Age\" > '30'"), std::string::npos);
}

TEST_F(SqlStatementsTest, ConditionsAndTheirTree) {
    EXPECT_EQ(sql_.WhereSql(Condition("Name", OpEqual, Variant::FromString("O'Brien")), "WHERE"),
              "WHERE \"Name\" IS 'O''Brien' ");
    EXPECT_EQ(sql_.ConditionSql(Condition("a", OpNotEqual, Variant())), "\"a\" IS NOT NULL ");
    EXPECT_EQ(sql_.ConditionSql(Condition("a", OpGreaterOrEqual, Variant::FromDouble(1.5))), "\"a\" >= 1.500000 ");
    EXPECT_EQ(sql_.ConditionSql(Condition("a", OpNotMatches, Variant::FromString("x%"))), "\"a\" NOT LIKE 'x%' ");
    Filter in = Condition("c", OpContains, Variant());
    in.values = {Variant::FromInt32(1), Variant::FromInt32(2)};
    EXPECT_EQ(sql_.ConditionSql(in), "\"c\" IN (1,2) ");

    Filter tree = Condition("a", OpEqual, Variant::FromInt32(1));
    tree.allOf.push_back(Condition("c", OpEqual, Variant::FromInt32(3)));
    tree.anyOf.push_back(Condition("b", OpEqual, Variant::FromInt32(2)));
    EXPECT_EQ(sql_.WhereSql(tree, ""), "\"a\" IS 1  OR (\"b\" IS 2 ) AND (\"c\" IS 3 )");
    tree.op = OpNone;  // a grouping node without a condition of its own
    EXPECT_EQ(sql_.WhereSql(tree, "WHERE"), "WHERE (\"b\" IS 2 ) AND (\"c\" IS 3 )");
    EXPECT_EQ(sql_.WhereSql(Filter{}, "WHERE"), "");

    EXPECT_EQ(MessageThrownBy([&] { sql_.ConditionSql(Condition("a", 12, Variant::FromInt32(1))); }),
              "Unsupported operator");
}

TEST_F(SqlStatementsTest, ValueLiterals) {
    EXPECT_EQ(sql_.ValueLiteralSql(Variant()), "NULL");
    EXPECT_EQ(sql_.ValueLiteralSql(Variant::FromObject(nullptr, DS::VT_String)), "NULL");
    EXPECT_EQ(sql_.ValueLiteralSql(Variant::FromUInt64(18446744073709551615ull)), "18446744073709551615");
    EXPECT_EQ(sql_.ValueLiteralSql(Variant::FromFloat(0.5f)), "0.500000");
    EXPECT_EQ(sql_.ValueLiteralSql(Variant::FromDouble(std::nan(""))), "NULL");
    EXPECT_EQ(sql_.ValueLiteralSql(Variant::FromInt128(1, 2)), "X'01000000000000000200000000000000'");
    EXPECT_EQ(sql_.ValueLiteralSql(Variant::FromByte('A')), "'A'");
    EXPECT_EQ(sql_.ValueLiteralSql(Variant::FromBool(true)), "TRUE");
    EXPECT_EQ(sql_.ValueLiteralSql(Variant::FromBool(false)), "FALSE");
    EXPECT_EQ(sql_.ValueLiteralSql(Variant::FromInlineString("it's")), "'it''s'");
    EXPECT_EQ(sql_.ValueLiteralSql(Variant::FromString(std::string("a\0", 2))), "CAST(X'6100' AS TEXT)");

    const auto list = NewObjectList();
    EXPECT_EQ(MessageThrownBy([&] { sql_.ValueLiteralSql(Variant::FromObject(list, DS::VT_ObjectList)); }),
              "Value conversion is not possible!");
    EXPECT_EQ(MessageThrownBy([&] { sql_.ValueLiteralSql(Variant::FromObject(list, DS::VT_Bool)); }),
              "Must be value type!");
    DS::_VARIANT undefined{};
    undefined.type = 28;
    EXPECT_EQ(MessageThrownBy([&] {
                  sql_.ValueLiteralSql(Variant::Adopt(undefined));
              }).rfind("Variant type is undefined!", 0),
              0u);
}

TEST_F(SqlStatementsTest, OperationsSqliteDoesNotOfferRaiseFatalWithTheirName) {
    LogCapture log;
    const Filter none;
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[&] { sql_.CreateSpatialIndexSql(info_, "g"); }, "CreateSpatialIndexSql"},
        {[&] { sql_.SelectSql(ShapeLayerPtr{}, info_, none, 0, 1); }, "SelectSql"},  // overloads share the name
        {[&] { sql_.InsertShapeSql(ShapePtr{}, info_); }, "InsertShapeSql"},
    };
    for (const auto& [call, name] : cases) {
        EXPECT_EQ(MessageThrownBy(call), "Not implemented!") << name;
        EXPECT_EQ(log.Count("FATAL: Not implemented! [Vesk::Data::SQLite::SqliteStatements::" + name + "]"), 1u)
            << name;
        log.Clear();
    }
    EXPECT_EQ(MessageThrownBy([&] { sql_.GetTypeString(static_cast<Vesk::Interfaces::IAttributeHeader*>(nullptr)); }),
              "Not implemented");
}

}  // namespace
