#include <gtest/gtest.h>

#include "Private/Data/SQLite.h"
#include "Private/Database/DbTable.h"
#include "SqlTestSupport.h"
#include "Support/TempFolder.h"
#include "Vesk/Data/KeldaData.h"

namespace {

using namespace Vesk::Database::impl;
using namespace SqlTest;
using namespace Vesk::Data::Sql;
using Vesk::Data::SQLite::CreateConnection;
using Vesk::Data::SQLite::CreateTransaction;
using Vesk::Data::SQLite::ExecuteScript;
namespace DS = ::Data::Structures;
namespace DI = ::Data::Interfaces;
using Rows = std::vector<std::vector<std::string>>;

std::vector<std::string> Names(const TablePtr& table) {
    std::vector<std::string> names;
    for (uint64_t i = 0; i < table->GetRowCount(); ++i) {
        names.push_back(Cell(RowAt(table, i), "Name").ToString());
    }
    return names;
}

// A database table Person (key not first, so that the key's place in the parameter list shows) with an
// audit table that a trigger fills with the key of every row an UPDATE touches.
class DbTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        db_ = CreateConnection(path_);
        TablePtr person = PersonTable();
        auto creator = CreateSqliteDbTable(person, db_, true);
        creator->AppendDropTable();
        creator->AppendCreateTable();
        creator->AppendCreateIndex("Name");
        creator->ExecuteScript();
        ExecuteScript(db_,
                      "CREATE TABLE audit (id INTEGER);"
                      "CREATE TRIGGER person_updated AFTER UPDATE ON Person BEGIN "
                      "INSERT INTO audit VALUES (old.id); END;");
    }

    static TablePtr PersonTable() {
        return MakeTable("Person", {{"Name", DS::VT_String}, {"id", DS::VT_Int64}, {"Score", DS::VT_Double}}, "id");
    }

    // Inserts three people through a table and loads them back.
    Core::Ptr<SqliteDbTableImpl> LoadedPeople() {
        TablePtr person = PersonTable();
        AddRow(person, {Variant::FromString("Ada"), Variant::FromInt64(1), Variant::FromDouble(1.5)});
        AddRow(person, {Variant::FromString("Bob"), Variant::FromInt64(2), Variant()});
        AddRow(person, {Variant::FromString("Cy"), Variant(), Variant::FromDouble(3)});  // key chosen by SQLite
        auto table = CreateSqliteDbTable(person, db_, true);
        table->InsertChangedRows();
        table->Load();
        return table;
    }

    VeskTest::TempFolder folder_;
    std::string path_ = folder_.File("tables.db");
    Core::Ptr<Vesk::Data::SQLite::impl::SQLiteImpl> db_;
};

TEST_F(DbTableTest, InsertLoadCountAndUpdateOnlyTheChangedRow) {
    auto table = LoadedPeople();
    EXPECT_EQ(table->Count(), 3u);
    TablePtr loaded = table->GetTable();
    ASSERT_EQ(Names(loaded), (std::vector<std::string>{"Ada", "Bob", "Cy"}));
    EXPECT_EQ(Cell(RowAt(loaded, 2), "id").ToInt64(), 3);
    for (uint64_t i = 0; i < loaded->GetRowCount(); ++i) {
        EXPECT_FALSE(RowAt(loaded, i)->HasChanges());
    }

    // Nothing changed: nothing written.
    EXPECT_TRUE(table->UpdateChangedRows());
    RawDb check(path_);
    EXPECT_TRUE(check.Rows("SELECT id FROM audit").empty());

    RowPtr bob = RowAt(loaded, 1);
    SetCell(bob, "Score", Variant::FromDouble(9.25));
    EXPECT_TRUE(table->UpdateChangedRows());
    EXPECT_EQ(check.Rows("SELECT id FROM audit"), (Rows{{"2"}}));
    EXPECT_EQ(check.Rows("SELECT Name, id, Score FROM Person ORDER BY id"),
              (Rows{{"Ada", "1", "1.5"}, {"Bob", "2", "9.25"}, {"Cy", "3", "3.0"}}));
    EXPECT_TRUE(bob->HasChanges());  // a write does not clear the flag

    // Unchanged rows passed explicitly are left alone as well.
    table->UpdateRows({RowAt(loaded, 0), RowAt(loaded, 2)});
    table->InsertRow(RowAt(loaded, 0));
    EXPECT_EQ(check.Rows("SELECT COUNT(*) FROM audit")[0][0], "1");
    EXPECT_EQ(table->Count(), 3u);
}

