#include <gtest/gtest.h>

#include <random>

#include "DataTestSupport.h"

namespace DataTest {
namespace {

constexpr char kUuidText[] = "3f2504e0-4f89-41d3-9a0c-0305e82c3301";
constexpr char kOtherUuidText[] = "8c2d56f0-0001-4000-8000-00000000beef";

Ptr<ITable> MakeTable(const char* name = "Objects") {
    Ptr<ITable> table;
    EXPECT_TRUE(Data_CreateTable(table.Receive(), nullptr));
    EXPECT_TRUE(table->SetName(name, nullptr));
    return table;
}

// A table keyed by a Uuid column, as the workspace keeps its object tables.
Ptr<ITable> MakeKeyedTable() {
    Ptr<ITable> table = MakeTable();
    EXPECT_TRUE(table->AddColumn("Uuid", VT_Uuid, nullptr, nullptr));
    EXPECT_TRUE(table->AddColumn("Name", VT_String, nullptr, nullptr));
    EXPECT_TRUE(table->SetKeyColumn("Uuid", nullptr));
    return table;
}

Ptr<IRow> AddRow(ITable* table, const _VARIANT& key) {
    Ptr<IRow> row;
    EXPECT_TRUE(table->NewRow(row.Receive(), nullptr));
    EXPECT_TRUE(row->SetCell(0, &key, nullptr));
    return row;
}

Ptr<IRow> Find(ITable* table, const _VARIANT& key) {
    Ptr<IRow> row;
    EXPECT_TRUE(table->FindRow(&key, row.Receive(), nullptr));
    return row;
}

int64_t CellInt(IRow* row, const char* name) {
    Owned cell;
    EXPECT_TRUE(row->GetCellByName(name, &cell.value, nullptr));
    return VariantTypeCode(cell.value) == VT_Int64 ? cell.value.i64 : -999;
}

TEST(TableColumns, AddFindAndFlags) {
    Ptr<ITable> table = MakeTable();
    Ptr<IColumn> id;
    ASSERT_TRUE(table->AddColumn("Id", VT_Int64, id.Receive(), nullptr));
    ASSERT_TRUE(table->AddColumn("Name", VT_String, nullptr, nullptr));
    EXPECT_EQ(table->GetColumnCount(), 2u);
    EXPECT_EQ(table->FindColumn("Name"), 1);
    EXPECT_EQ(table->FindColumn("name"), -1) << "names match exactly";
    EXPECT_EQ(table->FindColumn("Missing"), -1);
    EXPECT_EQ(FailureOf([&](auto e) { return table->AddColumn("Name", VT_Int32, nullptr, e); }),
              "Column Name already exists");
    EXPECT_NE(FailureOf([&](auto e) { return table->AddColumn("Bad", 99, nullptr, e); }), "");
    EXPECT_EQ(table->GetColumnCount(), 2u) << "failed adds leave the columns alone";

    EXPECT_STREQ(id->GetName(), "Id");
    EXPECT_EQ(id->GetValueType(), VT_Int64);
    EXPECT_TRUE(id->IsNullable());
    EXPECT_TRUE(id->AllowsDbNull());
    EXPECT_FALSE(id->IsUnique());
    id->SetNullable(false);
    id->SetAllowsDbNull(false);
    id->SetUnique(true);
    Ptr<IColumn> again;
    ASSERT_TRUE(table->GetColumn(0, again.Receive(), nullptr));
    EXPECT_FALSE(again->IsNullable());
    EXPECT_FALSE(again->AllowsDbNull());
    EXPECT_TRUE(again->IsUnique());
    Ptr<IColumn> none;
    EXPECT_NE(FailureOf([&](auto e) { return table->GetColumn(2, none.Receive(), e); }), "");
    EXPECT_FALSE(none);
}

TEST(TableColumns, AddingAColumnExtendsExistingRowsWithNull) {
    Ptr<ITable> table = MakeTable();
    ASSERT_TRUE(table->AddColumn("A", VT_Int64, nullptr, nullptr));
    Ptr<IRow> row;
    ASSERT_TRUE(table->NewRow(row.Receive(), nullptr));
    const _VARIANT seven = Int64Value(7);
    ASSERT_TRUE(row->SetCell(0, &seven, nullptr));
    ASSERT_TRUE(table->AddColumn("B", VT_String, nullptr, nullptr));
    EXPECT_EQ(row->GetCellCount(), 2u);
    Owned b;
    ASSERT_TRUE(row->GetCellByName("B", &b.value, nullptr));
    EXPECT_EQ(VariantTypeCode(b.value), VT_Null);
    EXPECT_EQ(CellInt(row.Get(), "A"), 7);
}

TEST(TableKeyIndex, UuidValueAndUuidTextAreOneKey) {
    Ptr<ITable> table = MakeKeyedTable();
    const _UUID uuid = ParseUuid(kUuidText);
    // A row as a load from SQLite leaves it (Uuid value) and one as new code makes it (text).
    AddRow(table.Get(), UuidValue(uuid));
    Owned text;
    text.value = ObjectValue(VT_String, MakeString(kOtherUuidText).Get());
    AddRow(table.Get(), text.value);

    EXPECT_EQ(table->FindRowIndex(&text.value), 1);
    const _VARIANT other = UuidValue(ParseUuid(kOtherUuidText));
    EXPECT_EQ(table->FindRowIndex(&other), 1);
    const _VARIANT null = NullValue();
    EXPECT_EQ(table->FindRowIndex(&null), -1) << "Null keys are not indexed";

    // Any case, with or without hyphens, finds the row held as a Uuid value.
    for (const char* spelling : {"3f2504e0-4f89-41d3-9a0c-0305e82c3301", "3F2504E0-4F89-41D3-9A0C-0305E82C3301",
                                 "3f2504e04f8941d39a0c0305e82c3301"}) {
        Owned key;
        key.value = ObjectValue(VT_String, MakeString(spelling).Get());
        Ptr<IRow> found = Find(table.Get(), key.value);
        ASSERT_TRUE(found) << spelling;
        EXPECT_EQ(table->FindRowIndex(&key.value), 0) << spelling;
    }
    // Text that only resembles a UUID is just text.
    Owned near;
    near.value = ObjectValue(VT_String, MakeString("3f2504e0-4f89-41d3-9a0c-0305e82c330").Get());
    EXPECT_EQ(table->FindRowIndex(&near.value), -1);
}

TEST(TableKeyIndex, IntegersOfAnyWidthAndTextKeys) {
    Ptr<ITable> table = MakeTable();
    ASSERT_TRUE(table->AddColumn("id", VT_Int64, nullptr, nullptr));
    ASSERT_TRUE(table->SetKeyColumn("id", nullptr));
    for (int64_t id = 1; id <= 100; ++id) {
        AddRow(table.Get(), Int64Value(id * 1000));
    }
    const _VARIANT narrow = Int32Value(42000);
    EXPECT_EQ(table->FindRowIndex(&narrow), 41);
    _VARIANT whole{};
    whole.type = VT_Double;
    whole.f64 = 42000.0;
    EXPECT_EQ(table->FindRowIndex(&whole), 41);
    const _VARIANT text = InlineText("42000");
    EXPECT_EQ(table->FindRowIndex(&text), -1) << "text never equals a number";

    Ptr<ITable> named = MakeTable();
    ASSERT_TRUE(named->AddColumn("Name", VT_String, nullptr, nullptr));
    ASSERT_TRUE(named->SetKeyColumn("Name", nullptr));
    AddRow(named.Get(), InlineText("alpha"));
    Owned byReference;
    byReference.value = ObjectValue(VT_String, MakeString("alpha").Get());
    EXPECT_EQ(named->FindRowIndex(&byReference.value), 0) << "inline and referenced text are one key";
    const _VARIANT upper = InlineText("ALPHA");
    EXPECT_EQ(named->FindRowIndex(&upper), -1) << "ordinary text keys by its bytes";
}

TEST(TableKeyIndex, FollowsKeyChangesAndKeyColumnChanges) {
    Ptr<ITable> table = MakeKeyedTable();
    const _VARIANT first = UuidValue(ParseUuid(kUuidText));
    const _VARIANT second = UuidValue(ParseUuid(kOtherUuidText));
    Ptr<IRow> row = AddRow(table.Get(), first);
    ASSERT_EQ(table->FindRowIndex(&first), 0);

    ASSERT_TRUE(row->SetCellByName("Uuid", &second, nullptr));
    EXPECT_EQ(table->FindRowIndex(&first), -1);
    EXPECT_EQ(table->FindRowIndex(&second), 0);
    const _VARIANT null = NullValue();
    ASSERT_TRUE(row->SetCell(0, &null, nullptr));
    EXPECT_EQ(table->FindRowIndex(&second), -1);

    // Switching the key column rebuilds the index over the rows already there.
    const _VARIANT name = InlineText("row-a");
    ASSERT_TRUE(row->SetCellByName("Name", &name, nullptr));
    ASSERT_TRUE(table->SetKeyColumn("Name", nullptr));
    EXPECT_STREQ(table->GetKeyColumn(), "Name");
    EXPECT_EQ(table->FindRowIndex(&name), 0);
    EXPECT_EQ(FailureOf([&](auto e) { return table->SetKeyColumn("Nope", e); }), "Column Nope not found");
    EXPECT_STREQ(table->GetKeyColumn(), "Name") << "a failed change keeps the key column";

    ASSERT_TRUE(table->SetKeyColumn("", nullptr));
    EXPECT_STREQ(table->GetKeyColumn(), "");
    EXPECT_EQ(table->FindRowIndex(&name), -1);
    Ptr<IRow> found;
    EXPECT_EQ(FailureOf([&](auto e) { return table->FindRow(&name, found.Receive(), e); }),
              "Table Objects has no key column");
}

TEST(TableKeyIndex, StaysRightWhenRowsAreRemoved) {
    Ptr<ITable> table = MakeTable();
    ASSERT_TRUE(table->AddColumn("id", VT_Int64, nullptr, nullptr));
    ASSERT_TRUE(table->SetKeyColumn("id", nullptr));
    for (int64_t id = 0; id < 5; ++id) {
        AddRow(table.Get(), Int64Value(id));
    }
    AddRow(table.Get(), Int64Value(3));  // a duplicate: the earlier row wins

    const _VARIANT three = Int64Value(3);
    EXPECT_EQ(table->FindRowIndex(&three), 3);
    Ptr<IRow> removed;
    ASSERT_TRUE(table->GetRow(1, removed.Receive(), nullptr));
    ASSERT_TRUE(table->RemoveRow(1, nullptr));
    EXPECT_EQ(table->GetRowCount(), 5u);
    const _VARIANT one = Int64Value(1);
    EXPECT_EQ(table->FindRowIndex(&one), -1);
    EXPECT_EQ(table->FindRowIndex(&three), 2) << "later rows move up";
    ASSERT_TRUE(table->RemoveRow(2, nullptr));
    EXPECT_EQ(table->FindRowIndex(&three), 3) << "the duplicate is found once the first is gone";
    EXPECT_NE(FailureOf([&](auto e) { return table->RemoveRow(4, e); }), "");

    // The removed row still works but no longer speaks for the table.
    EXPECT_EQ(CellInt(removed.Get(), "id"), 1);
    const _VARIANT four = Int64Value(4);
    ASSERT_TRUE(removed->SetCell(0, &four, nullptr));
    EXPECT_EQ(table->FindRowIndex(&four), 2);
    Ptr<IRow> row;
    ASSERT_TRUE(table->GetRow(2, row.Receive(), nullptr));
    EXPECT_EQ(CellInt(row.Get(), "id"), 4);

    ASSERT_TRUE(table->RemoveAllRows(nullptr));
    EXPECT_EQ(table->GetRowCount(), 0u);
    EXPECT_EQ(table->FindRowIndex(&four), -1);
    Ptr<IRow> none;
    ASSERT_TRUE(table->FindRow(&four, none.Receive(), nullptr));
    EXPECT_FALSE(none) << "a missing key is success with no row";
    AddRow(table.Get(), four);
    EXPECT_EQ(table->FindRowIndex(&four), 0);
}

// The first row in table order whose key cell equals key, found the slow way.
int64_t ScanFor(ITable* table, int64_t key) {
    for (uint64_t i = 0; i < table->GetRowCount(); ++i) {
        Ptr<IRow> row;
        EXPECT_TRUE(table->GetRow(i, row.Receive(), nullptr));
        if (CellInt(row.Get(), "id") == key) {
            return static_cast<int64_t>(i);
        }
    }
    return -1;
}

TEST(TableKeyIndex, AgreesWithAScanUnderRandomChurn) {
    // Few distinct keys among many rows: long probe runs, duplicates, and removals from the middle of
    // runs, which is where an open-addressing index goes wrong.
    constexpr int64_t kKeys = 300;
    Ptr<ITable> table = MakeTable();
    ASSERT_TRUE(table->AddColumn("id", VT_Int64, nullptr, nullptr));
    ASSERT_TRUE(table->SetKeyColumn("id", nullptr));
    std::mt19937 random(20240229);
    std::uniform_int_distribution<int64_t> anyKey(0, kKeys - 1);
    for (int round = 0; round < 6; ++round) {
        for (int step = 0; step < 400; ++step) {
            const int action = static_cast<int>(random() % 4);
            const uint64_t rows = table->GetRowCount();
            if (action < 2 || rows == 0) {
                AddRow(table.Get(), Int64Value(anyKey(random)));
            } else if (action == 2) {
                ASSERT_TRUE(table->RemoveRow(random() % rows, nullptr));
            } else {
                Ptr<IRow> row;
                ASSERT_TRUE(table->GetRow(random() % rows, row.Receive(), nullptr));
                const _VARIANT key = Int64Value(anyKey(random));
                ASSERT_TRUE(row->SetCell(0, &key, nullptr));
            }
        }
        for (int64_t key = 0; key < kKeys; ++key) {
            const _VARIANT value = Int64Value(key);
            ASSERT_EQ(table->FindRowIndex(&value), ScanFor(table.Get(), key)) << "round " << round << " key " << key;
        }
    }
}

TEST(TableRows, StateTransitionsAndCellErrors) {
    Ptr<ITable> table = MakeKeyedTable();
    Ptr<IRow> row;
    ASSERT_TRUE(table->NewRow(row.Receive(), nullptr));
    EXPECT_EQ(row->GetState(), RS_Added);
    EXPECT_EQ(row->GetCellCount(), 2u);
    const _VARIANT name = InlineText("a");
    ASSERT_TRUE(row->SetCellByName("Name", &name, nullptr));
    EXPECT_EQ(row->GetState(), RS_Added) << "a new row stays Added";

    row->SetState(RS_Unchanged);
    EXPECT_FALSE(row->HasChanges());
    ASSERT_TRUE(row->SetCell(1, &name, nullptr));
    EXPECT_EQ(row->GetState(), RS_Modified);
    EXPECT_TRUE(row->HasChanges());

    EXPECT_EQ(FailureOf([&](auto e) { return row->SetCellByName("Nope", &name, e); }), "Column Nope not found");
    Owned out;
    EXPECT_EQ(FailureOf([&](auto e) { return row->GetCellByName("Nope", &out.value, e); }), "Column Nope not found");
    EXPECT_NE(FailureOf([&](auto e) { return row->SetCell(2, &name, e); }), "");
    EXPECT_NE(FailureOf([&](auto e) { return row->GetCell(2, &out.value, e); }), "");
    _VARIANT undefined{};
    undefined.type = 28;
    EXPECT_NE(FailureOf([&](auto e) { return row->SetCell(1, &undefined, e); }), "");

    row->SetState(RS_Unchanged);
    EXPECT_NE(FailureOf([&](auto e) { return row->SetCell(9, &name, e); }), "");
    EXPECT_EQ(row->GetState(), RS_Unchanged) << "a failed set changes nothing";

    Ptr<ITableHeader> header;
    ASSERT_TRUE(row->GetHeader(header.Receive(), nullptr));
    EXPECT_STREQ(header->GetName(), "Objects");
    EXPECT_EQ(header->FindColumn("Name"), 1);
}

TEST(TableCopy, ColumnsOnlyAndColumnsWithRows) {
    Ptr<ITable> table = MakeKeyedTable();
    Ptr<IColumn> name;
    ASSERT_TRUE(table->GetColumn(1, name.Receive(), nullptr));
    name->SetUnique(true);
    const _VARIANT key = UuidValue(ParseUuid(kUuidText));
    Ptr<IRow> added = AddRow(table.Get(), key);
    Ptr<IRow> unchanged = AddRow(table.Get(), UuidValue(ParseUuid(kOtherUuidText)));
    unchanged->SetState(RS_Unchanged);

    Ptr<ITable> empty;
    ASSERT_TRUE(table->Copy(TC_ColumnsOnly, empty.Receive(), nullptr));
    EXPECT_STREQ(empty->GetName(), "Objects");
    EXPECT_EQ(empty->GetColumnCount(), 2u);
    EXPECT_STREQ(empty->GetKeyColumn(), "Uuid");
    EXPECT_EQ(empty->GetRowCount(), 0u);
    Ptr<IColumn> copied;
    ASSERT_TRUE(empty->GetColumn(1, copied.Receive(), nullptr));
    EXPECT_TRUE(copied->IsUnique());
    EXPECT_NE(copied.Get(), name.Get()) << "columns are copied, not shared";

    Ptr<ITable> full;
    ASSERT_TRUE(table->Copy(TC_ColumnsAndRows, full.Receive(), nullptr));
    ASSERT_EQ(full->GetRowCount(), 2u);
    Ptr<IRow> copyOfAdded = Find(full.Get(), key);
    ASSERT_TRUE(copyOfAdded);
    EXPECT_EQ(copyOfAdded->GetState(), RS_Added);
    EXPECT_NE(copyOfAdded.Get(), added.Get());
    Ptr<IRow> copyOfUnchanged;
    ASSERT_TRUE(full->GetRow(1, copyOfUnchanged.Receive(), nullptr));
    EXPECT_EQ(copyOfUnchanged->GetState(), RS_Unchanged);

    // The copy is independent: re-keying its row leaves the original's index alone.
    const _VARIANT other = Int64Value(5);
    ASSERT_TRUE(copyOfAdded->SetCell(0, &other, nullptr));
    EXPECT_EQ(table->FindRowIndex(&key), 0);
    EXPECT_EQ(full->FindRowIndex(&key), -1);

    Ptr<ITable> bad;
    EXPECT_NE(FailureOf([&](auto e) { return table->Copy(7, bad.Receive(), e); }), "");
    EXPECT_FALSE(bad);
}

TEST(TableCopy, AddRowCopiesByColumnNameAndKeepsState) {
    Ptr<ITable> source = MakeTable("Source");
    ASSERT_TRUE(source->AddColumn("Extra", VT_Int64, nullptr, nullptr));
    ASSERT_TRUE(source->AddColumn("Name", VT_String, nullptr, nullptr));
    ASSERT_TRUE(source->AddColumn("Uuid", VT_Uuid, nullptr, nullptr));
    Ptr<IRow> original;
    ASSERT_TRUE(source->NewRow(original.Receive(), nullptr));
    const _VARIANT key = UuidValue(ParseUuid(kUuidText));
    const _VARIANT name = InlineText("n");
    const _VARIANT extra = Int64Value(9);
    ASSERT_TRUE(original->SetCellByName("Uuid", &key, nullptr));
    ASSERT_TRUE(original->SetCellByName("Name", &name, nullptr));
    ASSERT_TRUE(original->SetCellByName("Extra", &extra, nullptr));
    original->SetState(RS_Modified);

    Ptr<ITable> target = MakeKeyedTable();
    ASSERT_TRUE(target->AddColumn("Only", VT_Int64, nullptr, nullptr));
    Ptr<IRow> copy;
    ASSERT_TRUE(target->AddRow(original.Get(), copy.Receive(), nullptr));
    EXPECT_EQ(copy->GetState(), RS_Modified);
    EXPECT_EQ(copy->GetCellCount(), 3u);
    EXPECT_EQ(target->FindRowIndex(&key), 0) << "the added row is indexed";
    Owned cell;
    ASSERT_TRUE(copy->GetCellByName("Name", &cell.value, nullptr));
    EXPECT_STREQ(cell.value.text, "n");
    Owned only;
    ASSERT_TRUE(copy->GetCellByName("Only", &only.value, nullptr));
    EXPECT_EQ(VariantTypeCode(only.value), VT_Null);
    EXPECT_NE(FailureOf([&](auto e) { return target->AddRow(nullptr, nullptr, e); }), "");
}

TEST(TableLifetime, CellsOwnTheirObjectsAndRowsOutliveTheirTable) {
    bool destroyed = false;
    auto* tracked = new Tracked(&destroyed);
    Owned value;
    value.value = ObjectValue(VT_IObject, tracked);
    tracked->Release();  // only the record holds it now

    Ptr<IRow> kept;
    {
        Ptr<ITable> table = MakeKeyedTable();
        ASSERT_TRUE(table->AddColumn("Object", VT_IObject, nullptr, nullptr));
        ASSERT_TRUE(table->NewRow(kept.Receive(), nullptr));
        ASSERT_TRUE(kept->SetCellByName("Object", &value.value, nullptr));
        EXPECT_EQ(ReferenceCount(tracked), 2u);
        Ptr<ITable> copy;
        ASSERT_TRUE(table->Copy(TC_ColumnsAndRows, copy.Receive(), nullptr));
        EXPECT_EQ(ReferenceCount(tracked), 3u);
        Owned out;
        ASSERT_TRUE(kept->GetCell(2, &out.value, nullptr));
        EXPECT_EQ(out.value.object, tracked);
        EXPECT_EQ(ReferenceCount(tracked), 4u);
    }
    // Table and copy are gone; the row still holds its cell and a copy of its header.
    EXPECT_EQ(ReferenceCount(tracked), 2u);
    Ptr<ITableHeader> header;
    ASSERT_TRUE(kept->GetHeader(header.Receive(), nullptr));
    EXPECT_STREQ(header->GetName(), "Objects");
    EXPECT_EQ(header->FindColumn("Object"), 2);
    const _VARIANT null = NullValue();
    ASSERT_TRUE(kept->SetCellByName("Object", &null, nullptr));
    EXPECT_EQ(ReferenceCount(tracked), 1u);
    VariantClear(&value.value);
    EXPECT_TRUE(destroyed);
}

TEST(TableBoundary, FactoryAndRowAccessFollowTheOutPointerRules) {
    Ptr<ITable> table = MakeTable();
    ITable* occupied = table.Get();
    EXPECT_NE(FailureOf([&](auto e) { return Data_CreateTable(&occupied, e); }).find("must be null"),
              std::string::npos);
    EXPECT_FALSE(Data_CreateTable(nullptr, nullptr));
    Ptr<IRow> row;
    EXPECT_EQ(FailureOf([&](auto e) { return table->GetRow(0, row.Receive(), e); }),
              "Row index 0 is out of range (0 rows)");
    const _VARIANT key = Int64Value(1);
    EXPECT_EQ(table->FindRowIndex(&key), -1);
    EXPECT_EQ(table->FindRowIndex(nullptr), -1);
}

}  // namespace
}  // namespace DataTest
