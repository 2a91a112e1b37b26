#pragma once
// A data table bound to one table of a database: loads the database rows into a fresh data table that
// replaces the one it held (holders of the old table keep the old rows; ask GetTable after loading),
// writes changed rows back, deletes and refreshes rows, counts. Which rows a SQLite table writes is
// decided by the rows' own change flag: an unchanged row is never written, and a write never clears it.
// Owner thread only: a database table, its data table and its connection are used by one thread at a
// time.
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Private/Data/SQLite.h"
#include "Private/Data/SqlStatements.h"
#include "Vesk/Data/ITable.h"

namespace Vesk::Database::impl {

using RowPtr = Core::Ptr<Data::Interfaces::IRow>;
using RowList = std::vector<RowPtr>;
using TablePtr = Core::Ptr<Data::Interfaces::ITable>;

// The dialect-independent part: the table's description and the script path, which collects SQL text
// (one statement per line) to run later in one go.
class DbTableBaseImpl : public Core::IObject {
public:
    virtual void AppendDropTable();                                      // 6
    virtual void AppendCreateTable();                                    // 7
    virtual void AppendCreateSpatialIndex(const std::string& argument);  // 8
    virtual void AppendCreateIndex(const std::string& column);           // 9
    virtual void UpdateRows(const RowList& rows);                        // 10
    virtual void UpdateRow(const RowPtr& row);                           // 11
    virtual bool UpdateChangedRows();                                    // 12
    virtual void InsertRows(const RowList& rows);                        // 13
    virtual void InsertRow(const RowPtr& row);                           // 14
    virtual void InsertChangedRows();                                    // 15
    virtual void DeleteRows(const RowList& rows);                        // 16
    virtual void DeleteRow(const RowPtr& row);                           // 17
    virtual void AppendDeleteAll();                                      // 18
    // The Load forms and LoadCustom replace the data table by a new one holding exactly the rows read.
    virtual void Load(const Data::Sql::Filter& filter);                                   // 19
    virtual void Load(const Data::Sql::Filter& filter, uint64_t offset, uint64_t limit);  // 20
    virtual void Load(uint64_t offset, uint64_t limit);                                   // 21
    virtual void Load();                                                                  // 22
    virtual void LoadCustom(const std::string& sql) = 0;                                  // 23
    virtual uint64_t Count() = 0;                                                         // 24
    virtual void ExecuteScript() = 0;                                                     // 25
    virtual TablePtr GetTable();                                                          // 26

    const Data::Sql::DbTableInfo& Info() const noexcept { return info_; }
    // The statements collected so far and not yet run.
    std::string Script() const { return script_.str(); }

protected:
    DbTableBaseImpl(TablePtr table, std::unique_ptr<Data::Sql::SqlStatements> generator);
    ~DbTableBaseImpl() override = default;
    void AppendLine(const std::string& sql) { script_ << sql << '\n'; }
    // Takes the collected text out of the buffer and leaves it empty.
    std::string TakeScript();

    TablePtr table_;
    Data::Sql::DbTableInfo info_;
    std::ostringstream script_;
    std::unique_ptr<Data::Sql::SqlStatements> generator_;
};

// Runs its statements directly on a SQLite connection with bound parameters. An update throws when the
// row's key matches no database row (another connection deleted it), rather than writing nowhere.
class SqliteDbTableImpl final : public Core::ObjectT<DbTableBaseImpl> {
public:
    SqliteDbTableImpl(TablePtr table, Core::Ptr<Data::SQLite::impl::SQLiteImpl> connection, bool useDeclaredTypes);

    void UpdateRows(const RowList& rows) override;
    void UpdateRow(const RowPtr& row) override;
    bool UpdateChangedRows() override;
    void InsertRows(const RowList& rows) override;
    void InsertRow(const RowPtr& row) override;
    void InsertChangedRows() override;
    void DeleteRows(const RowList& rows) override;
    void DeleteRow(const RowPtr& row) override;
    void LoadCustom(const std::string& sql) override;
    uint64_t Count() override;
    // Runs every statement of the buffer in order, then empties it (also when a statement fails).
    void ExecuteScript() override;

    // Reads the row's database row again by its key and marks the row unchanged.
    void Refresh(const RowPtr& row);

private:
    ~SqliteDbTableImpl() override = default;
    void UpdateEach(const RowList& rows);
    void InsertEach(const RowList& rows);
    void DeleteEach(const RowList& rows);
    Core::Ptr<Data::SQLite::impl::SQLiteStatementImpl> Prepare(const std::string& sql) const;

    Core::Ptr<Data::SQLite::impl::SQLiteImpl> connection_;
    bool useDeclaredTypes_;
};

Core::Ptr<SqliteDbTableImpl> CreateSqliteDbTable(const TablePtr& table,
                                                 const Core::Ptr<Data::SQLite::impl::SQLiteImpl>& connection,
                                                 bool useDeclaredTypes);

}  // namespace Vesk::Database::impl