TEST_F(DbTableTest, DeleteByKeyAndRefreshFromTheDatabase) {
    auto table = LoadedPeople();
    TablePtr loaded = table->GetTable();
    RawDb check(path_);

    table->DeleteRow(RowAt(loaded, 0));
    EXPECT_EQ(loaded->GetRowCount(), 3u);  // the data table is the caller's business
    EXPECT_EQ(table->Count(), 2u);
    table->DeleteRow(RowAt(loaded, 0));  // already gone: nothing happens
    EXPECT_EQ(table->Count(), 2u);

    check.Execute("UPDATE Person SET Name = 'Robert', Score = 4 WHERE id = 2;");
    RowPtr bob = RowAt(loaded, 1);
    SetCell(bob, "Name", Variant::FromString("local edit"));
    table->Refresh(bob);
    EXPECT_EQ(Cell(bob, "Name").ToString(), "Robert");
    EXPECT_EQ(Cell(bob, "Score").ToDouble(), 4.0);
    EXPECT_FALSE(bob->HasChanges());

    RowPtr ada = RowAt(loaded, 0);
    SetCell(ada, "Name", Variant::FromString("kept"));
    table->Refresh(ada);  // no database row any more
    EXPECT_EQ(Cell(ada, "Name").ToString(), "kept");
    EXPECT_FALSE(ada->HasChanges());

    // A database column that the data table lacks cannot be refreshed into the row.
    check.Execute("ALTER TABLE Person ADD COLUMN Extra TEXT;");
    EXPECT_EQ(MessageThrownBy([&] { table->Refresh(bob); }), "Error while setting cell value");

    table->DeleteRows({RowAt(loaded, 1), RowAt(loaded, 2)});
    EXPECT_EQ(table->Count(), 0u);
}

TEST_F(DbTableTest, LoadsByFilterOffsetAndLimit) {
    auto table = LoadedPeople();
    table->Load(Condition("Score", OpGreater, Variant::FromString("1")));  // converted to the column's type
    EXPECT_EQ(Names(table->GetTable()), (std::vector<std::string>{"Ada", "Cy"}));
    table->Load(1, 1);
    EXPECT_EQ(Names(table->GetTable()), (std::vector<std::string>{"Bob"}));
    Filter either = Condition("Name", OpLike, Variant::FromString("%y"));
    either.anyOf.push_back(Condition("id", OpEqual, Variant::FromInt32(1)));
    table->Load(either, 1, 5);
    EXPECT_EQ(Names(table->GetTable()), (std::vector<std::string>{"Cy"}));
    table->Load(either, 1, kNoLimit);  // no limit: every matching row, whatever the offset
    EXPECT_EQ(Names(table->GetTable()), (std::vector<std::string>{"Ada", "Cy"}));
    Filter in = Condition("id", OpContains, Variant());
    in.values = {Variant::FromInt64(1), Variant::FromInt64(3)};
    table->Load(in);
    EXPECT_EQ(Names(table->GetTable()), (std::vector<std::string>{"Ada", "Cy"}));
    table->Load(Condition("Score", OpEqual, Variant()));  // the null-safe equality finds NULL
    EXPECT_EQ(Names(table->GetTable()), (std::vector<std::string>{"Bob"}));
}

