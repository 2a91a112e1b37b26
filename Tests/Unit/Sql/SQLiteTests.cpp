#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "Core/Guard.h"
#include "Private/Data/SQLite.h"
#include "SqlTestSupport.h"
#include "Support/Fixtures.h"
#include "Support/TempFolder.h"
#include "Vesk/Data/KeldaData.h"

namespace {

using namespace Vesk::Data::SQLite;
using namespace SqlTest;
namespace DS = ::Data::Structures;
namespace DI = ::Data::Interfaces;
using Connection = Core::Ptr<impl::SQLiteImpl>;

// The rows of a query as value lists, read through the library's executor.
std::vector<std::vector<Variant>> Rows(const Connection& db, const std::string& sql, bool declared = false,
                                       const std::vector<Variant>& parameters = {}) {
    auto statement = CreateStatement(db, sql, declared);
    statement->BindAll(parameters);
    std::vector<std::vector<Variant>> rows;
    statement->Execute({}, [&](const std::vector<SQLiteColumnValuePair>& pairs) {
        std::vector<Variant> row;
        for (const auto& pair : pairs) {
            row.push_back(pair.value);
        }
        rows.push_back(std::move(row));
    });
    return rows;
}

Variant One(const Connection& db, const std::string& sql, bool declared = false,
            const std::vector<Variant>& parameters = {}) {
    auto rows = Rows(db, sql, declared, parameters);
    if (rows.size() != 1 || rows[0].size() != 1) {
        throw std::runtime_error("expected one cell from " + sql);
    }
    return rows[0][0];
}

std::vector<uint8_t> Bytes(const Core::Ptr<DI::IArray>& array) {
    return {array->GetData(), array->GetData() + array->GetByteSize()};
}

class SQLiteTest : public ::testing::Test {
protected:
    // A connection to the test file once script has run on it.
    Connection Open(const std::string& script) {
        Connection db = CreateConnection(path_);
        ExecuteScript(db, script);
        return db;
    }

