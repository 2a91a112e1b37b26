#pragma once
#include <string>
#include <vector>

#include "Private/Data/SQLite.h"
#include "Vesk/Workspace/WorkspaceTable.h"

namespace Vesk::Workspace {

// One column of a table of the current data model.
struct ColumnDefinition {
    const char* name;
    // The declared type: UUID, TEXT, INTEGER, BOOL, DATETIME or BLOB.
    const char* type;
    bool nullable;
};

// The columns of a table of the current data model, in their order; throws for an unknown index.
const std::vector<ColumnDefinition>& TableColumns(WorkspaceTable table);

// The statement that creates a table of the current data model when it is missing.
const std::string& CreateTableStatement(WorkspaceTable table);
// The statement that drops one of the object tables (all but Workspaces).
std::string DropTableStatement(WorkspaceTable table);

// Creates the missing tables in the order a new workspace needs them: Workspaces, DataSources,
// Properties, Datasets, GenericObjects. Nothing is dropped.
void CreateMissingTables(const Core::Ptr<Data::SQLite::impl::SQLiteImpl>& connection);

// The statements that bring an older database to the current data model, each run as written.
namespace Migration {
// M1: data sources gain the identifier of their type.
inline constexpr const char* kAddDataSourceTypeIdentifier =
    "ALTER TABLE DataSources ADD COLUMN \"TypeIdentifier\" UUID NULL";
// M2 and M3: the dataset's Type column is copied into DatasetType.
inline constexpr const char* kAddDatasetType =
    "ALTER TABLE Datasets ADD COLUMN \"DatasetType\" TEXT NOT NULL DEFAULT 'Generic'";
inline constexpr const char* kCopyTypeToDatasetType = "UPDATE Datasets SET \"DatasetType\" = \"Type\"";
// M4 and M5: the temporal and spatial kinds of a dataset; existing datasets get 'None'.
inline constexpr const char* kAddTemporalType =
    "ALTER TABLE Datasets ADD COLUMN \"TemporalType\" NOT NULL DEFAULT 'None'";
inline constexpr const char* kAddSpatialType =
    "ALTER TABLE Datasets ADD COLUMN \"SpatialType\" NOT NULL DEFAULT 'None'";
}  // namespace Migration

// The tables that version 2 removed, in the order they are dropped.
inline constexpr const char* kRemovedTables[] = {"AttributeSchemas", "Styles", "RasterFeatureEquations",
                                                 "ValidationRules"};

// M6: drops a table of an older version by name.
std::string DropRemovedTableStatement(const char* table);

// Runs one statement without parameters on the connection; a failure is raised by the SQLite layer.
void ExecuteSchemaStatement(const Core::Ptr<Data::SQLite::impl::SQLiteImpl>& connection, const std::string& sql);

// Recreates one object table: drops it first when recreate is set, then creates it.
void CreateObjectTable(const Core::Ptr<Data::SQLite::impl::SQLiteImpl>& connection, WorkspaceTable table,
                       bool recreate);

}  // namespace Vesk::Workspace
