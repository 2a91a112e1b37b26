// Property sets as rows of the Properties table: rows into a set, and sets (nested ones included) into
// rows that go through SQLite and back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Core/DataObjects.h"
#include "Core/Guard.h"
#include "Core/TableAccess.h"
#include "Private/Data/SQLite.h"
#include "Private/Data/Table.h"
#include "Private/Database/DbTable.h"
#include "Support/Thrown.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace/WorkspaceSchema.h"
#include "WorkspaceTestSupport.h"

namespace {

namespace DS = Data::Structures;
namespace DI = Data::Interfaces;
using Data::Variant;
using PropertiesPtr = Core::Ptr<DI::IProperties>;
using TablePtr = Core::Ptr<DI::ITable>;
namespace SQLite = Vesk::Data::SQLite;

const Data::Uuid kOwner = Data::UuidFromText("6f9619ff-8b86-d011-b42d-00cf4fc964ff");

// An empty table with the current Properties columns, loaded as a workspace loads it.
TablePtr PropertiesTable(const Core::Ptr<SQLite::impl::SQLiteImpl>& connection) {
    SQLite::CreateStatement(connection,
                            Vesk::Workspace::CreateTableStatement(Vesk::Workspace::WorkspaceTable::Properties))
        ->Execute();
    TablePtr table = SQLite::ExecuteToTable(connection, "SELECT * FROM Properties");
    table->SetName("Properties", nullptr);
    table->SetKeyColumn("Uuid", nullptr);
    return table;
}

PropertiesPtr NewSet() {
    PropertiesPtr set;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return Data_CreateProperties(set.Receive(), e); });
    return set;
}

void Add(const PropertiesPtr& set, const char* name, const Variant& value, const char* interfaceType = "IValue",
         const char* group = "General") {
    Core::ThrowIfFailed([&](Core::IErrorCode** e) {
        return set->Register(group, name, "described", interfaceType, "Class", value.Type(), true, e);
    });
    if (value.HasData()) {
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return set->SetValue(name, &value.Raw(), e); });
    }
}

Variant ValueOf(DI::IProperties* set, const char* name) {
    Variant value;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return set->GetValue(name, value.Receive(), e); });
    return value;
}

Core::Ptr<DI::IProperty> PropertyAt(const PropertiesPtr& set, uint64_t index) {
    Core::Ptr<DI::IProperty> property;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return set->GetProperty(index, property.Receive(), e); });
    return property;
}

Variant Blob(const std::string& bytes) {
    return Variant::FromObject(Data::NewByteArray(bytes.data(), bytes.size()), DS::VT_Array);
}

// One row as an older writer may have left it.
void AddRow(const TablePtr& table, const std::string& name, int32_t valueType, const Variant& value,
            const Variant& required, const std::string& interfaceType = "IValue") {
    Core::Ptr<DI::IRow> row;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table->NewRow(row.Receive(), e); });
    Data::Uuid uuid{};
    Data_NewUuid(&uuid);
    const std::pair<const char*, Variant> cells[] = {{"Uuid", Variant::FromString(Data::UuidToText(uuid))},
                                                     {"WorkspaceObjectUuid", Variant::FromUuid(kOwner)},
                                                     {"PropertyGroup", Variant::FromString("G")},
                                                     {"PropertyName", Variant::FromString(name)},
                                                     {"PropertyValueType", Variant::FromInt64(valueType)},
                                                     {"PropertyInterfaceType", Variant::FromString(interfaceType)},
                                                     {"PropertyClassType", Variant::FromString("C")},
                                                     {"PropertyValue", value},
                                                     {"IsRequired", required}};
    for (const auto& [column, cell] : cells) {
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return row->SetCellByName(column, &cell.Raw(), e); });
    }
}

TEST(TableToProperties, RowsBecomeDeclaredPropertiesAndTheFirstOfANameWins) {
    TablePtr table = PropertiesTable(SQLite::CreateConnection(":memory:"));
    AddRow(table, "Colour", DS::VT_String, Blob("red"), Variant::FromDouble(0.7), "IString");
    AddRow(table, "Colour", DS::VT_String, Blob("blue"), Variant::FromInt64(1), "IString");
    AddRow(table, "Width", DS::VT_Int32, Blob("\xff"), Variant::FromDouble(1.9));
    AddRow(table, "Height", DS::VT_Int16, Variant::FromString("\x01\x02"), Variant::FromInt64(0x100000000ll));
    AddRow(table, "Depth", DS::VT_Double, Variant::FromInt64(42), Variant::FromBool(true));
    AddRow(table, "Layer", DS::VT_IObject, Blob("opaque"), Variant::FromInt64(1), "IShapeLayer");
    AddRow(table, "Unset", DS::VT_Float, Variant(), Variant::FromInt64(1));
    PropertiesPtr set = NewSet();
    WorkspaceTest::LogCapture log;
    Vesk::Data::TableToProperties(set.Get(), Data::RowsOf(table), nullptr);
    EXPECT_EQ(log.LinesStartingWith("ERROR: "),
              std::vector<std::string>{"ERROR: Property Colour (IString) is already registered!"});
    ASSERT_EQ(set->GetCount(), 6u);
    EXPECT_EQ(ValueOf(set.Get(), "Colour").ToString(), "red");
    // Doubles are truncated (0.7 is not required, 1.9 is), other numbers are read as 32-bit integers.
    const bool required[] = {false, true, false, true, true, true};
    for (uint64_t i = 0; i < 6; ++i) {
        EXPECT_EQ(PropertyAt(set, i)->IsRequired(), required[i]) << PropertyAt(set, i)->GetName();
        EXPECT_STREQ(PropertyAt(set, i)->GetGroup(), "G");
    }
    EXPECT_EQ(ValueOf(set.Get(), "Width").Type(), DS::VT_Int32);
    EXPECT_EQ(ValueOf(set.Get(), "Width").ToInt64(), 255);
    EXPECT_EQ(ValueOf(set.Get(), "Height").ToInt64(), 0x0201);
    EXPECT_EQ(ValueOf(set.Get(), "Depth").Type(), DS::VT_Int64);
    // Bytes that decode to nothing come back as their text.
    EXPECT_EQ(ValueOf(set.Get(), "Layer").Type(), DS::VT_String);
    EXPECT_EQ(ValueOf(set.Get(), "Layer").ToString(), "opaque");
    EXPECT_FALSE(PropertyAt(set, 5)->HasValue());
    EXPECT_EQ(PropertyAt(set, 5)->GetValueType(), DS::VT_Float);
}