    VeskTest::TempFolder folder_;
    std::string path_ = folder_.File("test.db");
};

// ---- Connections ----

TEST_F(SQLiteTest, FileConnectionCreatesTheFileListsItsTablesAndSwitchesToWal) {
    Connection db = Open("CREATE TABLE Alpha (a); CREATE TABLE beta (b); CREATE INDEX ix ON Alpha (a);");
    EXPECT_TRUE(std::filesystem::exists(path_));
    EXPECT_EQ(db->GetTables(), (std::vector<std::string>{"Alpha", "beta"}));
    EXPECT_TRUE(db->ContainsTable("Alpha"));
    EXPECT_FALSE(db->ContainsTable("alpha"));  // exact name only
    EXPECT_FALSE(db->ContainsTable("ix"));     // an index is no table
    EXPECT_FALSE(db->IsReadOnly());
    db->EnableWal();
    EXPECT_EQ(One(db, "PRAGMA journal_mode").ToString(), "wal");
}

TEST_F(SQLiteTest, ReadOnlyConnectionRefusesWritesAndAttachAndAnUnopenableOneFailsLate) {
    RawDb(path_).Execute("CREATE TABLE t (a); INSERT INTO t VALUES (1);");
    Connection db = CreateReadOnlyConnection(path_);
    EXPECT_TRUE(db->IsReadOnly());
    EXPECT_EQ(One(db, "SELECT a FROM t").ToInt64(), 1);
    EXPECT_EQ(MessageThrownBy([&] { CreateStatement(db, "INSERT INTO t VALUES (2)")->Execute(); }),
              "SQLite error: attempt to write a readonly database");
    const std::string attach = MessageThrownBy(
        [&] { CreateStatement(db, "ATTACH DATABASE '" + folder_.File("other.db") + "' AS other")->Execute(); });
    EXPECT_NE(attach.find("too many attached databases - max 0"), std::string::npos) << attach;

    // An unopenable name shows at the first statement.
    const std::string missing = folder_.File("no/such/folder/x.db");
    Connection unopened = CreateConnection(missing);  // does not throw by itself
    const std::string error = MessageThrownBy([&] { unopened->GetTables(); });
    EXPECT_EQ(error.rfind("Prepared statement error! SELECT name FROM sqlite_master WHERE type='table' [", 0), 0u)
        << error;
    // Read-only opening reads the schema at once, so the failure shows there.
    EXPECT_NE(MessageThrownBy([&] { CreateReadOnlyConnection(missing); }), "");
}

TEST_F(SQLiteTest, SharedMemoryDatabaseIsSharedByUuidAndGoesWithItsLastConnection) {
    ::Data::Uuid first = ParseUuid("11111111-2222-3333-4444-555555555555");
    ::Data::Uuid second = ParseUuid("aaaaaaaa-2222-3333-4444-555555555555");
    {
        Connection a = OpenSharedMemoryDatabase(first);
        Connection b = OpenSharedMemoryDatabase(first);
        Connection other = OpenSharedMemoryDatabase(second);
        ExecuteScript(a, "CREATE TABLE shared (x);");
        EXPECT_TRUE(b->ContainsTable("shared"));
        EXPECT_FALSE(other->ContainsTable("shared"));
        EXPECT_FALSE(std::filesystem::exists("11111111-2222-3333-4444-555555555555"));
    }
    EXPECT_FALSE(OpenSharedMemoryDatabase(first)->ContainsTable("shared"));
}

TEST_F(SQLiteTest, ImagesOpenReadOnlyInPlaceOrAsGrowablePrivateCopy) {
    Connection source = Open("CREATE TABLE t (v TEXT); INSERT INTO t VALUES ('one'), ('two');");
    const std::vector<uint8_t> image = Bytes(Serialize(source));
    ASSERT_GT(image.size(), 0u);

    Connection readOnly = CreateConnectionFromImage(image.data(), image.size(), true);
    EXPECT_EQ(Rows(readOnly, "SELECT v FROM t ORDER BY v").size(), 2u);
    EXPECT_EQ(MessageThrownBy([&] { CreateStatement(readOnly, "INSERT INTO t VALUES ('x')")->Execute(); }),
              "SQLite error: attempt to write a readonly database");

    std::vector<uint8_t> bytes = image;
    Connection writable = CreateConnectionFromImage(bytes.data(), bytes.size(), false);
    std::fill(bytes.begin(), bytes.end(), 0);  // the connection no longer needs the caller's bytes
    // Far more than the image had room for: the private copy must grow.
    ExecuteScript(writable,
                  "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
                  "INSERT INTO t SELECT printf('row %05d with some padding text', i) FROM n;");
    const std::vector<uint8_t> grown = Bytes(Serialize(writable));
    EXPECT_GT(grown.size(), image.size() * 4);
    Connection reopened = CreateConnectionFromImage(grown.data(), grown.size(), true);
    EXPECT_EQ(One(reopened, "SELECT COUNT(*) FROM t").ToInt64(), 2002);
    EXPECT_EQ(One(source, "SELECT COUNT(*) FROM t").ToInt64(), 2);
}

TEST_F(SQLiteTest, BrokenImagesFailWithAnErrorAndAnEmptyOneCannotBeSerialised) {
    Connection source = Open(
        "CREATE TABLE t (v TEXT);"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 500) "
        "INSERT INTO t SELECT printf('row %05d', i) FROM n;");
    const std::vector<uint8_t> image = Bytes(Serialize(source));
    const std::vector<uint8_t> truncated(image.begin(), image.begin() + static_cast<long>(image.size() / 3));
    source = nullptr;
    RawDb(path_).Execute("PRAGMA journal_mode=WAL; INSERT INTO t VALUES ('wal');");
    const std::string file = VeskTest::FileBytes(path_);
    const std::vector<uint8_t> walImage(file.begin(), file.end());
    ASSERT_EQ(walImage.at(18), 2);  // the header says WAL
    for (const auto* broken : {&truncated, &walImage}) {
        for (bool readOnly : {true, false}) {
            EXPECT_NE(MessageThrownBy([&] {
                          Connection db = CreateConnectionFromImage(broken->data(), broken->size(), readOnly);
                          Rows(db, "SELECT COUNT(*) FROM t");
                      }),
                      "")
                << (broken == &walImage ? "WAL" : "truncated") << ", readOnly " << readOnly;
        }
    }