// The declared types the generator writes are the ones the reader recognises, so typed cells come back
// with their types and values.
TEST_F(DbTableTest, TypedColumnsRoundTripThroughCreateInsertAndLoad) {
    TablePtr typed = MakeTable("Typed",
                               {{"id", DS::VT_Int64},
                                {"u", DS::VT_Uuid},
                                {"t", DS::VT_DateTime},
                                {"j", DS::VT_JsonDocument},
                                {"f", DS::VT_Bool},
                                {"b", DS::VT_Array}},
                               "id");
    Core::Ptr<DI::IJsonDocument> json;
    ASSERT_TRUE(Data_CreateJsonDocument(json.Receive()) && json->Load("[1,2]", 5, nullptr));
    AddRow(typed, {Variant(), Variant::FromUuid(ParseUuid("00112233-4455-6677-8899-aabbccddeeff")),
                   Variant::FromObject(NewDateTime("2026-12-06T02:41:09.123Z"), DS::VT_DateTime),
                   Variant::FromObject(json, DS::VT_JsonDocument), Variant::FromBool(true),
                   Variant::FromObject(::Data::NewByteArray("\x01\x00\x02", 3), DS::VT_Array)});
    auto table = CreateSqliteDbTable(typed, db_, true);
    table->AppendCreateTable();
    table->ExecuteScript();
    table->InsertChangedRows();
    table->Load();
    RowPtr row = RowAt(table->GetTable(), 0);
    EXPECT_EQ(Cell(row, "u").ToString(), "00112233-4455-6677-8899-aabbccddeeff");
    EXPECT_EQ(Cell(row, "t").Type(), DS::VT_DateTime);
    EXPECT_EQ(Cell(row, "t").ToString(), "2026-12-06T02:41:09.123Z");
    EXPECT_EQ(Cell(row, "j").Type(), DS::VT_JsonDocument);
    EXPECT_EQ(Cell(row, "j").ToString(), "[1,2]");
    EXPECT_EQ(Cell(row, "f").ToInt64(), 1);
    EXPECT_EQ(Cell(row, "b").Size(), 3u);
    EXPECT_EQ(RawDb(path_).Rows("SELECT type FROM pragma_table_info('Typed') ORDER BY cid"),
              (Rows{{"INTEGER"}, {"UUID"}, {"DATETIME"}, {"JSON"}, {"BOOLEAN"}, {"BLOB"}}));
}

TEST_F(DbTableTest, LoadWithAnExtraColumnWarnsAndFillsOnlyKnownColumns) {
    auto table = LoadedPeople();
    LogCapture log;
    table->LoadCustom("SELECT Name, id, Score, 'extra' AS Extra FROM Person ORDER BY id DESC");
    EXPECT_EQ(log.Count("WARN: Table -> Table column count mismatch! "
                        "[Vesk::Database::impl::SqliteDbTableImpl::LoadCustom]"),
              1u);
    TablePtr loaded = table->GetTable();
    EXPECT_EQ(loaded->GetColumnCount(), 3u);
    EXPECT_EQ(Names(loaded), (std::vector<std::string>{"Cy", "Bob", "Ada"}));
    EXPECT_FALSE(RowAt(loaded, 0)->HasChanges());
}

TEST_F(DbTableTest, DescriptionAndScriptsOfCollectedStatements) {
    // With nothing collected, nothing is prepared: not even on a connection that cannot open.
    auto broken = CreateSqliteDbTable(PersonTable(), CreateConnection(folder_.File("no/such/dir.db")), true);
    broken->ExecuteScript();
    EXPECT_NE(MessageThrownBy([&] { broken->Count(); }), "");

    // The key column comes from the data table; the set-up's script made the table and its index.
    auto table = LoadedPeople();
    EXPECT_EQ(CreateSqliteDbTable(MakeTable("NoKey", {{"a", DS::VT_Int32}}), db_, true)->Info().idColumn, "id");
    EXPECT_EQ(CreateSqliteDbTable(MakeTable("K", {{"Key", DS::VT_Int32}}, "Key"), db_, true)->Info().idColumn, "Key");
    EXPECT_EQ(RawDb(path_).Rows("SELECT name FROM sqlite_master WHERE type='index'")[0][0], "Person_Name_idx");
    EXPECT_EQ(table->Script(), "");
    table->AppendDeleteAll();
    table->AppendDropTable();
    table->AppendCreateTable();
    EXPECT_EQ(table->Script().substr(0, 22), "DELETE FROM \"Person\";\n");
    table->ExecuteScript();
    EXPECT_EQ(table->Script(), "");
    EXPECT_TRUE(db_->ContainsTable("Person"));
    EXPECT_EQ(table->Count(), 0u);
}

