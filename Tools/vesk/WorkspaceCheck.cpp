#include "WorkspaceCheck.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

namespace VeskTool {
namespace {

// Long enough for another program's save to finish, short enough that a stuck one gets a clear answer.
constexpr int kBusyTimeoutMs = 3000;

struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, Closer>;
using Statement = std::unique_ptr<sqlite3_stmt, Closer>;

Database Open(const std::string& path, int flags) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags | SQLITE_OPEN_URI, nullptr);
    Database db(raw);
    if (rc != SQLITE_OK) {
        throw std::runtime_error(raw != nullptr ? sqlite3_errmsg(raw) : "out of memory");
    }
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);
    return db;
}

Statement Prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        throw std::runtime_error(sqlite3_errmsg(db));
    }
    return Statement(raw);
}

// Runs sql and calls row(statement) for each row; throws with SQLite's message on failure.
template <class RowFunction>
void ForEachRow(sqlite3* db, const std::string& sql, RowFunction row) {
    const Statement statement = Prepare(db, sql);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        row(statement.get());
    }
    if (rc != SQLITE_DONE) {
        throw std::runtime_error(sqlite3_errmsg(db));
    }
}

void Execute(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message != nullptr ? message : sqlite3_errmsg(db);
        sqlite3_free(message);
        throw std::runtime_error(text);
    }
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// A UUID cell as lower-case hyphenated text, however it was stored: the library writes text, but a row written
// by a UUID binding holds the 16 bytes themselves. Empty for NULL.
std::string UuidCell(sqlite3_stmt* statement, int column) {
    const int type = sqlite3_column_type(statement, column);
    if (type == SQLITE_NULL) {
        return {};
    }
    const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(statement, column));
    const int size = sqlite3_column_bytes(statement, column);
    if (type == SQLITE_BLOB && size == 16) {
        static constexpr char kHex[] = "0123456789abcdef";
        std::string text;
        for (int i = 0; i < 16; ++i) {
            if (i == 4 || i == 6 || i == 8 || i == 10) {
                text += '-';
            }
            text += kHex[bytes[i] >> 4];
            text += kHex[bytes[i] & 0xF];
        }
        return text;
    }
    std::string text(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') {
        text = text.substr(1, 36);
    }
    return Lower(text);
}

std::string TextCell(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text != nullptr ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement, column)))
                           : std::string();
}

struct Row {
    int64_t rowid = 0;
    std::string uuid;
    std::string reference;  // the data source, the parent or the owner it names; empty for none
    std::string name;
    std::string nested;  // a property holding a nested set: that set's owner UUID
};

using UuidSet = std::unordered_set<std::string>;

// The five tables as far as their references go, and what follows from them.
struct Model {
    std::vector<Row> workspaces;
    std::vector<Row> dataSources;
    std::vector<Row> datasets;
    std::vector<Row> objects;
    std::vector<Row> properties;
    std::unordered_map<std::string, std::vector<size_t>> children;  // parent UUID -> indexes into objects

    static Model Read(sqlite3* db) {
        Model model;
        auto read = [&](const std::string& sql, std::vector<Row>& rows, bool nestedColumn) {
            ForEachRow(db, sql, [&](sqlite3_stmt* s) {
                Row row;
                row.rowid = sqlite3_column_int64(s, 0);
                row.uuid = UuidCell(s, 1);
                row.reference = UuidCell(s, 2);
                row.name = TextCell(s, 3);
                if (nestedColumn && TextCell(s, 4) == "IProperties") {
                    row.nested = UuidCell(s, 5);
                }
                rows.push_back(std::move(row));
            });
        };
        read("SELECT rowid, Uuid, NULL, Name FROM Workspaces", model.workspaces, false);
        read("SELECT rowid, Uuid, NULL, Name FROM DataSources", model.dataSources, false);
        read("SELECT rowid, Uuid, DataSourceUuid, Name FROM Datasets", model.datasets, false);
        read("SELECT rowid, Uuid, ParentUuid, Name FROM GenericObjects", model.objects, false);
        read(
            "SELECT rowid, Uuid, WorkspaceObjectUuid, PropertyName, PropertyInterfaceType, PropertyValue "
            "FROM Properties",
            model.properties, true);
        for (size_t i = 0; i < model.objects.size(); ++i) {
            if (!model.objects[i].reference.empty()) {
                model.children[model.objects[i].reference].push_back(i);
            }
        }
        return model;
    }

    // The data sources' UUIDs.
    UuidSet Sources() const { return UuidsOf(dataSources); }

    // Every UUID an object of the workspace has: the workspace itself, data sources, datasets, generic objects.
    UuidSet Objects() const {
        UuidSet all;
        for (const auto* rows : {&workspaces, &dataSources, &datasets, &objects}) {
            for (const Row& row : *rows) {
                all.insert(row.uuid);
            }
        }
        return all;
    }