    // A size SQLite cannot represent is refused before anything touches the bytes.
    const std::string error = MessageThrownBy([&] { CreateConnectionFromImage(image.data(), UINT64_MAX, true); });
    EXPECT_EQ(error.rfind("Sqlite deserialization failed: ", 0), 0u) << error;

    // No image at all is an empty database, which SQLite has no bytes to hand out for.
    Connection db = CreateConnectionFromImage(nullptr, 0, false);
    EXPECT_TRUE(db->GetTables().empty());
    EXPECT_EQ(MessageThrownBy([&] { Serialize(db); }),
              "Pointer of unsigned char must not be null! Sqlite serialization failed");
    ExecuteScript(db, "CREATE TABLE t (a);");
    EXPECT_GT(Serialize(db)->GetByteSize(), 0u);
}

// ---- Binding ----

TEST_F(SQLiteTest, BindStoresEachValueTypeInItsStorageClass) {
    Connection db = Open("CREATE TABLE v (k INTEGER PRIMARY KEY, x);");
    const std::vector<std::pair<Variant, std::string>> cases = {
        {Variant::FromUInt32(4000000000u), "integer|4000000000"},
        {Variant::FromSByte(-1), "integer|-1"},
        {Variant::FromByte(255), "integer|255"},
        {Variant::FromBool(true), "integer|1"},
        {Variant::FromDouble(2.5), "real|2.5"},
        {Variant::FromInlineString("short"), "text|short"},
        {Variant::FromString("by reference"), "text|by reference"},
        {Variant::FromString(""), "null|"},
        {Variant::FromObject(NewDateTime("2026-12-06T02:41:09.123Z"), DS::VT_DateTime),
         "text|2026-12-06T02:41:09.123Z"},
        {Variant::FromObject(::Data::NewByteArray("\x01\x00\x02", 3), DS::VT_Array), "blob|010002"},
        {Variant::FromUuid(ParseUuid("00112233-4455-6677-8899-aabbccddeeff")), "blob|00112233445566778899AABBCCDDEEFF"},
        {Variant(), "null|"},
    };
    auto insert = CreateStatement(db, "INSERT INTO v (x) VALUES (?)");
    for (const auto& [value, expected] : cases) {
        EXPECT_TRUE(insert->Bind(1, value));
        insert->Execute();
    }
    RawDb check(path_);
    const auto rows = check.Rows(
        "SELECT typeof(x) || '|' || CASE typeof(x) WHEN 'blob' THEN hex(x) ELSE ifnull(x, '') END "
        "FROM v ORDER BY k");
    ASSERT_EQ(rows.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(rows[i][0], cases[i].second) << "case " << i;
    }
}

// The objects that own bound bytes are released when an execution ends, but the bindings stay: a second
// execution without new bindings must still see the same values, not released memory.
TEST_F(SQLiteTest, ExecutingAgainReusesTheBoundValuesAndUnbindableOnesBindNull) {
    Connection db = Open("CREATE TABLE r (t, b, n);");
    auto insert = CreateStatement(db, "INSERT INTO r VALUES (?, ?, ?)");
    insert->Bind(1, Variant::FromString(std::string(100, 'x')));
    const auto list = NewObjectList();
    // A refused binding leaves the previous one in place.
    EXPECT_EQ(MessageThrownBy([&] { insert->Bind(1, Variant::FromObject(list, DS::VT_Bool)); }), "Must be value type!");
    insert->Bind(2, Variant::FromUuid(ParseUuid("00112233-4455-6677-8899-aabbccddeeff")));
    insert->Bind(3, Variant::FromString("replaced"));
    insert->Bind(3, Variant::FromInt32(7));  // a later binding of a parameter wins
    insert->Execute();
    insert->Execute();
    EXPECT_EQ(RawDb(path_).Rows("SELECT length(t), hex(b), n FROM r"),
              (std::vector<std::vector<std::string>>(2, {"100", "00112233445566778899AABBCCDDEEFF", "7"})));

    // A value that cannot be bound at all binds NULL, and BindAll logs which parameter it was.
    auto statement = CreateStatement(db, "SELECT ?, ?, ?");
    statement->Bind(1, Variant::FromInt32(9));
    EXPECT_FALSE(statement->Bind(1, Variant::FromObject(list, DS::VT_ObjectList)));

    LogCapture log;
    const auto row = Rows(db, "SELECT ?, ?, ?", false,
                          {Variant::FromInt32(1), Variant::FromObject(list, DS::VT_ObjectList), Variant::FromInt32(3)});
    ASSERT_EQ(row.size(), 1u);
    EXPECT_EQ(row[0][1].Type(), DS::VT_Null);
    EXPECT_EQ(row[0][2].ToInt64(), 3);
    EXPECT_EQ(log.Count("ERROR: Failed to bind value to parameter 2 [SQLiteStatementImpl::Bind]"), 1u);
    EXPECT_EQ(log.Count("parameter 1"), 0u);
}

