#include "Vesk/Workspace/WorkspaceSchema.h"

#include <stdexcept>
#include <vector>

#include "Core/Fatal.h"
#include "Core/StringFormat.h"

namespace Vesk::Workspace {
namespace {

// One line per column, then the key; the layout (line feeds, tabs, no semicolon) is part of the
// file format that other tools read back from sqlite_master.
std::string BuildCreateStatement(WorkspaceTable table) {
    std::string sql = std::string("CREATE TABLE IF NOT EXISTS \"") + WorkspaceTableName(table) + "\" (";
    for (const ColumnDefinition& column : TableColumns(table)) {
        sql += std::string("\n\t\t\t\t\t\"") + column.name + "\" " + column.type + " " +
               (column.nullable ? "NULL" : "NOT NULL") + ",";
    }
    sql += "\n\t\t\t\t\tPRIMARY KEY(\"Uuid\")\n\t\t\t\t)";
    return sql;
}

void Run(const Core::Ptr<Data::SQLite::impl::SQLiteImpl>& connection, const std::string& sql) {
    Data::SQLite::CreateStatement(connection, sql)->Execute();
}

}  // namespace

const std::vector<ColumnDefinition>& TableColumns(WorkspaceTable table) {
    static const std::vector<ColumnDefinition> columns[] = {
        {{"Uuid", "UUID", false},
         {"Name", "TEXT", false},
         {"Description", "TEXT", true},
         {"Version", "INTEGER", false},
         {"Inserted", "DATETIME", false},
         {"Updated", "DATETIME", false}},
        {{"Uuid", "UUID", false},
         {"Name", "TEXT", false},
         {"Description", "TEXT", true},
         {"Type", "TEXT", false},
         {"TypeIdentifier", "UUID", true},
         {"EnableCache", "BOOL", false},
         {"ReadOnly", "BOOL", false},
         {"Inserted", "DATETIME", false},
         {"Updated", "DATETIME", false}},
        {{"Uuid", "UUID", false},
         {"DataSourceUuid", "TEXT", false},
         {"Name", "TEXT", false},
         {"Label", "TEXT", true},
         {"Group", "TEXT", true},
         {"DatasetType", "TEXT", false},
         {"TemporalType", "TEXT", false},
         {"SpatialType", "TEXT", false},
         {"Description", "TEXT", true},
         {"InternalName", "TEXT", false},
         {"ReadOnly", "BOOL", false},
         {"Inserted", "DATETIME", false},
         {"Updated", "DATETIME", false}},
        {{"Uuid", "UUID", false},
         {"WorkspaceObjectUuid", "UUID", false},
         {"PropertyGroup", "TEXT", false},
         {"PropertyName", "TEXT", false},
         {"PropertyDescription", "TEXT", true},
         {"PropertyValueType", "INTEGER", false},
         {"PropertyInterfaceType", "TEXT", false},
         {"PropertyClassType", "TEXT", false},
         {"PropertyValue", "BLOB", true},
         {"IsRequired", "BOOL", false}},
        {{"Uuid", "UUID", false},
         {"ParentUuid", "UUID", true},
         {"Name", "TEXT", false},
         {"ObjectType", "TEXT", false},
         {"Description", "TEXT", true},
         {"TypeIdentifier", "UUID", true},
         {"ReadOnly", "BOOL", false},
         {"Inserted", "DATETIME", false},
         {"Updated", "DATETIME", false}},
    };
    const auto index = static_cast<uint32_t>(table);
    if (index >= kWorkspaceTableCount) {
        throw std::runtime_error("Unknown workspace table");
    }
    return columns[index];
}

const char* WorkspaceTableName(WorkspaceTable table) {
    static const char* const names[] = {"Workspaces", "DataSources", "Datasets", "Properties", "GenericObjects"};
    const auto index = static_cast<uint32_t>(table);
    return index < kWorkspaceTableCount ? names[index] : "";
}

const std::string& CreateTableStatement(WorkspaceTable table) {
    static const std::string statements[] = {
        BuildCreateStatement(WorkspaceTable::Workspaces), BuildCreateStatement(WorkspaceTable::DataSources),
        BuildCreateStatement(WorkspaceTable::Datasets), BuildCreateStatement(WorkspaceTable::Properties),
        BuildCreateStatement(WorkspaceTable::GenericObjects)};
    const auto index = static_cast<uint32_t>(table);
    if (index >= kWorkspaceTableCount) {
        throw std::runtime_error("Unknown workspace table");
    }
    return statements[index];
}

std::string DropTableStatement(WorkspaceTable table) {
    if (table == WorkspaceTable::Workspaces || static_cast<uint32_t>(table) >= kWorkspaceTableCount) {
        throw std::runtime_error("Only object tables are recreated");
    }
    return std::string("DROP TABLE IF EXISTS \"") + WorkspaceTableName(table) + "\"";
}

std::string DropRemovedTableStatement(const char* table) {
    return std::string("DROP TABLE IF EXISTS \"") + table + "\"";
}

void ExecuteSchemaStatement(const Core::Ptr<Data::SQLite::impl::SQLiteImpl>& connection, const std::string& sql) {
    Run(connection, sql);
}

void CreateMissingTables(const Core::Ptr<Data::SQLite::impl::SQLiteImpl>& connection) {
    Run(connection, CreateTableStatement(WorkspaceTable::Workspaces));
    for (WorkspaceTable table : {WorkspaceTable::DataSources, WorkspaceTable::Properties, WorkspaceTable::Datasets,
                                 WorkspaceTable::GenericObjects}) {
        CreateObjectTable(connection, table, false);
    }
}

void CreateObjectTable(const Core::Ptr<Data::SQLite::impl::SQLiteImpl>& connection, WorkspaceTable table,
                       bool recreate) {
    if (recreate) {
        Run(connection, DropTableStatement(table));
    }
    Run(connection, CreateTableStatement(table));
}

}  // namespace Vesk::Workspace
