#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

#include "GeometryTestSupport.h"
#include "Private/Data/SQLite.h"
#include "Private/Data/SQLiteStatements.h"

namespace {

using namespace GeometryTest;
namespace SQ = Vesk::Data::SQLite;
using Vesk::Data::Sql::DbTableInfo;

// The bytes of the first hex literal X'..' in text.
Bytes FirstHexLiteral(const std::string& text) {
    const size_t start = text.find("X'");
    const size_t end = text.find('\'', start + 2);
    Bytes bytes;
    for (size_t i = start + 2; i + 1 < end; i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

class ShapeSql : public ::testing::Test {
protected:
    SQ::SqliteStatements sql_;
    DbTableInfo info_{"Parcels", "public", "geom", "id"};
    LayerPtr layer_ =
        MakeLayer("Parcels", {{"id", DS::VT_Int64}, {"Name", DS::VT_String}, {"Area", DS::VT_Double}}, 25832);
    ShapePtr shape_ = AddShape(layer_,
                               {Variant::FromInt64(7), Variant::FromString("O'Brien"),
                                Variant::FromDouble(std::numeric_limits<double>::quiet_NaN())},
                               Sample(GP::WkbPolygon, kXy, true).Data(), {0, 1, 0, 2, 3, 0});
};

TEST_F(ShapeSql, ColumnListsNameTheLayersColumnsAndTheGeometry) {
    EXPECT_EQ(sql_.ShapeColumnsSql(layer_.Get(), info_), "\"id\", \"Name\", \"Area\", \"geom\"");
    // The key is the database's to choose; the table is the layer's own, whatever the description says.
    LayerPtr upper = MakeLayer("Roads", {{"ID", DS::VT_Int64}, {"Lanes", DS::VT_Int32}});
    EXPECT_EQ(sql_.InsertReturningSql(upper.Get(), {"Other", "public", "shape", "id"}),
              "INSERT INTO \"Roads\" (\"Lanes\", shape) VALUES (?, ?) RETURNING id;");
    EXPECT_EQ(sql_.InsertReturningSql(layer_.Get(), info_),
              "INSERT INTO \"Parcels\" (\"Name\", \"Area\", geom) VALUES (?, ?, ?) RETURNING id;");
}

TEST_F(ShapeSql, ValuesAndSetItemsEndWithTheGeometryBlob) {
    // Each text as far as the blob, and what follows the blob's closing quote.
    const std::string set = "\"Name\" = 'O''Brien',\"Area\" = NULL,\"geom\" = X'";
    const std::string forms[][3] = {
        {sql_.ShapeValuesSql(shape_.Get(), {"Name", "Area"}), "'O''Brien',NULL,X'", ""},
        {sql_.ShapeSetSql(shape_.Get(), {"ID", "Name", "Area"}, info_), set, ""},
        {sql_.UpdateSql(shape_.Get(), info_), "UPDATE \"Parcels\" SET " + set, " WHERE id = 7;;"},
        {sql_.InsertSql(shape_.Get(), info_, {"id", "Name", "Area"}),
         "INSERT INTO \"Parcels\" (\"id\", \"Name\", \"Area\", \"geom\") VALUES (7,'O''Brien',NULL,X'", ");"}};
    const Bytes blob = BlobOf(shape_);
    for (const auto& [text, head, tail] : forms) {
        EXPECT_EQ(text.substr(0, head.size()), head) << text;
        EXPECT_EQ(FirstHexLiteral(text), blob) << text;
        EXPECT_EQ(text.substr(head.size() + 2 * blob.size()), "'" + tail) << text;
    }
    EXPECT_EQ(sql_.DeleteSql(shape_.Get(), info_), "DELETE FROM \"Parcels\" WHERE id = 7;");
}

TEST_F(ShapeSql, ShapeFormsFailClearly) {
    SetValue(shape_, "id", Variant::FromString("7"));
    EXPECT_EQ(MessageThrownBy([&] { sql_.DeleteSql(shape_.Get(), info_); }), "Must be value type!");
    EXPECT_EQ(MessageThrownBy([&] { sql_.UpdateSql(shape_.Get(), info_); }), "Must be value type!");
    EXPECT_EQ(MessageThrownBy([&] { sql_.ShapeValuesSql(shape_.Get(), {"Missing"}); }), "Unknown attribute: Missing");
    EXPECT_EQ(MessageThrownBy([&] { sql_.DeleteSql(nullptr, info_); }),
              "Pointer of struct Vesk::Interfaces::IShapeObject must not be null!");
    layer_ = nullptr;
    EXPECT_EQ(MessageThrownBy([&] { sql_.InsertSql(shape_.Get(), info_, {"Name"}); }),
              "Parent ShapeLayer does not exists anymore! ShapeLayer lifetime already ended before this ShapeObject");
    // What needs no layer still works without it.
    EXPECT_FALSE(sql_.ShapeValuesSql(shape_.Get(), {"Name"}).empty());
}

// The rows of a query by key: each row's cells by column name.
std::map<int64_t, std::map<std::string, Variant>> Rows(const Core::Ptr<SQ::impl::SQLiteImpl>& db,
                                                       const std::string& sql) {
    std::map<int64_t, std::map<std::string, Variant>> rows;
    SQ::CreateStatement(db, sql)->Execute({}, [&](const std::vector<SQ::SQLiteColumnValuePair>& pairs) {
        auto& row = rows[pairs[0].value.ToInt64()];
        for (const auto& pair : pairs) {
            row[std::string(pair.column.name)] = pair.value;
        }
    });
    return rows;
}

Bytes BytesOf(const Variant& value) {
    const auto* data = static_cast<const uint8_t*>(value.Data());
    return Bytes(data, data + value.Size());
}

TEST_F(ShapeSql, ShapesRoundTripThroughTheGeneratedStatements) {
    auto db = SQ::CreateConnection(":memory:");
    SQ::CreateStatement(db, "CREATE TABLE \"Parcels\" (id INTEGER PRIMARY KEY, Name TEXT, Area REAL, geom BLOB);")
        ->Execute();
    const std::vector<std::string> columns = {"id", "Name", "Area"};
    SetValue(shape_, "Area", Variant::FromDouble(12.5));
    ShapePtr keyless = AddShape(
        layer_, {Variant(), Variant::FromString(std::string_view("zero\0byte", 9)), Variant::FromDouble(-0.25)},
        Sample(GP::WkbGeometryCollection, kXyzm, false).Data(), {-9, -8, -7, 7, 8, 9});
    ShapePtr empty = AddShape(layer_, {Variant::FromInt64(3), Variant(), Variant()}, {});
    for (const ShapePtr& shape : {shape_, keyless, empty}) {
        SQ::CreateStatement(db, sql_.InsertSql(shape.Get(), info_, columns))->Execute();
    }

    auto rows = Rows(db, "SELECT id, Name, Area, geom FROM Parcels;");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[7]["Name"].Text(), "O'Brien");
    EXPECT_EQ(rows[7]["Area"].ToDouble(), 12.5);
    EXPECT_EQ(BytesOf(rows[7]["geom"]), BlobOf(shape_));
    EXPECT_EQ(rows[8]["Area"].ToDouble(), -0.25);  // the database chose the key after 7
    EXPECT_EQ(rows[8]["Name"].Text(), std::string("zero\0byte", 9));
    EXPECT_EQ(BytesOf(rows[8]["geom"]), BlobOf(keyless));
    EXPECT_FALSE(rows[3]["Name"].HasData());
    EXPECT_EQ(BytesOf(rows[3]["geom"]).size(), 56u);

    SetValue(shape_, "Name", Variant::FromString("Murphy"));
    ASSERT_TRUE(shape_->SetGeometry(Sample(GP::WkbPoint, kXyz, true).Data().data(), 29, nullptr));
    SQ::CreateStatement(db, sql_.UpdateSql(shape_.Get(), info_))->Execute();
    SQ::CreateStatement(db, sql_.DeleteSql(empty.Get(), info_))->Execute();
    // Insert-returning takes the values in column order and the WKB last, and hands back the keys.
    const Bytes wkb = Sample(GP::WkbMultiPolygon, kXy, true).Data();
    auto insert = SQ::CreateStatement(db, sql_.InsertReturningSql(layer_.Get(), info_));
    std::vector<int64_t> keys;
    for (int i = 0; i < 2; ++i) {
        insert->BindAll(
            std::vector<Variant>{Variant::FromString("n" + std::to_string(i)), Variant::FromDouble(i),
                                 Variant::FromObject(::Data::NewByteArray(wkb.data(), wkb.size()), DS::VT_Array)});
        insert->Execute({}, [&](const std::vector<SQ::SQLiteColumnValuePair>& pairs) {
            keys.push_back(pairs.at(0).value.ToInt64());
        });
    }
    EXPECT_EQ(keys, (std::vector<int64_t>{9, 10}));
    rows = Rows(db, "SELECT id, Name, Area, geom FROM Parcels;");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows.count(3), 0u);
    EXPECT_EQ(rows[7]["Name"].Text(), "Murphy");
    EXPECT_EQ(BytesOf(rows[7]["geom"]), BlobOf(shape_));
    EXPECT_EQ(rows[10]["Name"].Text(), "n1");
    EXPECT_EQ(rows[10]["Area"].ToDouble(), 1.0);
    EXPECT_EQ(BytesOf(rows[10]["geom"]), wkb);
}

}  // namespace