// ---- Reading ----

TEST_F(SQLiteTest, DeclaredTypesChooseTheValueTypesAndPlainReadingTheStorageClass) {
    Connection db = Open(
        "CREATE TABLE d (u UUID, t DateTime, j json, x XML);"
        "INSERT INTO d VALUES (X'00112233445566778899AABBCCDDEEFF', 1500, '{\"a\":1}', '<r/>');"
        "INSERT INTO d VALUES ('{00112233-4455-6677-8899-aabbccddeeff}', -1500, 7, '<s/>');"
        "INSERT INTO d VALUES ('urn:uuid:00112233-4455-6677-8899-aabbccddeeff',"
        "                      '2026-12-06T02:41:09.123Z', 2.5, NULL);");
    const ::Data::Uuid expected = ParseUuid("00112233-4455-6677-8899-aabbccddeeff");
    const auto rows = Rows(db, "SELECT u, t, j, x FROM d", true);
    ASSERT_EQ(rows.size(), 3u);
    for (const auto& row : rows) {
        ASSERT_EQ(row[0].Type(), DS::VT_Uuid);
        EXPECT_EQ(std::memcmp(row[0].ToUuid().bytes, expected.bytes, 16), 0);
        EXPECT_EQ(row[1].Type(), DS::VT_DateTime);
        EXPECT_EQ(row[2].Type(), DS::VT_JsonDocument);
    }
    EXPECT_EQ(rows[0][1].ToString(), "1970-01-01T00:00:01.500Z");
    EXPECT_EQ(rows[1][1].ToString(), "1969-12-31T23:59:58.500Z");
    EXPECT_EQ(rows[2][1].ToString(), "2026-12-06T02:41:09.123Z");
    EXPECT_EQ(rows[1][2].ToString(), "7");
    EXPECT_EQ(rows[0][3].Type(), DS::VT_XmlDocument);
    EXPECT_EQ(rows[2][3].Type(), DS::VT_Null);

    // Read plainly, every cell follows its storage class, whatever the declared type or the first row say.
    ExecuteScript(db, "CREATE TABLE m (v UUID); INSERT INTO m VALUES (1), ('a'), (X'0102'), (2.5), (NULL);");
    std::vector<uint16_t> types;
    for (const auto& row : Rows(db, "SELECT v FROM m")) {
        types.push_back(row[0].Type());
    }
    EXPECT_EQ(types, (std::vector<uint16_t>{DS::VT_Int64, DS::VT_String, DS::VT_Array, DS::VT_Double, DS::VT_Null}));
}

TEST_F(SQLiteTest, CellsThatDoNotFitTheDeclaredTypeAreNullAndLoggedAtDebug) {
    Connection db = Open(
        "CREATE TABLE u (id UUID);"
        "INSERT INTO u VALUES (X'00112233445566778899AABBCCDDEEFF'), (X'001122334455667788AABBCCDDEEFF');"
        "CREATE TABLE mixed (v);"
        "INSERT INTO mixed VALUES (1), ('later text');");
    LogCapture log;
    const auto uuids = Rows(db, "SELECT id FROM u", true);
    ASSERT_EQ(uuids.size(), 2u);
    EXPECT_EQ(uuids[0][0].Type(), DS::VT_Uuid);
    EXPECT_EQ(uuids[1][0].Type(), DS::VT_Null);
    EXPECT_EQ(log.Count("DEBUG: Failed to determine type from declared type for column id! Value blob length 15. "
                        "Declared type is Uuid"),
              1u);

    // The first row fixes the column's type; a later cell of another class does not fit it.
    const auto declared = Rows(db, "SELECT v FROM mixed", true);
    EXPECT_EQ(declared[1][0].Type(), DS::VT_Null);
    EXPECT_EQ(log.Count("Value is later text. Declared type is Int64"), 1u);
    EXPECT_EQ(Rows(db, "SELECT v FROM mixed", false)[1][0].ToString(), "later text");

    // DateTime text that does not parse ends the execution instead.
    ExecuteScript(db, "CREATE TABLE d (d DATETIME); INSERT INTO d VALUES ('not a date');");
    EXPECT_NE(MessageThrownBy([&] { Rows(db, "SELECT d FROM d", true); }), "");
}

