#pragma once
// What `vesk check` finds in a workspace file with plain SQLite, and the removal of the rows that belong to
// nothing. The library itself cannot see such rows: it loads them, but hands out only what hangs together.
#include <cstdint>
#include <string>
#include <vector>

namespace VeskTool {

// One thing wrong with the file: kind is a fixed word for scripts ("integrity", "workspace-record",
// "unreadable", "orphan-dataset", "orphan-property", "orphan-object"); uuid names the row, empty for the file.
struct Problem {
    std::string kind;
    std::string uuid;
    std::string detail;  // one line in words a user understands
};

// The rows an orphan removal takes out, by table.
struct OrphanRows {
    uint64_t datasets = 0;
    uint64_t objects = 0;
    uint64_t properties = 0;
    uint64_t Total() const { return datasets + objects + properties; }
};

struct CheckResult {
    std::vector<Problem> problems;
    // Empty when the orphans may be removed; otherwise why the file must not be touched.
    std::string notFixable;
    OrphanRows orphans;  // what a removal would take out now
};

// Checks the file at path read-only: SQLite's integrity check, then the workspace's own references. Throws
// std::runtime_error when the file cannot be opened at all.
CheckResult CheckWorkspaceFile(const std::string& path);

// Removes every orphaned row in one transaction that waits a few seconds for other writers and then either
// commits all or nothing. Throws std::runtime_error, having removed nothing, when the file is busy, when its
// workspace record is not single, when the orphans found under the lock are not the expected ones (the file
// changed since it was checked) or when SQLite fails. Returns what it removed.
OrphanRows RemoveOrphans(const std::string& path, const OrphanRows& expected);

}  // namespace VeskTool
