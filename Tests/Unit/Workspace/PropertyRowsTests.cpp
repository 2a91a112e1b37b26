// Property sets as rows of the Properties table: reading rows into a set, writing a set (nested sets
// included) into rows, and both through a real SQLite table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Core/DataObjects.h"
#include "Core/Guard.h"
#include "Core/TableAccess.h"
#include "Core/Variant.h"
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
using RowPtr = Core::Ptr<DI::IRow>;

const Data::Uuid kOwner = Data::UuidFromText("6f9619ff-8b86-d011-b42d-00cf4fc964ff");

Core::Ptr<DI::IArray> Secret() {
    const std::string text = "the workspace secret, 32 bytes..";
    return Data::NewByteArray(text.data(), text.size());
}

// An empty table with the current Properties columns, as a workspace loads it.
TablePtr PropertiesTable(const Core::Ptr<Vesk::Data::SQLite::impl::SQLiteImpl>& connection) {
    Vesk::Data::SQLite::CreateStatement(
        connection, Vesk::Workspace::CreateTableStatement(Vesk::Workspace::WorkspaceTable::Properties))
        ->Execute();
    TablePtr table = Vesk::Data::SQLite::ExecuteToTable(connection, "SELECT * FROM Properties");
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table->SetName("Properties", e); });
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table->SetKeyColumn("Uuid", e); });
    return table;
}

TablePtr PropertiesTable() {
    return PropertiesTable(Vesk::Data::SQLite::CreateConnection(":memory:"));
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

Variant ValueOf(const PropertiesPtr& set, const char* name) {
    Variant value;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return set->GetValue(name, value.Receive(), e); });
    return value;
}

Core::Ptr<DI::IProperty> PropertyOf(const PropertiesPtr& set, uint64_t index) {
    Core::Ptr<DI::IProperty> property;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return set->GetProperty(index, property.Receive(), e); });
    return property;
}

Variant SecureString(const std::string& text) {
    Core::Ptr<DI::ISecureString> secure;
    Core::ThrowIfFailed(
        [&](Core::IErrorCode** e) { return Data_CreateSecureString(secure.Receive(), text.data(), text.size(), e); });
    return Variant::FromObject(secure, DS::VT_IObject);
}

// One row as a reader of an older file might find it.
RowPtr AddRow(const TablePtr& table, const std::string& name, int32_t valueType, const Variant& value,
              const Variant& required = Variant::FromInt64(1), const std::string& interfaceType = "IValue") {
    RowPtr row;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table->NewRow(row.Receive(), e); });
    Data::Uuid uuid{};
    Data_NewUuid(&uuid);
    const std::vector<std::pair<const char*, Variant>> cells = {
        {"Uuid", Variant::FromString(Data::UuidToText(uuid))},
        {"WorkspaceObjectUuid", Variant::FromUuid(kOwner)},
        {"PropertyGroup", Variant::FromString("G")},
        {"PropertyName", Variant::FromString(name)},
        {"PropertyDescription", Variant()},
        {"PropertyValueType", Variant::FromInt64(valueType)},
        {"PropertyInterfaceType", Variant::FromString(interfaceType)},
        {"PropertyClassType", Variant::FromString("C")},
        {"PropertyValue", value},
        {"IsRequired", required}};
    for (const auto& [column, cell] : cells) {
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return row->SetCellByName(column, &cell.Raw(), e); });
    }
    return row;
}

Variant BlobCell(const std::string& bytes) {
    return Variant::FromObject(Data::NewByteArray(bytes.data(), bytes.size()), DS::VT_Array);
}

// ---- Rows into a set ----

TEST(TableToProperties, FirstRowOfANameWinsAndTheSecondIsLogged) {
    TablePtr table = PropertiesTable();
    AddRow(table, "Colour", DS::VT_String, BlobCell("red"), Variant::FromInt64(1), "IString");
    AddRow(table, "Colour", DS::VT_String, BlobCell("blue"), Variant::FromInt64(1), "IString");
    PropertiesPtr set = NewSet();
    WorkspaceTest::LogCapture log;
    Vesk::Data::TableToProperties(set.Get(), Data::RowsOf(table), nullptr);
    EXPECT_EQ(set->GetCount(), 1u);
    EXPECT_EQ(ValueOf(set, "Colour").ToString(), "red");
    EXPECT_EQ(log.LinesStartingWith("ERROR: "),
              std::vector<std::string>{"ERROR: Property Colour (IString) is already registered!"});
}