TEST(PropertyRows, NestedSetsSurviveAWriteToSqliteAndALoad) {
    PropertiesPtr inner = NewSet();
    Add(
        inner, "Password",
        [] {
            Core::Ptr<DI::ISecureString> secure;
            Data_CreateSecureString(secure.Receive(), "hunter2", 7, nullptr);
            return Variant::FromObject(secure, DS::VT_IObject);
        }(),
        "Data::ISecureString");
    Add(inner, "Port", Variant::FromUInt16(5432));
    PropertiesPtr outer = NewSet();
    Add(outer, "Credentials", Variant::FromObject(inner, DS::VT_IObject), "IProperties", "Access");
    Add(outer, "Opacity", Variant::FromFloat(0.5f), "", "");
    PropertiesPtr other = NewSet();
    Add(other, "Opacity", Variant::FromFloat(0.25f));
    Data::Uuid otherOwner{};
    Data_NewUuid(&otherOwner);

    auto connection = SQLite::CreateConnection(":memory:");
    TablePtr table = PropertiesTable(connection);
    const std::string key = "the workspace secret, 32 bytes..";
    auto secret = Data::NewByteArray(key.data(), key.size());
    Vesk::Data::PropertiesToRows(outer.Get(), kOwner, table.Get(), secret.Get());
    Vesk::Data::PropertiesToRows(other.Get(), otherOwner, table.Get(), secret.Get());
    ASSERT_EQ(table->GetRowCount(), 5u);
    // Breadth first; the Credentials row refers to the owner of the nested set's rows.
    const auto credentials = Data::RowAt(table, 0);
    EXPECT_EQ(Data::CellNamed(credentials, "PropertyInterfaceType").ToString(), "IProperties");
    const auto reference = Data::CellNamed(credentials, "PropertyValue").AsArray();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(reference->GetData()), reference->GetByteSize()),
              Data::CellNamed(Data::RowAt(table, 2), "WorkspaceObjectUuid").ToString());
    Vesk::Database::impl::CreateSqliteDbTable(table, connection, true)->InsertChangedRows();

    const auto loaded = Data::RowsOf(SQLite::ExecuteToTable(connection, "SELECT * FROM Properties"));
    // Loaded with declared types, the owner cells are UUID values rather than text.
    EXPECT_EQ(Data::CellNamed(loaded.at(0), "WorkspaceObjectUuid").Type(), DS::VT_Uuid);
    PropertiesPtr back = Vesk::Data::PropertiesOfOwner(kOwner, loaded, secret.Get());
    ASSERT_EQ(back->GetCount(), 2u);
    EXPECT_STREQ(PropertyAt(back, 0)->GetGroup(), "Access");
    EXPECT_STREQ(PropertyAt(back, 1)->GetGroup(), "");
    EXPECT_EQ(ValueOf(back.Get(), "Opacity").ToString(), "0.500000");
    auto nested = ValueOf(back.Get(), "Credentials").AsObject<DI::IProperties>();
    ASSERT_TRUE(nested);
    auto password = ValueOf(nested.Get(), "Password").AsObject<DI::ISecureString>();
    ASSERT_TRUE(password);
    EXPECT_EQ(std::string(password->GetText(), password->GetLength()), "hunter2");
    EXPECT_EQ(ValueOf(nested.Get(), "Port").Type(), DS::VT_UInt16);
    EXPECT_EQ(ValueOf(nested.Get(), "Port").ToInt64(), 5432);
    EXPECT_EQ(ValueOf(Vesk::Data::PropertiesOfOwner(otherOwner, loaded, secret.Get()).Get(), "Opacity").ToString(),
              "0.250000");
}

TEST(PropertyRows, CirclesAreRefusedBothWays) {
    PropertiesPtr set = NewSet();
    Add(set, "Self", Variant::FromObject(set, DS::VT_IObject), "IProperties");
    TablePtr table = PropertiesTable(SQLite::CreateConnection(":memory:"));
    EXPECT_EQ(VeskTest::MessageThrownBy([&] { Vesk::Data::PropertiesToRows(set.Get(), kOwner, table.Get(), nullptr); }),
              "Property Self holds a property set that is already stored above it");
    // The set holds a reference to itself; break the circle so that it can go.
    const Variant nothing = Variant::FromInt32(0);
    set->SetValue("Self", &nothing.Raw(), nullptr);

    TablePtr rows = PropertiesTable(SQLite::CreateConnection(":memory:"));
    AddRow(rows, "Loop", DS::VT_IObject, Blob(Data::UuidToText(kOwner)), Variant::FromInt64(0), "IProperties");
    EXPECT_EQ(VeskTest::MessageThrownBy([&] { Vesk::Data::PropertiesOfOwner(kOwner, Data::RowsOf(rows), nullptr); }),
              "Property Loop refers back to a property set that contains it");
}

}  // namespace
