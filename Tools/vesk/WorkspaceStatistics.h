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

}  // namespace VeskTool