TEST_F(SQLiteTest, ColumnsAreReportedOnceEvenForNoRowsAndTablesKeepTheResultOrder) {
    Connection db = Open("CREATE TABLE t (n INTEGER, s TEXT);");
    int columnCalls = 0;
    int rowCalls = 0;
    std::vector<std::string> names;
    CreateStatement(db, "SELECT n, s AS renamed FROM t")
        ->Execute(
            [&](const std::vector<SQLiteColumn>& columns) {
                ++columnCalls;
                for (const auto& c : columns) {
                    names.emplace_back(c.name);
                }
            },
            [&](const std::vector<SQLiteColumnValuePair>&) { ++rowCalls; });
    EXPECT_EQ(columnCalls, 1);
    EXPECT_EQ(rowCalls, 0);
    EXPECT_EQ(names, (std::vector<std::string>{"n", "renamed"}));
    auto empty = ExecuteToTable(db, "SELECT n, s FROM t");
    EXPECT_EQ(empty->GetColumnCount(), 2u);
    EXPECT_EQ(empty->GetRowCount(), 0u);

    ExecuteScript(db, "INSERT INTO t VALUES (2, 'b'), (1, 'a'), (3, NULL);");
    auto table = ExecuteToTable(db, "SELECT n, s FROM t ORDER BY n DESC");
    ASSERT_EQ(table->GetRowCount(), 3u);
    EXPECT_EQ(Cell(RowAt(table, 0), "n").ToInt64(), 3);
    EXPECT_EQ(Cell(RowAt(table, 1), "s").ToString(), "b");
    EXPECT_EQ(Cell(RowAt(table, 0), "s").Type(), DS::VT_Null);
    for (uint64_t i = 0; i < 3; ++i) {
        EXPECT_FALSE(RowAt(table, i)->HasChanges());
    }
}

// ---- Failures ----

TEST_F(SQLiteTest, FailuresAreRaisedWithSqliteMessagesAndLoggedAsFatalAndScriptsRunToTheFirst) {
    Connection db = Open("CREATE TABLE t (a UNIQUE); INSERT INTO t VALUES (1);");
    LogCapture log;
    EXPECT_EQ(MessageThrownBy([&] { CreateStatement(db, "SELEC 1"); }),
              "Prepared statement error! SELEC 1 [near \"SELEC\": syntax error]");
    EXPECT_EQ(log.Count("FATAL: Prepared statement error! SELEC 1 [near \"SELEC\": syntax error] "
                        "[Vesk::Data::SQLite::impl::SQLiteStatementImpl::SQLiteStatementImpl]"),
              1u);
    EXPECT_EQ(MessageThrownBy([&] { CreateStatement(db, "INSERT INTO t VALUES (1)")->Execute(); }),
              "SQLite constraint error: UNIQUE constraint failed: t.a");
    EXPECT_EQ(MessageThrownBy([&] { CreateStatement(db, "SELECT json('{')")->Execute(); }),
              "SQLite execution error: malformed JSON");
    EXPECT_EQ(log.Count("[Vesk::Data::SQLite::impl::SQLiteStatementImpl::Execute]"), 2u);
    // Only the first statement of a text is prepared.
    CreateStatement(db, "INSERT INTO t VALUES (2); INSERT INTO t VALUES (3);")->Execute();
    EXPECT_EQ(One(db, "SELECT COUNT(*) FROM t").ToInt64(), 2);

    // A script runs every statement of the text, and stops at the first that fails.
    ExecuteScript(db,
                  "-- leading comment\n CREATE TABLE s (a);\n"
                  "INSERT INTO s VALUES (1);; INSERT INTO s VALUES (2);\n/* trailing */ \n");
    EXPECT_EQ(One(db, "SELECT SUM(a) FROM s").ToInt64(), 3);
    ExecuteScript(db, "  -- nothing but a comment\n");
    EXPECT_NE(MessageThrownBy([&] { ExecuteScript(db, "INSERT INTO s VALUES (4); INSERT INTO nope VALUES (5);"); }),
              "");
    EXPECT_EQ(One(db, "SELECT COUNT(*) FROM s").ToInt64(), 3);  // statements before the failure stay
}

