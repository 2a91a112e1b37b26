// What the workspace checks of a database that another program may have changed: one record, every column
// of the current data model, numbers where numbers belong, a file that can be written when it is opened for
// writing, and the defaults of columns that the data model does not know.
#include <fmt/format.h>

#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

#include "Core/Guard.h"
#include "Core/TableAccess.h"
#include "Vesk/Workspace/WorkspaceManagerImpl.h"
#include "Vesk/Workspace/WorkspaceSchema.h"

namespace Vesk::Workspace::impl {

using Data::Variant;
namespace SQLite = Data::SQLite;

namespace {

constexpr const char* kChangedOutside = "the database was changed outside the workspace library and is not opened";

bool IsKnownColumn(WorkspaceTable table, const std::string& name) {
    for (const ColumnDefinition& column : TableColumns(table)) {
        if (name == column.name) {
            return true;
        }
    }
    return false;
}

}  // namespace

void RefuseReadOnlyFile(const Core::Ptr<Connection>& connection, const std::string& path) {
    // SQLite quietly opens a file that it cannot write read-only; every later write would fail one by one.
    if (sqlite3_db_readonly(connection->Handle(), "main") == 1) {
        throw std::runtime_error(fmt::format(
            "Workspace file {} cannot be written (the file or its folder is read-only): open it read-only instead",
            path));
    }
}

void WorkspaceManagerImpl::CheckSingleRecord(const std::string& path) const {
    // With two records, which one is the workspace would depend on the order SQLite happens to read them.
    const uint64_t records = workspaceTable_->GetRowCount();
    if (records != 1) {
        throw std::runtime_error(
            fmt::format("The Workspaces table of {} holds {} rows where a workspace has exactly one: {}", path, records,
                        kChangedOutside));
    }
}

bool WorkspaceManagerImpl::MayHoldNonNumbers(WorkspaceTable table, const TablePtr& loaded) const {
    // A text or blob in a number column either came first, and gave its column its own type, or came
    // later and was read as a mismatch, which the connection counts.
    if (connection_->TypeMismatches() > 0) {
        return true;
    }
    for (const ColumnDefinition& column : TableColumns(table)) {
        if (std::string_view(column.type) != "INTEGER" && std::string_view(column.type) != "BOOL") {
            continue;
        }
        Core::Ptr<Data::Interfaces::IColumn> loadedColumn;
        const int64_t at = loaded->FindColumn(column.name);
        if (at < 0 || !loaded->GetColumn(static_cast<uint32_t>(at), loadedColumn.Receive(), nullptr) || !loadedColumn) {
            return true;
        }
        const int32_t type = loadedColumn->GetValueType();
        if (type != Data::Structures::VT_Int64 && !(type == Data::Structures::VT_Null && loaded->GetRowCount() == 0)) {
            return true;
        }
    }
    return false;
}

void WorkspaceManagerImpl::CheckStoredColumns(const std::string& path) {
    for (uint32_t index = 0; index < kWorkspaceTableCount; ++index) {
        const auto table = static_cast<WorkspaceTable>(index);
        const TablePtr& loaded = table == WorkspaceTable::Workspaces ? workspaceTable_ : trackedTables_[index].main;
        std::string missing;
        for (const ColumnDefinition& column : TableColumns(table)) {
            if (loaded->FindColumn(column.name) < 0) {
                missing += (missing.empty() ? "" : ", ") + std::string(column.name);
            }
        }
        if (!missing.empty()) {
            throw std::runtime_error(fmt::format("Table {} of {} has no column {}: {}", WorkspaceTableName(table), path,
                                                 missing, kChangedOutside));
        }
    }
    // SQLite keeps a text that does not read as a number in an INTEGER or BOOL column as it is; read as a
    // number it would silently become 0 (a read-only flag would read as false), so such a file is refused.
    // One scan per table covers all its number columns, and only a table whose load showed a sign of such
    // a cell is scanned.
    for (uint32_t index = 0; index < kWorkspaceTableCount; ++index) {
        const auto table = static_cast<WorkspaceTable>(index);
        const TablePtr& loaded = table == WorkspaceTable::Workspaces ? workspaceTable_ : trackedTables_[index].main;
        if (!MayHoldNonNumbers(table, loaded)) {
            continue;
        }
        std::vector<const char*> numbers;
        std::string selected = "\"Uuid\"";
        std::string condition;
        for (const ColumnDefinition& column : TableColumns(table)) {
            if (std::string_view(column.type) == "INTEGER" || std::string_view(column.type) == "BOOL") {
                numbers.push_back(column.name);
                selected += fmt::format(", typeof(\"{0}\") IN ('text', 'blob'), quote(\"{0}\")", column.name);
                condition +=
                    fmt::format("{}typeof(\"{}\") IN ('text', 'blob')", condition.empty() ? "" : " OR ", column.name);
            }
        }
        std::string uuid;
        std::string column;
        std::string value;
        SQLite::CreateStatement(
            connection_,
            fmt::format("SELECT {} FROM \"{}\" WHERE {} LIMIT 1", selected, WorkspaceTableName(table), condition),
            false)
            ->Execute({}, [&](const std::vector<SQLite::SQLiteColumnValuePair>& row) {
                uuid = row.at(0).value.ToString();
                for (size_t i = 0; i < numbers.size() && column.empty(); ++i) {
                    if (row.at(1 + 2 * i).value.ToInt64() != 0) {
                        column = numbers[i];
                        value = row.at(2 + 2 * i).value.ToString();
                    }
                }
            });
        if (!column.empty()) {
            throw std::runtime_error(fmt::format("Column {}.{} of row {} in {} holds {} where a number belongs: {}",
                                                 WorkspaceTableName(table), column, uuid, path, value,
                                                 kChangedOutside));
        }
    }
}

void WorkspaceManagerImpl::NoteColumnDefaults(WorkspaceTable table) {
    auto& defaults = columnDefaults_[static_cast<uint32_t>(table)];
    defaults.clear();
    const TablePtr& loaded = Tables(table).main;
    bool hasUnknown = false;
    for (const std::string& name : Data::ColumnNamesOf(loaded.Get())) {
        hasUnknown = hasUnknown || !IsKnownColumn(table, name);
    }
    if (!hasUnknown) {
        return;
    }
    // A column added by another program (or a newer version of the library) may be NOT NULL with a
    // default; rows inserted here name every column, so they must carry that default themselves.
    std::vector<std::pair<std::string, std::string>> declared;
    SQLite::CreateStatement(connection_,
                            fmt::format("SELECT name, dflt_value FROM pragma_table_info('{}') WHERE dflt_value "
                                        "IS NOT NULL",
                                        WorkspaceTableName(table)),
                            false)
        ->Execute({}, [&](const std::vector<SQLite::SQLiteColumnValuePair>& row) {
            declared.emplace_back(row.at(0).value.ToString(), row.at(1).value.ToString());
        });
    for (const auto& [name, expression] : declared) {
        if (IsKnownColumn(table, name) || loaded->FindColumn(name.c_str()) < 0) {
            continue;
        }
        // The default is evaluated once here; a time default such as CURRENT_TIMESTAMP gives the load time.
        SQLite::CreateStatement(connection_, "SELECT " + expression, false)
            ->Execute({}, [&](const std::vector<SQLite::SQLiteColumnValuePair>& row) {
                defaults.emplace_back(name, row.at(0).value);
            });
    }
}

void WorkspaceManagerImpl::FillColumnDefaults(WorkspaceTable table, const RowPtr& row) const {
    for (const auto& [name, value] : columnDefaults_[static_cast<uint32_t>(table)]) {
        if (!Data::CellNamed(row, name).HasData()) {
            Core::ThrowIfFailed(
                [&](Core::IErrorCode** e) { return row->SetCellByName(name.c_str(), &value.Raw(), e); });
        }
    }
}

}  // namespace Vesk::Workspace::impl