TEST(TableToProperties, DeclarationsAreTakenFromTheRow) {
    TablePtr table = PropertiesTable();
    AddRow(table, "Depth", DS::VT_Double, Variant(), Variant::FromDouble(0.7));
    AddRow(table, "Width", DS::VT_Int32, Variant(), Variant::FromDouble(1.9));
    AddRow(table, "Height", DS::VT_Int32, Variant(), Variant::FromInt64(0x100000000ll));
    AddRow(table, "Name", DS::VT_String, Variant(), Variant::FromBool(true));
    PropertiesPtr set = NewSet();
    Vesk::Data::TableToProperties(set.Get(), Data::RowsOf(table), nullptr);
    ASSERT_EQ(set->GetCount(), 4u);
    // 0.7 truncates to 0; the 64-bit 2^32 is read as a 32-bit 0.
    const bool expected[] = {false, true, false, true};
    for (uint64_t i = 0; i < 4; ++i) {
        auto property = PropertyOf(set, i);
        EXPECT_EQ(property->IsRequired(), expected[i]) << property->GetName();
        EXPECT_FALSE(property->HasValue()) << "a NULL value leaves the property unset";
        EXPECT_STREQ(property->GetGroup(), "G");
        EXPECT_STREQ(property->GetClassType(), "C");
        EXPECT_STREQ(property->GetDescription(), "");
    }
    EXPECT_EQ(PropertyOf(set, 1)->GetValueType(), DS::VT_Int32);
}

TEST(TableToProperties, CellsAreDecodedByTheDeclaredType) {
    TablePtr table = PropertiesTable();
    AddRow(table, "Blob", DS::VT_Int32, BlobCell(std::string("\xff", 1)));
    AddRow(table, "Text", DS::VT_Int16, Variant::FromString(std::string("\x01\x02", 2)));
    AddRow(table, "Number", DS::VT_Double, Variant::FromInt64(42));
    // Neither a secure string nor an enumeration: the stored bytes come back as text.
    AddRow(table, "Unknown", DS::VT_IObject, BlobCell("opaque"), Variant::FromInt64(0), "IShapeLayer");
    PropertiesPtr set = NewSet();
    Vesk::Data::TableToProperties(set.Get(), Data::RowsOf(table), nullptr);
    EXPECT_EQ(ValueOf(set, "Blob").Type(), DS::VT_Int32);
    EXPECT_EQ(ValueOf(set, "Blob").ToInt64(), 255);
    EXPECT_EQ(ValueOf(set, "Text").ToInt64(), 0x0201);
    EXPECT_EQ(ValueOf(set, "Number").Type(), DS::VT_Int64);
    EXPECT_EQ(ValueOf(set, "Unknown").Type(), DS::VT_String);
    EXPECT_EQ(ValueOf(set, "Unknown").ToString(), "opaque");
}

TEST(TableToProperties, ABlobOfTheWrongSizeFailsTheWholeRead) {
    TablePtr table = PropertiesTable();
    AddRow(table, "Count", DS::VT_Int32, BlobCell("abc"));
    PropertiesPtr set = NewSet();
    EXPECT_EQ(
        VeskTest::MessageThrownBy([&] { Vesk::Data::TableToProperties(set.Get(), Data::RowsOf(table), nullptr); }),
        "Failed to read data from blob array due target type size being less than actual or size was beyond 8 "
        "bytes.");
}

// ---- Sets into rows and back ----

PropertiesPtr SampleSet() {
    PropertiesPtr inner = NewSet();
    Add(inner, "Password", SecureString("hunter2"), "Data::ISecureString");
    Add(inner, "Port", Variant::FromUInt16(5432));
    PropertiesPtr middle = NewSet();
    Add(middle, "Host", Variant::FromString("db.example.org"));
    Add(middle, "Credentials", Variant::FromObject(inner, DS::VT_IObject), "IProperties");
    PropertiesPtr outer = NewSet();
    Add(outer, "Connection", Variant::FromObject(middle, DS::VT_IObject), "IProperties", "Access");
    Add(outer, "Opacity", Variant::FromFloat(0.5f));
    Add(outer, "Unset", Variant(), "IValue");
    return outer;
}

void ExpectSampleSet(const PropertiesPtr& outer) {
    ASSERT_EQ(outer->GetCount(), 3u);
    EXPECT_EQ(ValueOf(outer, "Opacity").ToString(), "0.500000");
    EXPECT_FALSE(PropertyOf(outer, 2)->HasValue());
    EXPECT_STREQ(PropertyOf(outer, 0)->GetGroup(), "Access");
    auto middle = ValueOf(outer, "Connection").AsObject<DI::IProperties>();
    ASSERT_TRUE(middle);
    EXPECT_EQ(ValueOf(PropertiesPtr(middle), "Host").ToString(), "db.example.org");
    auto inner = ValueOf(PropertiesPtr(middle), "Credentials").AsObject<DI::IProperties>();
    ASSERT_TRUE(inner);
    auto password = ValueOf(PropertiesPtr(inner), "Password").AsObject<DI::ISecureString>();
    ASSERT_TRUE(password);
    EXPECT_EQ(std::string(password->GetText(), password->GetLength()), "hunter2");
    EXPECT_EQ(ValueOf(PropertiesPtr(inner), "Port").Type(), DS::VT_UInt16);
    EXPECT_EQ(ValueOf(PropertiesPtr(inner), "Port").ToInt64(), 5432);
}

