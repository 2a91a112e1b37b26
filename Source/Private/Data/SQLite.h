#pragma once
// The one door to SQLite: connections, prepared statements that bind value records and turn result cells
// back into value records, and scoped transactions. Every database the library touches goes through here.
#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Core/Log.h"
#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Core/StringFormat.h"
#include "Core/Variant.h"
#include "Private/Data/DataObjectNames.h"
#include "Vesk/Data/IArray.h"
#include "Vesk/Data/IString.h"
#include "Vesk/Data/ITable.h"
#include "Vesk/Data/Structures.h"

namespace Vesk::Data::SQLite {

// One result column as the executor sees it.
struct SQLiteColumn {
    int32_t index = 0;
    // Owned by the statement; valid while the statement exists.
    std::string_view name;
    // Storage class of the column in the first row: Null 0, Integer 1, Float 2, Text 3, Blob 4.
    int32_t storageClass = 0;
    // The value type code chosen for the column's cells.
    int32_t valueType = Data::Structures::VT_Null;
};

// One cell of a result row together with its column.
struct SQLiteColumnValuePair {
    SQLiteColumn column;
    Data::Variant value;
};

using ColumnCallback = std::function<void(const std::vector<SQLiteColumn>&)>;
using RowCallback = std::function<void(const std::vector<SQLiteColumnValuePair>&)>;

namespace impl {

struct ConnectionCloser {
    void operator()(sqlite3* handle) const noexcept { sqlite3_close(handle); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* handle) const noexcept { sqlite3_finalize(handle); }
};
using ConnectionHandle = std::unique_ptr<sqlite3, ConnectionCloser>;
using StatementHandle = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// One open connection. Statements and transactions hold a reference to it, so it closes only after
// all of them are gone. Owner thread only: one thread at a time uses a connection and everything
// prepared on it (SQLite is built serialised, but a statement's bindings and steps are not). Opening
// read-only connections is safe from any thread: their schema read takes a process-wide mutex.
class SQLiteImpl final : public Core::ObjectT<Core::IObject> {
public:
    // A file name or a URI ("file:...?mode=memory&cache=shared"). Opening never fails by itself: a name
    // that cannot be opened shows at the first statement. A read-only connection refuses ATTACH and reads
    // the schema once, one read-only opening at a time in the process.
    SQLiteImpl(const std::string& name, bool readOnly);

    // A private in-memory database made from an image. readOnly: SQLite reads the caller's bytes in place
    // (they must stay alive and unchanged for the connection's lifetime) and refuses writes. Otherwise
    // SQLite gets a growable copy of its own and the caller's bytes are not needed after the call.
    SQLiteImpl(const void* data, uint64_t size, bool readOnly);

    // Names of all tables, in the order SQLite lists them.
    std::vector<std::string> GetTables();
    // True when a table of exactly this name (case-sensitive) exists.
    bool ContainsTable(const std::string& name);
    void EnableWal();

    sqlite3* Handle() const noexcept { return handle_.get(); }
    bool IsReadOnly() const noexcept { return readOnly_; }

    // Prepared statements kept for reuse by their text, because the workspace runs the same few
    // statements once per row and preparing costs more than running. Taking a statement removes it, so
    // two users never share one; a statement comes back reset and without bindings. Statements that
    // change the schema empty the cache.
    StatementHandle TakeCachedStatement(const std::string& sql);
    void ReturnStatement(const std::string& sql, StatementHandle statement) noexcept;
    void ForgetCachedStatements() noexcept { cache_.clear(); }

    // Cells that did not fit their column's declared type and were read as Null, since the connection
    // opened: a reader can tell from it whether a load lost anything.
    void NoteTypeMismatch() noexcept { ++typeMismatches_; }
    uint64_t TypeMismatches() const noexcept { return typeMismatches_; }

private:
    ~SQLiteImpl() override = default;
    void Open(const char* name, bool readOnly);

    bool readOnly_;
    ConnectionHandle handle_;
    uint64_t typeMismatches_ = 0;
    // Declared after handle_: the cached statements are finalised before the connection closes.
    std::unordered_map<std::string, StatementHandle> cache_;
};

// One prepared statement with its bindings. Owner thread only, as its connection.
class SQLiteStatementImpl final : public Core::ObjectT<Core::IObject> {
public:
    // Prepares the first statement of sql; a failure is raised as fatal.
    SQLiteStatementImpl(Core::Ptr<SQLiteImpl> connection, std::string sql, bool useDeclaredTypes);
    // Prepares the first statement of script from offset on and reports in consumed how many bytes it took
    // (the statement's text with whatever precedes the next one). Holds no statement when only blanks or
    // comments are left.
    SQLiteStatementImpl(Core::Ptr<SQLiteImpl> connection, const std::string& script, size_t offset,
                        bool useDeclaredTypes, size_t* consumed);

    // Binds value to the 1-based parameter index. False (and NULL bound) for a type SQLite cannot hold.
    // Text and blobs are bound without copying; the statement keeps their owners alive until the end of
    // the next execution that completes, and then hands SQLite copies, so that executing again without
    // binding again reuses the same values instead of released bytes.
    bool Bind(int32_t index, const Data::Variant& value);
    // Binds values to parameters 1, 2, 3 ...; a value that cannot be bound is logged and left NULL.
    void BindAll(std::span<const Data::Variant> values);
    void BindText(int32_t index, Core::Ptr<Data::Interfaces::IString> text);
    // Binds a copy of text or bytes that SQLite makes at once: for values the caller does not keep.
    void BindCopiedText(int32_t index, std::string_view text);
    void BindCopiedBlob(int32_t index, const void* data, uint64_t length);

