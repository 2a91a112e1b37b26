#pragma once
#include <array>
#include <cstdint>

namespace Vesk::Workspace {

// The tables of a workspace database; the names are the SQL table names.
enum class WorkspaceTable : uint32_t {
    Workspaces = 0,
    DataSources = 1,
    Datasets = 2,
    Properties = 3,
    GenericObjects = 4,
};

inline constexpr uint32_t kWorkspaceTableCount = 5;
inline constexpr int32_t kDataModelVersion = 3;

// The table's SQL name, or an empty text for an index out of range.
const char* WorkspaceTableName(WorkspaceTable table);

}  // namespace Vesk::Workspace