// UUID keys are kept as text in the database; rows loaded with declared types hold Uuid values and must
// still find their database rows when written back.
TEST_F(DbTableTest, UuidKeysRoundTripAsText) {
    const std::string a = "0aaaaaaa-1111-2222-3333-444444444444";
    const std::string b = "0bbbbbbb-1111-2222-3333-444444444444";
    const std::string c = "0ccccccc-1111-2222-3333-444444444444";
    ExecuteScript(db_,
                  "CREATE TABLE Objects (Uid UUID NOT NULL PRIMARY KEY, Name TEXT, Parent UUID);"
                  "INSERT INTO Objects VALUES ('" +
                      a + "', 'first', NULL), ('" + b + "', 'second', '" + a + "');");
    TablePtr objects =
        MakeTable("Objects", {{"Uid", DS::VT_Uuid}, {"Name", DS::VT_String}, {"Parent", DS::VT_Uuid}}, "Uid");
    auto table = CreateSqliteDbTable(objects, db_, true);
    table->Load();
    TablePtr loaded = table->GetTable();
    ASSERT_EQ(loaded->GetRowCount(), 2u);
    ASSERT_EQ(Cell(RowAt(loaded, 1), "Uid").Type(), DS::VT_Uuid);

    SetCell(RowAt(loaded, 1), "Name", Variant::FromString("renamed"));
    table->UpdateChangedRows();
    RawDb check(path_);
    EXPECT_EQ(check.Rows("SELECT Uid, typeof(Uid), Name, Parent, typeof(Parent) FROM Objects ORDER BY Uid"),
              (Rows{{a, "text", "first", "NULL", "null"}, {b, "text", "renamed", a, "text"}}));

    RowPtr added = AddRow(
        loaded, {Variant::FromUuid(ParseUuid(c)), Variant::FromString("third"), Variant::FromUuid(ParseUuid(b))});
    table->InsertRow(added);
    EXPECT_EQ(check.Rows("SELECT typeof(Uid), Parent FROM Objects WHERE Uid = '" + c + "'"), (Rows{{"text", b}}));

    check.Execute("UPDATE Objects SET Name = 'changed elsewhere' WHERE Uid = '" + a + "'");
    table->Refresh(RowAt(loaded, 0));
    EXPECT_EQ(Cell(RowAt(loaded, 0), "Name").ToString(), "changed elsewhere");

    table->DeleteRow(RowAt(loaded, 0));
    EXPECT_EQ(check.Rows("SELECT Uid FROM Objects ORDER BY Uid"), (Rows{{b}, {c}}));
}

TEST_F(DbTableTest, BadInputReachesTheCallerAndARolledBackTransactionLeavesNothing) {
    TablePtr badName = MakeTable("Bad\"Name", {{"id", DS::VT_Int64}});
    auto bad = CreateSqliteDbTable(badName, db_, true);
    bad->AppendCreateTable();
    EXPECT_EQ(MessageThrownBy([&] { bad->ExecuteScript(); }).rfind("Prepared statement error! ", 0), 0u);

    auto people = CreateSqliteDbTable(PersonTable(), db_, true);
    EXPECT_EQ(MessageThrownBy([&] { people->Load(Condition("Name", 99, Variant::FromString("x"))); }),
              "Unsupported operator");

    TablePtr person = PersonTable();
    AddRow(person, {Variant::FromString("Ada"), Variant::FromInt64(1), Variant()});
    AddRow(person, {Variant::FromString("Duplicate"), Variant::FromInt64(1), Variant()});
    auto writer = CreateSqliteDbTable(person, db_, true);
    AddRow(badName, {Variant::FromInt64(7)});
    {
        // The first row goes in before each failure; the caller's rollback takes it out again.
        auto transaction = CreateTransaction(db_);
        EXPECT_EQ(MessageThrownBy([&] { writer->InsertChangedRows(); }),
                  "SQLite constraint error: UNIQUE constraint failed: Person.id");
        EXPECT_EQ(RawDb(path_).Rows("SELECT COUNT(*) FROM Person")[0][0], "0");  // not visible outside
        EXPECT_EQ(MessageThrownBy([&] {
                      bad->InsertChangedRows();
                  }).rfind("Prepared statement error! INSERT INTO \"Bad\"Name\"", 0),
                  0u);
        transaction->MarkForRollback();
    }
    EXPECT_EQ(RawDb(path_).Rows("SELECT COUNT(*) FROM Person")[0][0], "0");
}

}  // namespace
