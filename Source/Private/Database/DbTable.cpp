#include "Private/Database/DbTable.h"

#include <fmt/format.h>

#include <stdexcept>

#include "Core/DataObjects.h"
#include "Core/ErrorCode.h"
#include "Core/Guard.h"
#include "Core/Log.h"
#include "Core/TableAccess.h"
#include "Core/Variant.h"
#include "Private/Data/SQLiteStatements.h"

namespace Vesk::Database::impl {

namespace DI = Data::Interfaces;
namespace DS = Data::Structures;
using Data::CellAt;
using Data::CellNamed;
using Data::RowsOf;
using Data::Variant;
using Data::SQLite::SQLiteColumnValuePair;
using StatementPtr = Core::Ptr<Data::SQLite::impl::SQLiteStatementImpl>;

namespace {

constexpr const char* kSetCellFailed = "Error while setting cell value";

void SetCellNamed(const RowPtr& row, const char* name, const Variant& value) {
    Core::ErrorCode error;
    if (!row->SetCellByName(name, &value.Raw(), error.Receive()) || error) {
        throw std::runtime_error(kSetCellFailed);
    }
}

// UUID columns hold the UUID's text. A row loaded with declared types holds Uuid values, which the
// statement layer would bind as 16-byte blobs, and SQLite never finds a blob equal to a text: keys
// would match nothing and updated cells would change their storage class. Every cell a table writes or
// looks up by therefore goes to SQLite as the text a new row would have had.
// An empty text cell is written as the empty text itself: binding it as NULL would make every write of a
// row fail on a NOT NULL text column that holds one (a property's group) and turn the workspace's empty
// description into NULL at its first save.
void BindCell(const StatementPtr& statement, int32_t index, const Variant& cell) {
    if (cell.Type() == DS::VT_Uuid && cell.Form() == DS::VF_Inline) {
        statement->BindCopiedText(index, Data::UuidToText(cell.ToUuid()));
        return;
    }
    if (cell.Type() == DS::VT_String && cell.HasData() && cell.Text().empty()) {
        statement->BindCopiedText(index, "");
        return;
    }
    statement->Bind(index, cell);
}

}  // namespace

// ---- Base: description and script ----

DbTableBaseImpl::DbTableBaseImpl(TablePtr table, std::unique_ptr<Data::Sql::SqlStatements> generator)
    : table_(std::move(table)), generator_(std::move(generator)) {
    info_.name = table_->GetName();
    info_.schema = "public";
    const std::string key = table_->GetKeyColumn();
    info_.idColumn = key.empty() ? "id" : key;
}

std::string DbTableBaseImpl::TakeScript() {
    std::string text = script_.str();
    script_.str({});
    script_.clear();
    return text;
}

void DbTableBaseImpl::AppendDropTable() {
    AppendLine(generator_->DropTableSql(info_));
}

void DbTableBaseImpl::AppendCreateTable() {
    AppendLine(generator_->CreateTableSql(table_, info_));
}

void DbTableBaseImpl::AppendCreateSpatialIndex(const std::string& argument) {
    AppendLine(generator_->CreateSpatialIndexSql(info_, argument));
}

void DbTableBaseImpl::AppendCreateIndex(const std::string& column) {
    AppendLine(generator_->CreateIndexSql(info_, column));
}

void DbTableBaseImpl::UpdateRows(const RowList& rows) {
    for (const RowPtr& row : rows) {
        UpdateRow(row);
    }
}

// The script forms write what they are given; only UpdateChangedRows picks the changed rows.
void DbTableBaseImpl::UpdateRow(const RowPtr& row) {
    AppendLine(generator_->UpdateSql(row, info_));
}

bool DbTableBaseImpl::UpdateChangedRows() {
    for (const RowPtr& row : RowsOf(table_)) {
        if (row->HasChanges()) {
            UpdateRow(row);
        }
    }
    return true;
}

void DbTableBaseImpl::InsertRows(const RowList& rows) {
    for (const RowPtr& row : rows) {
        InsertRow(row);
    }
}

void DbTableBaseImpl::InsertRow(const RowPtr& row) {
    AppendLine(generator_->InsertSql(row, info_));
}

void DbTableBaseImpl::InsertChangedRows() {
    InsertRows(RowsOf(table_));
}

void DbTableBaseImpl::DeleteRows(const RowList& rows) {
    for (const RowPtr& row : rows) {
        DeleteRow(row);
    }
}

void DbTableBaseImpl::DeleteRow(const RowPtr& row) {
    AppendLine(generator_->DeleteSql(row, info_));
}

void DbTableBaseImpl::AppendDeleteAll() {
    AppendLine(generator_->DeleteAllSql(info_));
}

void DbTableBaseImpl::Load(const Data::Sql::Filter& filter) {
    LoadCustom(generator_->SelectSql(table_, info_, filter));
}

void DbTableBaseImpl::Load(const Data::Sql::Filter& filter, uint64_t offset, uint64_t limit) {
    LoadCustom(generator_->SelectSql(table_, info_, filter, offset, limit));
}

void DbTableBaseImpl::Load(uint64_t offset, uint64_t limit) {
    LoadCustom(generator_->SelectSql(table_, info_, offset, limit));
}

void DbTableBaseImpl::Load() {
    LoadCustom(generator_->SelectSql(table_, info_));
}

TablePtr DbTableBaseImpl::GetTable() {
    return table_;
}

// ---- SQLite ----

SqliteDbTableImpl::SqliteDbTableImpl(TablePtr table, Core::Ptr<Data::SQLite::impl::SQLiteImpl> connection,
                                     bool useDeclaredTypes)
    : ObjectT(std::move(table), std::make_unique<Data::SQLite::SqliteStatements>()),
      connection_(std::move(connection)),
      useDeclaredTypes_(useDeclaredTypes) {}

StatementPtr SqliteDbTableImpl::Prepare(const std::string& sql) const {
    return Data::SQLite::CreateStatement(connection_, sql, useDeclaredTypes_);
}

void SqliteDbTableImpl::UpdateEach(const RowList& rows) {
    // One statement serves every row of the call; it is prepared only when a row needs it.
    StatementPtr statement;
    int64_t keyIndex = -1;
    for (const RowPtr& row : rows) {
        if (!row->HasChanges()) {
            continue;
        }
        if (!statement) {
            keyIndex = table_->FindColumn(info_.idColumn.c_str());
            if (keyIndex < 0) {
                throw std::runtime_error(fmt::format("Table {} has no key column {}", info_.name, info_.idColumn));
            }
            statement = Prepare(generator_->UpdateSql(row, info_, Data::Sql::kWithParameters));
        }
        int32_t parameter = 1;
        const uint32_t cells = row->GetCellCount();
        for (uint32_t i = 0; i < cells; ++i) {
            if (static_cast<int64_t>(i) != keyIndex) {
                BindCell(statement, parameter++, CellAt(row, i));
            }
        }
        const Variant key = CellAt(row, static_cast<uint32_t>(keyIndex));
        BindCell(statement, parameter, key);
        statement->Execute();
        // A row that another connection deleted in the meantime matches nothing: the change would be lost
        // without a word.
        if (sqlite3_changes(connection_->Handle()) == 0) {
            throw std::runtime_error(fmt::format(
                "Row {} of table {} is no longer in the database (another program removed it); the change was not "
                "written",
                key.Type() == DS::VT_Uuid ? Data::UuidToText(key.ToUuid()) : key.ToString(), info_.name));
        }
    }
}

void SqliteDbTableImpl::UpdateRows(const RowList& rows) {
    UpdateEach(rows);
}

void SqliteDbTableImpl::UpdateRow(const RowPtr& row) {
    UpdateEach({row});
}

bool SqliteDbTableImpl::UpdateChangedRows() {
    UpdateEach(RowsOf(table_));
    return true;
}

void SqliteDbTableImpl::InsertEach(const RowList& rows) {
    StatementPtr statement;
    for (const RowPtr& row : rows) {
        if (!row->HasChanges()) {
            continue;
        }
        if (!statement) {
            statement = Prepare(generator_->InsertSql(row, info_, Data::Sql::kWithParameters));
        }
        // A Null key leaves the choice of the key to SQLite.
        const uint32_t cells = row->GetCellCount();
        for (uint32_t i = 0; i < cells; ++i) {
            BindCell(statement, static_cast<int32_t>(i + 1), CellAt(row, i));
        }
        statement->Execute();
    }
}

void SqliteDbTableImpl::InsertRows(const RowList& rows) {
    InsertEach(rows);
}

void SqliteDbTableImpl::InsertRow(const RowPtr& row) {
    InsertEach({row});
}

void SqliteDbTableImpl::InsertChangedRows() {
    InsertEach(RowsOf(table_));
}

void SqliteDbTableImpl::DeleteEach(const RowList& rows) {
    if (rows.empty()) {
        return;
    }
    StatementPtr statement = Prepare(generator_->DeleteSql(info_));
    for (const RowPtr& row : rows) {
        BindCell(statement, 1, CellNamed(row, info_.idColumn));
        statement->Execute();
    }
}

void SqliteDbTableImpl::DeleteRows(const RowList& rows) {
    DeleteEach(rows);
}

void SqliteDbTableImpl::DeleteRow(const RowPtr& row) {
    DeleteEach({row});
}

void SqliteDbTableImpl::Refresh(const RowPtr& row) {
    StatementPtr statement = Prepare(generator_->SelectByIdSql(info_));
    BindCell(statement, 1, CellNamed(row, info_.idColumn));
    // Unlike a load, which selects the data table's own columns, a refresh reads SELECT *: a database
    // column that the data table lacks is a refused cell like any other.
    statement->Execute({}, [&](const std::vector<SQLiteColumnValuePair>& pairs) {
        for (const SQLiteColumnValuePair& pair : pairs) {
            SetCellNamed(row, std::string(pair.column.name).c_str(), pair.value);
        }
    });
    row->SetState(DI::RS_Unchanged);
}

void SqliteDbTableImpl::LoadCustom(const std::string& sql) {
    TablePtr result = Data::SQLite::ExecuteToTable(connection_, sql);
    if (table_->GetColumnCount() != result->GetColumnCount()) {
        Core::LogMessage(Core::LogWarn, "Vesk::Database::impl::SqliteDbTableImpl::LoadCustom", __FILE__, __LINE__,
                         "Table -> Table column count mismatch!");
    }
    TablePtr fresh;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table_->Copy(DI::TC_ColumnsOnly, fresh.Receive(), e); });
    table_ = fresh;

    std::vector<std::pair<uint32_t, std::string>> shared;  // result columns that the table has
    const uint32_t columns = result->GetColumnCount();
    for (uint32_t i = 0; i < columns; ++i) {
        Core::Ptr<DI::IColumn> column;
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return result->GetColumn(i, column.Receive(), e); });
        std::string name = column->GetName();
        if (table_->FindColumn(name.c_str()) >= 0) {
            shared.emplace_back(i, std::move(name));
        }
    }
    for (const RowPtr& source : RowsOf(result)) {
        RowPtr row;
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table_->NewRow(row.Receive(), e); });
        for (const auto& [index, name] : shared) {
            SetCellNamed(row, name.c_str(), CellAt(source, index));
        }
        row->SetState(DI::RS_Unchanged);
    }
}

uint64_t SqliteDbTableImpl::Count() {
    uint64_t count = 0;
    auto statement = Data::SQLite::CreateStatement(connection_, generator_->SelectCountSql(info_, {}), true);
    statement->Execute({}, [&](const std::vector<SQLiteColumnValuePair>& pairs) {
        count = static_cast<uint64_t>(pairs.front().value.ToInt64());
    });
    return count;
}

void SqliteDbTableImpl::ExecuteScript() {
    const std::string script = TakeScript();
    if (script.empty()) {
        return;
    }
    Data::SQLite::ExecuteScript(connection_, script, useDeclaredTypes_);
}

Core::Ptr<SqliteDbTableImpl> CreateSqliteDbTable(const TablePtr& table,
                                                 const Core::Ptr<Data::SQLite::impl::SQLiteImpl>& connection,
                                                 bool useDeclaredTypes) {
    return Core::MakeObject<SqliteDbTableImpl>(table, connection, useDeclaredTypes);
}

}  // namespace Vesk::Database::impl