    // Steps to the end. The column callback runs once per execution (also for an empty result), the row
    // callback once per row; either may be empty. Errors are raised as fatal; a busy database is stepped
    // again at once until the lock is gone.
    void Execute(const ColumnCallback& columnCallback = {}, const RowCallback& rowCallback = {});
    // The second form of Execute: runs the statement and collects its result in a new table (one column
    // per result column, all rows unchanged). ExecuteToTable below is the usual way in.
    Core::Ptr<Data::Interfaces::ITable> Execute2();

    bool IsEmpty() const noexcept { return !statement_; }
    const std::string& Sql() const noexcept { return sql_; }
    sqlite3_stmt* Handle() const noexcept { return statement_.get(); }

private:
    // Gives a reusable statement back to its connection's cache.
    ~SQLiteStatementImpl() override;
    // Bytes bound without copying, owned by an object in keepAlive_.
    struct BorrowedBytes {
        int32_t index;
        const void* data;
        uint64_t length;
        bool text;
    };

    // length is what SQLite is told to read, which may include the text's terminating NUL.
    void Prepare(std::string_view text, int length, const char** tail);
    void Keep(Core::Ptr<Core::IObject> object) { keepAlive_.push_back(std::move(object)); }
    void BindBorrowed(int32_t index, const void* data, uint64_t length, bool text);
    // A new binding of index replaces whatever bytes it borrowed before; called only once the new binding
    // is certain, since a Bind that throws leaves the old one in place.
    void ForgetBorrowed(int32_t index);
    void BindNull(int32_t index);
    void ReleaseKeepAlive();
    std::vector<SQLiteColumn> ReadColumns() const;
    Data::Variant ReadCell(const SQLiteColumn& column) const;
    // Logs a cell that does not fit its column's declared type at DEBUG and counts it on the connection.
    void ReportMismatch(const std::string& message) const;

    std::string sql_;
    Core::Ptr<SQLiteImpl> connection_;
    StatementHandle statement_;
    std::vector<Core::Ptr<Core::IObject>> keepAlive_;
    bool useDeclaredTypes_;
    bool reusable_ = false;  // a plain query or data change, returned to the cache at the end
    std::vector<BorrowedBytes> borrowed_;
};

// A transaction that commits when it goes, unless it was marked for rollback. Owner thread only.
class SqliteTransactionImpl final : public Core::ObjectT<Core::IObject> {
public:
    // Begins the transaction; a failure (for example one already open on the connection) is raised.
    explicit SqliteTransactionImpl(Core::Ptr<SQLiteImpl> connection);
    void MarkForRollback() noexcept { commit_ = false; }
    bool WillCommit() const noexcept { return commit_; }

private:
    // Ends the transaction. A failure cannot be reported from here: it is logged at ERROR, and a
    // failed COMMIT is rolled back so that the connection is not left inside a transaction.
    ~SqliteTransactionImpl() override;

    bool commit_ = true;
    Core::Ptr<SQLiteImpl> connection_;
};

inline void SQLiteStatementImpl::BindAll(std::span<const Data::Variant> values) {
    for (size_t i = 0; i < values.size(); ++i) {
        const auto index = static_cast<int32_t>(i + 1);
        if (!Bind(index, values[i])) {
            Core::LogMessage(Core::LogError, "SQLiteStatementImpl::Bind", "SQLite.h", __LINE__,
                             Core::StringFormat("Failed to bind value to parameter %d", index).c_str());
        }
    }
}

}  // namespace impl

// A read-write connection to a file name or URI.
Core::Ptr<impl::SQLiteImpl> CreateConnection(const std::string& name);
// A read-only connection to a file name or URI.
Core::Ptr<impl::SQLiteImpl> CreateReadOnlyConnection(const std::string& name);
// A connection to an image: read-only on the caller's bytes, or writable on a growable private copy.
Core::Ptr<impl::SQLiteImpl> CreateConnectionFromImage(const void* data, uint64_t size, bool readOnly);
// The process-wide in-memory database named by uuid; it lives while one of its connections is open.
Core::Ptr<impl::SQLiteImpl> OpenSharedMemoryDatabase(const Data::Structures::_UUID& uuid);

Core::Ptr<impl::SQLiteStatementImpl> CreateStatement(const Core::Ptr<impl::SQLiteImpl>& connection,
                                                     const std::string& sql);
Core::Ptr<impl::SQLiteStatementImpl> CreateStatement(const Core::Ptr<impl::SQLiteImpl>& connection,
                                                     const std::string& sql, bool useDeclaredTypes);
// Runs sql with declared types on and returns its result as a new table.
Core::Ptr<Data::Interfaces::ITable> ExecuteToTable(const Core::Ptr<impl::SQLiteImpl>& connection,
                                                   const std::string& sql);
// Runs every statement of script in order, each to its end, with no callbacks.
void ExecuteScript(const Core::Ptr<impl::SQLiteImpl>& connection, const std::string& script,
                   bool useDeclaredTypes = false);
Core::Ptr<impl::SqliteTransactionImpl> CreateTransaction(const Core::Ptr<impl::SQLiteImpl>& connection);

// The connection's main database as an image (a new byte array).
Core::Ptr<Data::Interfaces::IArray> Serialize(const Core::Ptr<impl::SQLiteImpl>& connection);

}  // namespace Vesk::Data::SQLite
