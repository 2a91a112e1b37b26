#pragma once
// A plain SQLite connection that reads and writes a database the way an outside tool would, to
// check what the library wrote or to change a file behind its back.
#include <sqlite3.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace VeskTest {

class SqliteReader {
public:
    explicit SqliteReader(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI,
                            nullptr) != SQLITE_OK) {
            throw std::runtime_error("cannot open " + path);
        }
        // Bounded, so that a test whose library connection holds a lock still ends.
        sqlite3_busy_timeout(db_, 5000);
    }
    // An in-memory copy of an image, for what a serialised workspace holds.
    SqliteReader(const void* image, size_t size) {
        sqlite3_open(":memory:", &db_);
        auto* copy = static_cast<unsigned char*>(sqlite3_malloc64(size));
        std::memcpy(copy, image, size);
        if (sqlite3_deserialize(db_, "main", copy, size, size,
                                SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE) != SQLITE_OK) {
            throw std::runtime_error(sqlite3_errmsg(db_));
        }
    }
    ~SqliteReader() { sqlite3_close(db_); }
    SqliteReader(const SqliteReader&) = delete;
    SqliteReader& operator=(const SqliteReader&) = delete;

    // Every row of the query, each cell as text ("NULL" for NULL, "blob:<n>" for a blob of n bytes).
    std::vector<std::vector<std::string>> Rows(const std::string& sql) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + " in " + sql);
        }
        std::vector<std::vector<std::string>> rows;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                switch (sqlite3_column_type(statement, i)) {
                    case SQLITE_NULL:
                        row.emplace_back("NULL");
                        break;
                    case SQLITE_BLOB:
                        row.push_back("blob:" + std::to_string(sqlite3_column_bytes(statement, i)));
                        break;
                    default:
                        row.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, i)));
                }
            }
            rows.push_back(std::move(row));
        }
        sqlite3_finalize(statement);
        return rows;
    }
    std::string Value(const std::string& sql) {
        auto rows = Rows(sql);
        return rows.empty() || rows[0].empty() ? std::string("<none>") : rows[0][0];
    }
    void Execute(const std::string& sql) {
        char* message = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            std::string text = message != nullptr ? message : "error";
            sqlite3_free(message);
            throw std::runtime_error(text + " in " + sql);
        }
    }

    sqlite3* Handle() const { return db_; }

private:
    sqlite3* db_ = nullptr;
};

}  // namespace VeskTest
