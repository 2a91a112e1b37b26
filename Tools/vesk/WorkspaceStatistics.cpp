#include "WorkspaceStatistics.h"

#include <sqlite3.h>

#include <memory>
#include <stdexcept>

namespace VeskTool {
namespace {

struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

int64_t QueryInteger(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        throw std::runtime_error(sqlite3_errmsg(db));
    }
    std::unique_ptr<sqlite3_stmt, Closer> statement(raw);
    const int rc = sqlite3_step(raw);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        throw std::runtime_error(sqlite3_errmsg(db));
    }
    return rc == SQLITE_ROW ? sqlite3_column_int64(raw, 0) : 0;
}

std::unique_ptr<sqlite3, Closer> OpenReadOnly(const std::string& path) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    std::unique_ptr<sqlite3, Closer> db(raw);
    if (rc != SQLITE_OK) {
        throw std::runtime_error(raw != nullptr ? sqlite3_errmsg(raw) : "out of memory");
    }
    return db;
}

}  // namespace

int64_t ReadVersion(const std::string& path) {
    return QueryInteger(OpenReadOnly(path).get(), "SELECT Version FROM Workspaces LIMIT 1");
}

std::vector<std::string> ReadObjectTypes(const std::string& path) {
    const auto db = OpenReadOnly(path);
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db.get(), "SELECT DISTINCT ObjectType FROM GenericObjects ORDER BY ObjectType", -1, &raw,
                           nullptr) != SQLITE_OK) {
        throw std::runtime_error(sqlite3_errmsg(db.get()));
    }
    std::unique_ptr<sqlite3_stmt, Closer> statement(raw);
    std::vector<std::string> types;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
        types.emplace_back(text != nullptr ? text : "");
    }
    if (rc != SQLITE_DONE) {
        throw std::runtime_error(sqlite3_errmsg(db.get()));
    }
    return types;
}

std::string WhyNotAWorkspace(const std::string& path) {
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    std::unique_ptr<sqlite3, Closer> db(raw);
    if (opened != SQLITE_OK) {
        return raw != nullptr ? sqlite3_errmsg(raw) : "out of memory";
    }
    sqlite3_stmt* query = nullptr;
    const int prepared = sqlite3_prepare_v2(
        raw, "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'Workspaces'", -1, &query, nullptr);
    std::unique_ptr<sqlite3_stmt, Closer> statement(query);
    if (prepared == SQLITE_NOTADB) {
        return "it is not an SQLite database";
    }
    if (prepared != SQLITE_OK || sqlite3_step(query) != SQLITE_ROW) {
        return sqlite3_errmsg(raw);
    }
    return sqlite3_column_int64(query, 0) == 1 ? "" : "it is an SQLite database without a Workspaces table";
}

bool ImageHasWorkspaceRecord(const std::vector<char>& image) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<sqlite3, Closer> db(raw);
    if (rc != SQLITE_OK) {
        throw std::runtime_error(raw != nullptr ? sqlite3_errmsg(raw) : "out of memory");
    }
    // Read-only, SQLite neither writes to nor frees the bytes, which stay the caller's.
    auto* bytes = reinterpret_cast<unsigned char*>(const_cast<char*>(image.data()));
    const auto size = static_cast<sqlite3_int64>(image.size());
    if (sqlite3_deserialize(raw, "main", bytes, size, size, SQLITE_DESERIALIZE_READONLY) != SQLITE_OK) {
        return false;
    }
    try {
        return QueryInteger(raw, "SELECT COUNT(*) FROM Workspaces") == 1;
    } catch (const std::runtime_error&) {
        return false;  // no Workspaces table, or no database at all
    }
}

std::vector<char> ReadDatabaseImage(const std::string& path) {
    const auto db = OpenReadOnly(path);
    sqlite3_int64 size = 0;
    // SQLite copies the pages inside one read transaction, so a writer in another process cannot mix
    // two states of the file into the image.
    unsigned char* bytes = sqlite3_serialize(db.get(), "main", &size, 0);
    if (bytes == nullptr) {
        if (size == 0 && sqlite3_errcode(db.get()) == SQLITE_OK) {
            return {};
        }
        throw std::runtime_error(std::string("cannot read ") + path + ": " + sqlite3_errmsg(db.get()));
    }
    std::vector<char> image(reinterpret_cast<const char*>(bytes), reinterpret_cast<const char*>(bytes) + size);
    sqlite3_free(bytes);
    return image;
}

WorkspaceStatistics ReadStatistics(const std::string& path) {
    const auto db = OpenReadOnly(path);
    sqlite3* raw = db.get();
    WorkspaceStatistics statistics;
    statistics.version = QueryInteger(raw, "SELECT Version FROM Workspaces LIMIT 1");
    for (const char* table : {"Workspaces", "DataSources", "Datasets", "Properties", "GenericObjects"}) {
        statistics.rowCounts.emplace_back(table,
                                          QueryInteger(raw, std::string("SELECT COUNT(*) FROM \"") + table + "\""));
    }
    return statistics;
}

}  // namespace VeskTool
