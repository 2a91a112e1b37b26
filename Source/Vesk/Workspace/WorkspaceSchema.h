#pragma once
#include <string>

#include "Private/Data/SQLite.h"
#include "Vesk/Workspace/WorkspaceTable.h"

namespace Vesk::Workspace {

// The statement that creates a table of the current data model when it is missing.
const std::string& CreateTableStatement(WorkspaceTable table);
// The statement that drops one of the object tables (all but Workspaces).
std::string DropTableStatement(WorkspaceTable table);

// Creates the missing tables in the order a new workspace needs them: Workspaces, DataSources,
// Properties, Datasets, GenericObjects. Nothing is dropped.
void CreateMissingTables(const Core::Ptr<Data::SQLite::impl::SQLiteImpl>& connection);

// Recreates one object table: drops it first when recreate is set, then creates it.
void CreateObjectTable(const Core::Ptr<Data::SQLite::impl::SQLiteImpl>& connection, WorkspaceTable table,
                       bool recreate);

}  // namespace Vesk::Workspace