    // The owners whose properties are at home: owners, and the nested sets their properties hold, to any depth.
    UuidSet PropertyOwners(UuidSet owners) const {
        std::unordered_map<std::string, std::vector<const Row*>> byOwner;
        for (const Row& row : properties) {
            byOwner[row.reference].push_back(&row);
        }
        std::vector<std::string> pending(owners.begin(), owners.end());
        while (!pending.empty()) {
            const std::string owner = std::move(pending.back());
            pending.pop_back();
            const auto found = byOwner.find(owner);
            if (found == byOwner.end()) {
                continue;
            }
            for (const Row* row : found->second) {
                if (!row->nested.empty() && owners.insert(row->nested).second) {
                    pending.push_back(row->nested);
                }
            }
        }
        return owners;
    }

    // The generic objects under the given roots (the roots included), following parents downwards; a parent
    // loop stops the walk where it closes.
    UuidSet Subtrees(const std::vector<std::string>& roots) const {
        UuidSet reached(roots.begin(), roots.end());
        std::vector<std::string> pending(roots.begin(), roots.end());
        while (!pending.empty()) {
            const std::string parent = std::move(pending.back());
            pending.pop_back();
            const auto found = children.find(parent);
            if (found == children.end()) {
                continue;
            }
            for (const size_t child : found->second) {
                if (reached.insert(objects[child].uuid).second) {
                    pending.push_back(objects[child].uuid);
                }
            }
        }
        return reached;
    }

    static UuidSet UuidsOf(const std::vector<Row>& rows) {
        UuidSet uuids;
        for (const Row& row : rows) {
            uuids.insert(row.uuid);
        }
        return uuids;
    }
};

// The rows that belong to nothing, and everything that goes with them.
struct RemovalPlan {
    std::vector<int64_t> datasets;
    std::vector<int64_t> objects;
    std::vector<int64_t> properties;

    OrphanRows Counts() const { return {datasets.size(), objects.size(), properties.size()}; }
};

RemovalPlan PlanRemoval(const Model& model) {
    RemovalPlan plan;
    const UuidSet sources = model.Sources();
    const UuidSet existing = model.Objects();
    UuidSet gone;
    // Datasets without their data source; the generic objects hung under them or under a missing parent.
    std::vector<std::string> roots;
    for (const Row& row : model.datasets) {
        if (sources.count(row.reference) == 0) {
            plan.datasets.push_back(row.rowid);
            gone.insert(row.uuid);
            roots.push_back(row.uuid);
        }
    }
    for (const Row& row : model.objects) {
        if (!row.reference.empty() && existing.count(row.reference) == 0) {
            roots.push_back(row.uuid);
        }
    }
    const UuidSet subtrees = model.Subtrees(roots);
    for (const Row& row : model.objects) {
        if (subtrees.count(row.uuid) != 0) {
            plan.objects.push_back(row.rowid);
            gone.insert(row.uuid);
        }
    }
    // The properties of whatever stays, and of nothing else.
    UuidSet staying;
    for (const std::string& uuid : existing) {
        if (gone.count(uuid) == 0) {
            staying.insert(uuid);
        }
    }
    const UuidSet owners = model.PropertyOwners(std::move(staying));
    for (const Row& row : model.properties) {
        if (owners.count(row.reference) == 0) {
            plan.properties.push_back(row.rowid);
        }
    }
    return plan;
}

std::string Named(const Row& row) {
    return row.uuid + " (" + row.name + ")";
}

// " (N objects beneath it)" for a row that generic objects name as their parent, else nothing.
std::string Beneath(const Model& model, const Row& row) {
    const size_t beneath = model.Subtrees({row.uuid}).size() - 1;
    return beneath == 0 ? std::string()
                        : " (" + std::to_string(beneath) + (beneath == 1 ? " object" : " objects") + " beneath it)";
}

void FindOrphans(const Model& model, std::vector<Problem>& problems) {
    const UuidSet sources = model.Sources();
    // The library makes a generic object under whatever parent UUID it is given, and the tool's add-object
    // accepts a data source or a dataset as well as a generic object; a parent counts when any object has it,
    // so that the fix never takes out what the library still shows.
    const UuidSet existing = model.Objects();
    for (const Row& row : model.datasets) {
        if (sources.count(row.reference) == 0) {
            problems.push_back({"orphan-dataset", row.uuid,
                                "dataset " + Named(row) + " names data source " + row.reference +
                                    ", which does not exist" + Beneath(model, row)});
        }
    }
    for (const Row& row : model.objects) {
        if (!row.reference.empty() && existing.count(row.reference) == 0) {
            problems.push_back({"orphan-object", row.uuid,
                                "object " + Named(row) + " names parent " + row.reference + ", which does not exist" +
                                    Beneath(model, row)});
        }
    }
    // A property of a nested set counts as long as the property holding that set has an owner.
    const UuidSet owners = model.PropertyOwners(existing);
    UuidSet nestedSets;
    for (const Row& row : model.properties) {
        if (!row.nested.empty()) {
            nestedSets.insert(row.nested);
        }
    }
    for (const Row& row : model.properties) {
        if (owners.count(row.reference) != 0) {
            continue;
        }
        const std::string what = "property '" + row.name + "' (" + row.uuid + ")";
        problems.push_back({"orphan-property", row.uuid,
                            nestedSets.count(row.reference) != 0
                                ? what + " is in the nested set " + row.reference + " of a property without an owner"
                                : what + " belongs to " + row.reference + ", which does not exist"});
    }
}

