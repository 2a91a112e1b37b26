// Property sets as rows of the Properties table: rows as older writers left them read into a set, and the
// circles that neither direction may follow. Sets written and read again go through the exports
// (Tests/Host/PropertyTests.cpp).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Core/DataObjects.h"
#include "Core/Guard.h"
#include "Core/TableAccess.h"
#include "Private/Data/SQLite.h"
#include "Private/Data/Table.h"
#include "Support/LogCapture.h"
#include "Support/Thrown.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace/WorkspaceSchema.h"

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
    VeskTest::LogCapture log(false);
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

TEST(PropertyRows, CirclesAreRefusedBothWays) {
    PropertiesPtr set = NewSet();
    const Variant self = Variant::FromObject(set, DS::VT_IObject);
    ASSERT_TRUE(set->Register("G", "Self", "", "IProperties", "", DS::VT_IObject, false, nullptr));
    ASSERT_TRUE(set->SetValue("Self", &self.Raw(), nullptr));
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
