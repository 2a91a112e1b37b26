#include <gtest/gtest.h>

#include <random>
#include <utility>

#include "DataTestSupport.h"

namespace DataTest {
namespace {

constexpr char kUuidText[] = "3f2504e0-4f89-41d3-9a0c-0305e82c3301";
constexpr char kOtherUuidText[] = "8c2d56f0-0001-4000-8000-00000000beef";

// A table with the given columns; key names the key column when not empty.
Ptr<ITable> MakeTable(std::initializer_list<std::pair<const char*, VariantType>> columns, const char* key = "",
                      const char* name = "Objects") {
    auto table = Out<ITable>([&](auto p) { return Data_CreateTable(p, nullptr); });
    EXPECT_TRUE(table->SetName(name, nullptr));
    for (const auto& [column, type] : columns) {
        EXPECT_TRUE(table->AddColumn(column, type, nullptr, nullptr));
    }
    EXPECT_TRUE(*key == '\0' || table->SetKeyColumn(key, nullptr));
    return table;
}

// A table keyed by a Uuid column, as the workspace keeps its object tables.
Ptr<ITable> MakeKeyedTable() {
    return MakeTable({{"Uuid", VT_Uuid}, {"Name", VT_String}}, "Uuid");
}

Ptr<IRow> AddRow(ITable* table, const _VARIANT& key) {
    auto row = Out<IRow>([&](auto p) { return table->NewRow(p, nullptr); });
    EXPECT_TRUE(row->SetCell(0, &key, nullptr));
    return row;
}

int64_t CellInt(IRow* row, const char* name) {
    Owned cell;
    EXPECT_TRUE(row->GetCellByName(name, &cell.value, nullptr));
    return VariantTypeCode(cell.value) == VT_Int64 ? cell.value.i64 : -999;
}

TEST(TableColumns, OutPointersAddFindFlagsAndNullCellsForExistingRows) {
    Ptr<ITable> table = MakeTable({});
    ITable* occupied = table.Get();
    EXPECT_NE(FailureOf([&](auto e) { return Data_CreateTable(&occupied, e); }).find("must be null"),
              std::string::npos);
    EXPECT_FALSE(Data_CreateTable(nullptr, nullptr));
    Ptr<IRow> row;
    EXPECT_EQ(FailureOf([&](auto e) { return table->GetRow(0, row.Receive(), e); }),
              "Row index 0 is out of range (0 rows)");
    EXPECT_EQ(table->FindRowIndex(nullptr), -1);

    auto id = Out<IColumn>([&](auto p) { return table->AddColumn("Id", VT_Int64, p, nullptr); });
    row = AddRow(table.Get(), Int64Value(7));
    ASSERT_TRUE(table->AddColumn("Name", VT_String, nullptr, nullptr));
    EXPECT_EQ(row->GetCellCount(), 2u);
    Owned name;
    ASSERT_TRUE(row->GetCellByName("Name", &name.value, nullptr));
    EXPECT_EQ(VariantTypeCode(name.value), VT_Null);
    EXPECT_EQ(CellInt(row.Get(), "Id"), 7);

    EXPECT_EQ(table->FindColumn("Name"), 1);
    EXPECT_EQ(table->FindColumn("name"), -1) << "names match exactly";
    EXPECT_EQ(FailureOf([&](auto e) { return table->AddColumn("Name", VT_Int32, nullptr, e); }),
              "Column Name already exists");
    EXPECT_NE(FailureOf([&](auto e) { return table->AddColumn("Bad", 99, nullptr, e); }), "");
    EXPECT_EQ(table->GetColumnCount(), 2u) << "failed adds leave the columns alone";

    // The setters are pinned where they matter, by the CREATE TABLE text the SQL tests check.
    EXPECT_TRUE(id->IsNullable() && id->AllowsDbNull() && !id->IsUnique()) << "the defaults";
    Ptr<IColumn> none;
    EXPECT_NE(FailureOf([&](auto e) { return table->GetColumn(2, none.Receive(), e); }), "");
    EXPECT_FALSE(none);
}

// A row loaded from SQLite holds a Uuid value, one made by new code holds the text; both are one key.
TEST(TableKeyIndex, KeysMatchAcrossTheirForms) {
    auto text = [](const char* value) { return ObjectValue(VT_String, MakeString(value).Get()); };
    _VARIANT whole{};
    whole.type = VT_Double;
    whole.f64 = 42000.0;
    const _VARIANT uuid = UuidValue(ParseUuid(kUuidText));
    struct Case {
        VariantType column;
        _VARIANT held, sought;
        bool found;
    } cases[] = {
        {VT_Uuid, uuid, text("3F2504E0-4F89-41D3-9A0C-0305E82C3301"), true},  // any case
        {VT_Uuid, uuid, text("3f2504e04f8941d39a0c0305e82c3301"), true},      // without hyphens
        {VT_Uuid, text(kUuidText), uuid, true},
        {VT_Uuid, text(kUuidText), text(kUuidText), true},
        {VT_Uuid, uuid, text("3f2504e0-4f89-41d3-9a0c-0305e82c330"), false},  // only resembles a UUID
        {VT_Uuid, uuid, UuidValue(ParseUuid(kOtherUuidText)), false},
        {VT_Uuid, uuid, NullValue(), false},  // Null keys are not indexed
        {VT_Int64, Int64Value(42000), Int32Value(42000), true},
        {VT_Int64, Int64Value(42000), whole, true},
        {VT_Int64, Int64Value(42000), InlineText("42000"), false},  // text never equals a number
        {VT_String, InlineText("alpha"), text("alpha"), true},
        {VT_String, InlineText("alpha"), InlineText("ALPHA"), false},  // ordinary text keys by its bytes
    };
    for (Case& c : cases) {
        Ptr<ITable> table = MakeTable({{"Key", c.column}}, "Key");
        AddRow(table.Get(), NullValue());
        AddRow(table.Get(), c.held);
        EXPECT_EQ(table->FindRowIndex(&c.sought), c.found ? 1 : -1) << &c - cases;
        auto row = Out<IRow>([&](auto p) { return table->FindRow(&c.sought, p, nullptr); });
        EXPECT_EQ(static_cast<bool>(row), c.found) << &c - cases;
        VariantClear(&c.held);
        VariantClear(&c.sought);
    }
}

TEST(TableKeyIndex, FollowsRemovedRowsKeyCellsAndTheKeyColumn) {
    Ptr<ITable> table = MakeTable({{"id", VT_Int64}, {"Name", VT_String}}, "id");
    for (int64_t id = 0; id < 3; ++id) {
        AddRow(table.Get(), Int64Value(id));
    }
    const _VARIANT zero = Int64Value(0), one = Int64Value(1), two = Int64Value(2), four = Int64Value(4);
    const _VARIANT null = NullValue();
    // A removed row still works but no longer speaks for the table; later rows move up.
    auto removed = Out<IRow>([&](auto p) { return table->GetRow(1, p, nullptr); });
    ASSERT_TRUE(table->RemoveRow(1, nullptr));
    EXPECT_EQ(table->FindRowIndex(&one), -1);
    EXPECT_EQ(table->FindRowIndex(&two), 1);
    ASSERT_TRUE(removed->SetCell(0, &four, nullptr));
    EXPECT_EQ(table->FindRowIndex(&four), -1);
    EXPECT_NE(FailureOf([&](auto e) { return table->RemoveRow(2, e); }), "");

    auto row = Out<IRow>([&](auto p) { return table->GetRow(1, p, nullptr); });
    ASSERT_TRUE(row->SetCellByName("id", &four, nullptr));
    EXPECT_EQ(table->FindRowIndex(&two), -1);
    EXPECT_EQ(table->FindRowIndex(&four), 1);
    ASSERT_TRUE(row->SetCell(0, &null, nullptr));
    EXPECT_EQ(table->FindRowIndex(&four), -1);

    // Switching the key column rebuilds the index over the rows already there.
    const _VARIANT name = InlineText("row-a");
    ASSERT_TRUE(row->SetCellByName("Name", &name, nullptr));
    ASSERT_TRUE(table->SetKeyColumn("Name", nullptr));
    EXPECT_EQ(table->FindRowIndex(&name), 1);
    EXPECT_EQ(FailureOf([&](auto e) { return table->SetKeyColumn("Nope", e); }), "Column Nope not found");
    EXPECT_STREQ(table->GetKeyColumn(), "Name") << "a failed change keeps the key column";
    ASSERT_TRUE(table->SetKeyColumn("", nullptr));
    EXPECT_STREQ(table->GetKeyColumn(), "");
    EXPECT_EQ(table->FindRowIndex(&name), -1);
    Ptr<IRow> found;
    EXPECT_EQ(FailureOf([&](auto e) { return table->FindRow(&name, found.Receive(), e); }),
              "Table Objects has no key column");

    ASSERT_TRUE(table->SetKeyColumn("id", nullptr));
    ASSERT_TRUE(table->RemoveAllRows(nullptr));
    EXPECT_EQ(table->GetRowCount(), 0u);
    EXPECT_EQ(table->FindRowIndex(&zero), -1);
    ASSERT_TRUE(table->FindRow(&zero, found.Receive(), nullptr));
    EXPECT_FALSE(found) << "a missing key is success with no row";
    AddRow(table.Get(), zero);
    EXPECT_EQ(table->FindRowIndex(&zero), 0);
}

// The first row in table order whose key cell equals key, found the slow way.
int64_t ScanFor(ITable* table, int64_t key) {
    for (uint64_t i = 0; i < table->GetRowCount(); ++i) {
        auto row = Out<IRow>([&](auto p) { return table->GetRow(i, p, nullptr); });
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
    Ptr<ITable> table = MakeTable({{"id", VT_Int64}}, "id");
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
                auto row = Out<IRow>([&](auto p) { return table->GetRow(random() % rows, p, nullptr); });
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

TEST(TableRows, StatesFollowChangesAndFailedCallsChangeNothing) {
    Ptr<ITable> table = MakeKeyedTable();
    auto row = Out<IRow>([&](auto p) { return table->NewRow(p, nullptr); });
    EXPECT_EQ(row->GetState(), RS_Added);
    const _VARIANT name = InlineText("a");
    ASSERT_TRUE(row->SetCellByName("Name", &name, nullptr));
    EXPECT_EQ(row->GetState(), RS_Added) << "a new row stays Added";
    row->SetState(RS_Unchanged);
    EXPECT_FALSE(row->HasChanges());
    ASSERT_TRUE(row->SetCell(1, &name, nullptr));
    EXPECT_EQ(row->GetState(), RS_Modified);
    EXPECT_TRUE(row->HasChanges());

    row->SetState(RS_Unchanged);
    Owned out;
    _VARIANT undefined{};
    undefined.type = 28;
    EXPECT_EQ(FailureOf([&](auto e) { return row->SetCellByName("Nope", &name, e); }), "Column Nope not found");
    EXPECT_EQ(FailureOf([&](auto e) { return row->GetCellByName("Nope", &out.value, e); }), "Column Nope not found");
    EXPECT_NE(FailureOf([&](auto e) { return row->SetCell(2, &name, e); }), "");
    EXPECT_NE(FailureOf([&](auto e) { return row->GetCell(2, &out.value, e); }), "");
    EXPECT_NE(FailureOf([&](auto e) { return row->SetCell(1, &undefined, e); }), "");
    EXPECT_EQ(row->GetState(), RS_Unchanged) << "a failed set changes nothing";
}

TEST(TableCopy, ColumnsOnlyColumnsWithRowsAndSingleRowsByColumnName) {
    Ptr<ITable> table = MakeKeyedTable();
    auto name = Out<IColumn>([&](auto p) { return table->GetColumn(1, p, nullptr); });
    name->SetUnique(true);
    const _VARIANT key = UuidValue(ParseUuid(kUuidText));
    Ptr<IRow> added = AddRow(table.Get(), key);
    AddRow(table.Get(), UuidValue(ParseUuid(kOtherUuidText)))->SetState(RS_Unchanged);

    auto empty = Out<ITable>([&](auto p) { return table->Copy(TC_ColumnsOnly, p, nullptr); });
    EXPECT_STREQ(empty->GetName(), "Objects");
    EXPECT_EQ(empty->GetColumnCount(), 2u);
    EXPECT_STREQ(empty->GetKeyColumn(), "Uuid");
    EXPECT_EQ(empty->GetRowCount(), 0u);
    auto copied = Out<IColumn>([&](auto p) { return empty->GetColumn(1, p, nullptr); });
    EXPECT_TRUE(copied->IsUnique());
    EXPECT_NE(copied.Get(), name.Get()) << "columns are copied, not shared";

    auto full = Out<ITable>([&](auto p) { return table->Copy(TC_ColumnsAndRows, p, nullptr); });
    ASSERT_EQ(full->GetRowCount(), 2u);
    Ptr<IRow> copyOfAdded, copyOfUnchanged;
    ASSERT_TRUE(full->FindRow(&key, copyOfAdded.Receive(), nullptr));
    ASSERT_TRUE(full->GetRow(1, copyOfUnchanged.Receive(), nullptr));
    EXPECT_EQ(copyOfAdded->GetState(), RS_Added);
    EXPECT_EQ(copyOfUnchanged->GetState(), RS_Unchanged);
    EXPECT_NE(copyOfAdded.Get(), added.Get());
    // The copy is independent: re-keying its row leaves the original's index alone.
    const _VARIANT other = Int64Value(5);
    ASSERT_TRUE(copyOfAdded->SetCell(0, &other, nullptr));
    EXPECT_EQ(table->FindRowIndex(&key), 0);
    EXPECT_EQ(full->FindRowIndex(&key), -1);

    Ptr<ITable> bad;
    EXPECT_NE(FailureOf([&](auto e) { return table->Copy(7, bad.Receive(), e); }), "");
    EXPECT_FALSE(bad);

    // A row added from another table is copied by column name and keeps its state.
    Ptr<ITable> source = MakeTable({{"Extra", VT_Int64}, {"Name", VT_String}, {"Uuid", VT_Uuid}}, "", "Source");
    const _VARIANT text = InlineText("n");
    Ptr<IRow> original = AddRow(source.Get(), Int64Value(9));
    ASSERT_TRUE(original->SetCellByName("Uuid", &key, nullptr));
    ASSERT_TRUE(original->SetCellByName("Name", &text, nullptr));
    original->SetState(RS_Modified);

    Ptr<ITable> target = MakeKeyedTable();
    ASSERT_TRUE(target->AddColumn("Only", VT_Int64, nullptr, nullptr));
    auto copy = Out<IRow>([&](auto p) { return target->AddRow(original.Get(), p, nullptr); });
    EXPECT_EQ(copy->GetState(), RS_Modified);
    EXPECT_EQ(copy->GetCellCount(), 3u);
    EXPECT_EQ(target->FindRowIndex(&key), 0) << "the added row is indexed";
    Owned cell, only;
    ASSERT_TRUE(copy->GetCellByName("Name", &cell.value, nullptr));
    EXPECT_STREQ(cell.value.text, "n");
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
        auto copy = Out<ITable>([&](auto p) { return table->Copy(TC_ColumnsAndRows, p, nullptr); });
        EXPECT_EQ(ReferenceCount(tracked), 3u);
        Owned out;
        ASSERT_TRUE(kept->GetCell(2, &out.value, nullptr));
        EXPECT_EQ(out.value.object, tracked);
        EXPECT_EQ(ReferenceCount(tracked), 4u);
    }
    // Table and copy are gone; the row still holds its cell and a copy of its header.
    EXPECT_EQ(ReferenceCount(tracked), 2u);
    auto header = Out<ITableHeader>([&](auto p) { return kept->GetHeader(p, nullptr); });
    EXPECT_STREQ(header->GetName(), "Objects");
    EXPECT_EQ(header->FindColumn("Object"), 2);
    const _VARIANT null = NullValue();
    ASSERT_TRUE(kept->SetCellByName("Object", &null, nullptr));
    EXPECT_EQ(ReferenceCount(tracked), 1u);
    VariantClear(&value.value);
    EXPECT_TRUE(destroyed);
}

}  // namespace
}  // namespace DataTest