std::vector<std::string> IntegrityProblems(sqlite3* db) {
    std::vector<std::string> lines;
    ForEachRow(db, "PRAGMA integrity_check", [&](sqlite3_stmt* s) { lines.push_back(TextCell(s, 0)); });
    if (lines.size() == 1 && lines[0] == "ok") {
        lines.clear();
    }
    return lines;
}

std::string WorkspaceRecordProblem(const Model& model) {
    const size_t records = model.workspaces.size();
    return records == 1
               ? std::string()
               : "the Workspaces table holds " + std::to_string(records) + " rows where a workspace has exactly one";
}

void DeleteRows(sqlite3* db, const char* table, const std::vector<int64_t>& rowids) {
    const Statement statement = Prepare(db, std::string("DELETE FROM \"") + table + "\" WHERE rowid = ?");
    for (const int64_t rowid : rowids) {
        sqlite3_bind_int64(statement.get(), 1, rowid);
        if (sqlite3_step(statement.get()) != SQLITE_DONE) {
            throw std::runtime_error(sqlite3_errmsg(db));
        }
        sqlite3_reset(statement.get());
    }
}

}  // namespace

CheckResult CheckWorkspaceFile(const std::string& path) {
    const Database db = Open(path, SQLITE_OPEN_READONLY);
    CheckResult result;
    std::vector<std::string> integrity;
    try {
        integrity = IntegrityProblems(db.get());
    } catch (const std::exception& e) {
        // A file damaged near its header, or no database at all, stops the check itself; its tables cannot
        // be read either, so that is the one problem worth saying.
        result.problems.push_back({"integrity", "", std::string("SQLite cannot check the file: ") + e.what()});
        result.notFixable = std::string("SQLite cannot check the file: ") + e.what();
        return result;
    }
    for (const std::string& line : integrity) {
        result.problems.push_back({"integrity", "", "SQLite's integrity check: " + line});
    }
    if (!integrity.empty()) {
        result.notFixable = "SQLite's integrity check failed; restore the file from a backup";
    }
    try {
        const Model model = Model::Read(db.get());
        const std::string record = WorkspaceRecordProblem(model);
        if (!record.empty()) {
            result.problems.push_back({"workspace-record", "", record});
            if (result.notFixable.empty()) {
                result.notFixable = record;
            }
        }
        FindOrphans(model, result.problems);
        result.orphans = PlanRemoval(model).Counts();
    } catch (const std::exception& e) {
        result.problems.push_back({"unreadable", "", std::string("the tables cannot be read: ") + e.what()});
        if (result.notFixable.empty()) {
            result.notFixable = std::string("the tables cannot be read: ") + e.what();
        }
    }
    return result;
}

OrphanRows RemoveOrphans(const std::string& path, const OrphanRows& expected) {
    const Database db = Open(path, SQLITE_OPEN_READWRITE);
    // IMMEDIATE takes the write lock before anything is read, so the rows planned are the rows removed.
    if (sqlite3_exec(db.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const int code = sqlite3_errcode(db.get());
        if (code == SQLITE_BUSY || code == SQLITE_LOCKED) {
            throw std::runtime_error(path + " is being changed by another program; nothing removed, try again later");
        }
        throw std::runtime_error(sqlite3_errmsg(db.get()));
    }
    try {
        // The file may have changed since it was checked; what is removed is decided under the lock.
        const Model model = Model::Read(db.get());
        const std::string record = WorkspaceRecordProblem(model);
        if (!record.empty()) {
            throw std::runtime_error(record);
        }
        const RemovalPlan plan = PlanRemoval(model);
        const OrphanRows planned = plan.Counts();
        if (planned.datasets != expected.datasets || planned.objects != expected.objects ||
            planned.properties != expected.properties) {
            // The user agreed to a number of rows; another program has changed the file since.
            throw std::runtime_error(path + " changed since it was checked; nothing removed, check it again");
        }
        DeleteRows(db.get(), "Properties", plan.properties);
        DeleteRows(db.get(), "GenericObjects", plan.objects);
        DeleteRows(db.get(), "Datasets", plan.datasets);
        Execute(db.get(), "COMMIT");
        return planned;
    } catch (...) {
        sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

}  // namespace VeskTool