TEST(PropertyRows, NestedSetsGetRowsOfTheirOwnOwners) {
    TablePtr table = PropertiesTable();
    auto secret = Secret();
    Vesk::Data::PropertiesToRows(SampleSet().Get(), kOwner, table.Get(), secret.Get());
    ASSERT_EQ(table->GetRowCount(), 7u);
    // Breadth first: the outer set's rows, then the middle set's, then the inner set's.
    std::vector<std::string> owners;
    for (const RowPtr& row : Data::RowsOf(table)) {
        owners.push_back(Data::CellNamed(row, "WorkspaceObjectUuid").ToString());
        EXPECT_EQ(row->GetState(), DI::RS_Added);
    }
    const std::string owner = Data::UuidToText(kOwner);
    EXPECT_EQ(owners[0], owner);
    EXPECT_EQ(owners[2], owner);
    // The Connection row refers to the owner of the middle set's rows.
    RowPtr connection = Data::RowAt(table, 0);
    EXPECT_EQ(Data::CellNamed(connection, "PropertyInterfaceType").ToString(), "IProperties");
    EXPECT_EQ(Data::CellNamed(connection, "PropertyValueType").ToInt64(), DS::VT_IObject);
    const auto reference = Data::CellNamed(connection, "PropertyValue").AsArray();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(reference->GetData()), reference->GetByteSize()), owners[3]);
    EXPECT_EQ(owners[3], owners[4]);
    EXPECT_NE(owners[3], owner);
    EXPECT_NE(owners[5], owners[3]);
    EXPECT_EQ(owners[5], owners[6]);
    // The unset property keeps its declared type and stores no value.
    RowPtr unset = Data::RowAt(table, 2);
    EXPECT_EQ(Data::CellNamed(unset, "PropertyValueType").ToInt64(), DS::VT_Null);
    EXPECT_FALSE(Data::CellNamed(unset, "PropertyValue").HasData());

    ExpectSampleSet(Vesk::Data::PropertiesOfOwner(kOwner, Data::RowsOf(table), secret.Get()));
}

TEST(PropertyRows, SetsSurviveAWriteToSqliteAndALoad) {
    auto connection = Vesk::Data::SQLite::CreateConnection(":memory:");
    TablePtr table = PropertiesTable(connection);
    auto secret = Secret();
    Vesk::Data::PropertiesToRows(SampleSet().Get(), kOwner, table.Get(), secret.Get());
    // Another object's rows in the same table are not part of the set.
    PropertiesPtr other = NewSet();
    Add(other, "Opacity", Variant::FromFloat(0.25f), "", "");
    Data::Uuid otherOwner{};
    Data_NewUuid(&otherOwner);
    Vesk::Data::PropertiesToRows(other.Get(), otherOwner, table.Get(), secret.Get());
    Vesk::Database::impl::CreateSqliteDbTable(table, connection, true)->InsertChangedRows();

    TablePtr loaded = Vesk::Data::SQLite::ExecuteToTable(connection, "SELECT * FROM Properties");
    ASSERT_EQ(loaded->GetRowCount(), 8u);
    // Loaded with declared types, the owner cells are UUID values rather than text.
    EXPECT_EQ(Data::CellNamed(Data::RowAt(loaded, 0), "WorkspaceObjectUuid").Type(), DS::VT_Uuid);
    ExpectSampleSet(Vesk::Data::PropertiesOfOwner(kOwner, Data::RowsOf(loaded), secret.Get()));
    auto otherSet = Vesk::Data::PropertiesOfOwner(otherOwner, Data::RowsOf(loaded), secret.Get());
    ASSERT_EQ(otherSet->GetCount(), 1u);
    EXPECT_STREQ(PropertyOf(otherSet, 0)->GetGroup(), "");
    EXPECT_EQ(ValueOf(otherSet, "Opacity").ToString(), "0.250000");
    EXPECT_EQ(Vesk::Data::PropertiesOfOwner(Data::UuidFromText("00000000-0000-0000-0000-000000000001"),
                                            Data::RowsOf(loaded), secret.Get())
                  ->GetCount(),
              0u);
}

TEST(PropertyRows, ASetInsideItselfIsRefused) {
    PropertiesPtr set = NewSet();
    Add(set, "Self", Variant::FromObject(set, DS::VT_IObject), "IProperties");
    TablePtr table = PropertiesTable();
    const std::string message =
        VeskTest::MessageThrownBy([&] { Vesk::Data::PropertiesToRows(set.Get(), kOwner, table.Get(), nullptr); });
    EXPECT_EQ(message, "Property Self holds a property set that is already stored above it");
    // The set holds a reference to itself; break the circle so that it can go.
    const Variant nothing = Variant::FromInt32(0);
    set->SetValue("Self", &nothing.Raw(), nullptr);
}

TEST(PropertyRows, RowsThatReferToEachOtherInACircleAreRefused) {
    TablePtr table = PropertiesTable();
    const std::string owner = Data::UuidToText(kOwner);
    AddRow(table, "Loop", DS::VT_IObject, BlobCell(owner), Variant::FromInt64(0), "IProperties");
    EXPECT_EQ(VeskTest::MessageThrownBy([&] { Vesk::Data::PropertiesOfOwner(kOwner, Data::RowsOf(table), nullptr); }),
              "Property Loop refers back to a property set that contains it");
}

}  // namespace