// ---- Busy databases and transactions ----

TEST_F(SQLiteTest, BusyDatabaseIsSteppedAgainUntilTheLockGoes) {
    Connection db = Open("CREATE TABLE t (a);");
    RawDb holder(path_);
    holder.Execute("BEGIN IMMEDIATE; INSERT INTO t VALUES ('held');");
    LogCapture log;
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        holder.Execute("COMMIT;");
    });
    const auto start = std::chrono::steady_clock::now();
    CreateStatement(db, "INSERT INTO t VALUES ('mine')")->Execute();
    const auto waited = std::chrono::steady_clock::now() - start;
    release.join();
    EXPECT_GE(waited, std::chrono::milliseconds(50));
    const std::string busyLine =
        "WARN: Database is currently locked. Will try again... "
        "[Vesk::Data::SQLite::impl::SQLiteStatementImpl::Execute]";
    EXPECT_GE(log.Count(busyLine), 1u);
    EXPECT_EQ(RawDb(path_).Rows("SELECT COUNT(*) FROM t")[0][0], "2");

    // A COMMIT that has to wait for a reader waits the same way when the transaction goes.
    log.Clear();
    RawDb reader(path_);
    reader.Execute("BEGIN; SELECT COUNT(*) FROM t;");
    {
        auto transaction = CreateTransaction(db);
        CreateStatement(db, "INSERT INTO t VALUES ('committed')")->Execute();
        std::thread finish([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            reader.Execute("COMMIT;");
        });
        transaction = nullptr;
        finish.join();
    }
    EXPECT_GE(log.Count(busyLine), 1u);
    EXPECT_EQ(RawDb(path_).Rows("SELECT COUNT(*) FROM t")[0][0], "3");
}

TEST_F(SQLiteTest, TransactionCommitsOnReleaseRollsBackWhenMarkedAndWhenTheCommitFails) {
    Connection db = Open("CREATE TABLE t (a);");
    {
        auto transaction = CreateTransaction(db);
        ExecuteScript(db, "INSERT INTO t VALUES (1);");
        EXPECT_EQ(MessageThrownBy([&] { CreateTransaction(db); }),
                  "SQLite execution error: cannot start a transaction within a transaction");
    }
    {
        auto transaction = CreateTransaction(db);
        ExecuteScript(db, "INSERT INTO t VALUES (2);");
        transaction->MarkForRollback();
        EXPECT_FALSE(transaction->WillCommit());
    }
    EXPECT_EQ(RawDb(path_).Rows("SELECT group_concat(a) FROM t")[0][0], "1");

    // A COMMIT that fails is logged and rolled back; the release does not throw.
    ExecuteScript(db,
                  "PRAGMA foreign_keys=ON;"
                  "CREATE TABLE parent (id INTEGER PRIMARY KEY);"
                  "CREATE TABLE child (p INTEGER REFERENCES parent(id) DEFERRABLE INITIALLY DEFERRED);");
    LogCapture log;
    {
        auto transaction = CreateTransaction(db);
        ExecuteScript(db, "INSERT INTO child VALUES (42);");  // checked only at COMMIT
    }
    EXPECT_EQ(log.Count("ERROR: Failed to end transaction with COMMIT; FOREIGN KEY constraint failed"), 1u);
    EXPECT_EQ(sqlite3_get_autocommit(db->Handle()), 1);  // the connection is usable again
    EXPECT_EQ(One(db, "SELECT COUNT(*) FROM child").ToInt64(), 0);
    CreateTransaction(db);  // and takes a new transaction
}

}  // namespace
