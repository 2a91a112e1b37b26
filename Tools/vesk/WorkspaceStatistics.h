#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace VeskTool {

// What the database file itself says: its data-model version and the row count of each table.
struct WorkspaceStatistics {
    int64_t version = 0;
    std::vector<std::pair<std::string, int64_t>> rowCounts;
};

// Reads the statistics with SQLite directly, read-only; throws with SQLite's message on failure.
WorkspaceStatistics ReadStatistics(const std::string& path);

// The data-model version the file's workspace record states, read as ReadStatistics does.
int64_t ReadVersion(const std::string& path);

// Why the file at path is not a workspace ("it is not an SQLite database", "it has no Workspaces table"),
// or "" when it is one; read as ReadStatistics does.
std::string WhyNotAWorkspace(const std::string& path);

// The database's content as one image, copied in one read transaction (what the file would hold with no
// writer at work); empty for an empty database. Throws with SQLite's message on failure.
std::vector<char> ReadDatabaseImage(const std::string& path);

// The distinct type texts of the generic objects, which the library lists objects by but cannot enumerate.
std::vector<std::string> ReadObjectTypes(const std::string& path);

// True when the memory image of a database holds a Workspaces table with its one record; false for any
// other database and for bytes that are no database. Throws when SQLite cannot open a memory database.
bool ImageHasWorkspaceRecord(const std::vector<char>& image);

}  // namespace VeskTool
