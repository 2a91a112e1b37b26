#include "Private/Data/SQLite.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <limits>
#include <mutex>
#include <stdexcept>

#include "Core/ErrorCode.h"
#include "Core/Fatal.h"
#include "Core/Guard.h"
#include "Core/Log.h"
#include "Core/StringFormat.h"
#include "Vesk/Data/KeldaData.h"

namespace Vesk::Data::SQLite {

namespace DI = Data::Interfaces;
namespace DS = Data::Structures;

namespace {

constexpr const char* kPrepareFunction = "Vesk::Data::SQLite::impl::SQLiteStatementImpl::SQLiteStatementImpl";
constexpr const char* kExecuteFunction = "Vesk::Data::SQLite::impl::SQLiteStatementImpl::Execute";
constexpr const char* kTransactionFunction = "Vesk::Data::SQLite::impl::SqliteTransactionImpl::~SqliteTransactionImpl";
constexpr const char* kSelectTables = "SELECT name FROM sqlite_master WHERE type='table'";
constexpr const char* kSelectTable = "SELECT name FROM sqlite_master WHERE type='table' AND name=?;";
constexpr const char* kMemoryImageName = "file::memory:?mode=memory";

// Read-only connections read their schema one at a time in the process.
std::mutex& ReadOnlySchemaMutex() {
    static std::mutex mutex;
    return mutex;
}

Core::Ptr<DI::IString> NewString(const char* text, uint64_t length) {
    Core::Ptr<DI::IString> string;
    if (!Data_CreateString(string.Receive()) || !string) {
        throw std::runtime_error("Failed to create string");
    }
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return string->Set(text, length, e); });
    return string;
}

Core::Ptr<DI::IArray> NewArray(const void* data, uint32_t elementSize, uint64_t count) {
    Core::Ptr<DI::IArray> array;
    if (!Data_CreateArray(array.Receive()) || !array) {
        throw std::runtime_error("Failed to create array");
    }
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return array->Assign(data, elementSize, count, e); });
    return array;
}

template <class Document>
Variant NewDocument(bool (*create)(Document**), std::string_view text, uint16_t typeCode) {
    Core::Ptr<Document> document;
    if (!create(document.Receive()) || !document) {
        throw std::runtime_error("Failed to create document");
    }
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return document->Load(text.data(), text.size(), e); });
    return Variant::FromObject(document, typeCode);
}

// Milliseconds since 1970 as a date-time: whole seconds first, then the remainder, which keeps the
// sign of the value (-1500 is -1 s and -500 ms).
Variant DateTimeFromMilliseconds(int64_t value) {
    Core::Ptr<DI::IDateTime> dateTime;
    Core::ThrowIfFailed(
        [&](Core::IErrorCode** e) { return Data_CreateDateTimeFromPosixTime(value / 1000, dateTime.Receive(), e); });
    dateTime->AddMilliseconds(static_cast<double>(value - 1000 * (value / 1000)));
    return Variant::FromObject(dateTime, DS::VT_DateTime);
}

Variant DateTimeFromText(const std::string& text) {
    Core::Ptr<DI::IDateTime> dateTime;
    Core::ThrowIfFailed(
        [&](Core::IErrorCode** e) { return Data_CreateDateTimeFromIso8601(text.c_str(), dateTime.Receive(), e); },
        "Invalid date-time text");
    return Variant::FromObject(dateTime, DS::VT_DateTime);
}

int32_t StorageClassOf(int sqliteType) {
    switch (sqliteType) {
        case SQLITE_INTEGER:
            return 1;
        case SQLITE_FLOAT:
            return 2;
        case SQLITE_TEXT:
            return 3;
        case SQLITE_BLOB:
            return 4;
        default:
            return 0;
    }
}

int32_t ValueTypeOf(int sqliteType) {
    switch (sqliteType) {
        case SQLITE_INTEGER:
            return DS::VT_Int64;
        case SQLITE_FLOAT:
            return DS::VT_Double;
        case SQLITE_TEXT:
            return DS::VT_String;
        case SQLITE_BLOB:
            return DS::VT_Array;
        default:
            return DS::VT_Null;
    }
}

// The value types that declared column types name; 0 when the declared type names none of them.
int32_t DeclaredValueType(const char* declared) {
    std::string lower(declared);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "uuid") {
        return DS::VT_Uuid;
    }
    if (lower == "datetime") {
        return DS::VT_DateTime;
    }
    if (lower == "json") {
        return DS::VT_JsonDocument;
    }
    if (lower == "xml") {
        return DS::VT_XmlDocument;
    }
    return 0;
}

bool IsIntegerColumnType(int32_t t) {
    return (t >= DS::VT_Int16 && t <= DS::VT_SByte) || t == DS::VT_Uuid || t == DS::VT_Null;
}

}  // namespace

namespace impl {

// ---- Connection ----

SQLiteImpl::SQLiteImpl(const std::string& name, bool readOnly) : readOnly_(readOnly) {
    Open(name.c_str(), readOnly);
    if (readOnly) {
        sqlite3_limit(handle_.get(), SQLITE_LIMIT_ATTACHED, 0);
        std::lock_guard<std::mutex> guard(ReadOnlySchemaMutex());
        GetTables();
    }
}

SQLiteImpl::SQLiteImpl(const void* data, uint64_t size, bool readOnly) : readOnly_(readOnly) {
    Open(kMemoryImageName, false);
    // SQLite takes sizes as signed 64-bit numbers and does not refuse a negative one itself.
    if (size > static_cast<uint64_t>(std::numeric_limits<sqlite3_int64>::max())) {
        throw std::runtime_error(fmt::format("Sqlite deserialization failed: {}", "image too large"));
    }
    int rc = SQLITE_OK;
    if (readOnly) {
        // SQLite reads the caller's bytes in place and never writes them.
        auto* bytes = static_cast<unsigned char*>(const_cast<void*>(data));
        rc = sqlite3_deserialize(handle_.get(), "main", bytes, static_cast<sqlite3_int64>(size),
                                 static_cast<sqlite3_int64>(size), SQLITE_DESERIALIZE_READONLY);
    } else {
        // A copy in SQLite's own allocator that SQLite may grow and frees on close (or on failure), so a
        // writable database loaded from an image can take more rows than the image had room for.
        auto* copy = static_cast<unsigned char*>(sqlite3_malloc64(std::max<uint64_t>(size, 1)));
        if (copy == nullptr) {
            throw std::bad_alloc();
        }
        if (size > 0) {
            std::memcpy(copy, data, size);
        }
        rc = sqlite3_deserialize(handle_.get(), "main", copy, static_cast<sqlite3_int64>(size),
                                 static_cast<sqlite3_int64>(std::max<uint64_t>(size, 1)),
                                 SQLITE_DESERIALIZE_RESIZEABLE | SQLITE_DESERIALIZE_FREEONCLOSE);
    }
    const char* message = sqlite3_errmsg(handle_.get());
    if (rc != SQLITE_OK) {
        throw std::runtime_error(fmt::format("Sqlite deserialization failed: {}", message));
    }
}

void SQLiteImpl::Open(const char* name, bool readOnly) {
    // SQLITE_OPEN_URI lets this connection take URI names without changing SQLite's global
    // configuration, which cannot change once SQLite is initialised. A connection is used by one thread
    // at a time, so it goes without the mutex that SQLite would otherwise take in every call (three
    // times per cell read); SQLite's own shared structures keep their locks.
    const int shared = SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX;
    const int flags =
        readOnly ? (SQLITE_OPEN_READONLY | shared) : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | shared);
    sqlite3* handle = nullptr;
    // The result is not examined: a connection that failed to open reports at its first statement.
    sqlite3_open_v2(name, &handle, flags, nullptr);
    handle_.reset(handle);
}

std::vector<std::string> SQLiteImpl::GetTables() {
    std::vector<std::string> names;
    auto statement = CreateStatement(Core::Ptr<SQLiteImpl>(this), kSelectTables);
    statement->Execute(
        {}, [&](const std::vector<SQLiteColumnValuePair>& row) { names.push_back(row.front().value.ToString()); });
    return names;
}

bool SQLiteImpl::ContainsTable(const std::string& name) {
    auto statement = CreateStatement(Core::Ptr<SQLiteImpl>(this), kSelectTable);
    sqlite3_bind_text(statement->Handle(), 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    bool found = false;
    statement->Execute({}, [&](const std::vector<SQLiteColumnValuePair>& row) {
        const Variant& cell = row.front().value;
        if (cell.Type() == DS::VT_String && cell.Text() == name) {
            found = true;
        }
    });
    return found;
}

void SQLiteImpl::EnableWal() {
    CreateStatement(Core::Ptr<SQLiteImpl>(this), "PRAGMA journal_mode=WAL")->Execute();
}

namespace {

constexpr size_t kCachedStatements = 32;

// The statement's first keyword, upper-cased.
std::string FirstKeyword(std::string_view sql) {
    size_t start = 0;
    while (start < sql.size() && std::isspace(static_cast<unsigned char>(sql[start])) != 0) {
        ++start;
    }
    std::string keyword;
    for (size_t i = start; i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i])) != 0; ++i) {
        keyword.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i]))));
    }
    return keyword;
}

// Plain queries and data changes: the statements that run again with other values.
bool IsReusable(std::string_view sql) {
    const std::string keyword = FirstKeyword(sql);
    return keyword == "SELECT" || keyword == "INSERT" || keyword == "UPDATE" || keyword == "DELETE" ||
           keyword == "REPLACE" || keyword == "WITH";
}

}  // namespace

StatementHandle SQLiteImpl::TakeCachedStatement(const std::string& sql) {
    const auto found = cache_.find(sql);
    if (found == cache_.end()) {
        return {};
    }
    StatementHandle statement = std::move(found->second);
    cache_.erase(found);
    return statement;
}

void SQLiteImpl::ReturnStatement(const std::string& sql, StatementHandle statement) noexcept {
    sqlite3_reset(statement.get());
    sqlite3_clear_bindings(statement.get());
    try {
        if (cache_.size() >= kCachedStatements) {
            cache_.clear();
        }
        cache_.insert_or_assign(sql, std::move(statement));
    } catch (...) {
        // Without memory for the entry the statement is simply finalised.
    }
}

// ---- Statement ----

SQLiteStatementImpl::SQLiteStatementImpl(Core::Ptr<SQLiteImpl> connection, std::string sql, bool useDeclaredTypes)
    : sql_(std::move(sql)), connection_(std::move(connection)), useDeclaredTypes_(useDeclaredTypes) {
    reusable_ = IsReusable(sql_);
    if (reusable_) {
        statement_ = connection_->TakeCachedStatement(sql_);
    }
    if (!statement_) {
        Prepare(sql_, static_cast<int>(std::min<size_t>(sql_.size(), INT_MAX)), nullptr);
    }
}

SQLiteStatementImpl::~SQLiteStatementImpl() {
    if (reusable_ && statement_) {
        connection_->ReturnStatement(sql_, std::move(statement_));
    }
}

// SQLite copies the text it is given unless the length it is told includes a terminating NUL; with a
// copy of the rest of the script for every statement, a long script would take quadratic time. So the
// script is read in place, NUL included, and only the consumed part is kept.
SQLiteStatementImpl::SQLiteStatementImpl(Core::Ptr<SQLiteImpl> connection, const std::string& script, size_t offset,
                                         bool useDeclaredTypes, size_t* consumed)
    : connection_(std::move(connection)), useDeclaredTypes_(useDeclaredTypes) {
    const std::string_view rest = std::string_view(script).substr(std::min(offset, script.size()));
    const char* tail = nullptr;
    Prepare(rest, static_cast<int>(std::min<size_t>(rest.size() + 1, INT_MAX)), &tail);
    const size_t used = tail != nullptr ? std::min(static_cast<size_t>(tail - rest.data()), rest.size()) : rest.size();
    sql_.assign(rest.substr(0, used));
    if (consumed != nullptr) {
        *consumed = used;
    }
}

void SQLiteStatementImpl::Prepare(std::string_view text, int length, const char** tail) {
    sqlite3* handle = connection_->Handle();
    sqlite3_stmt* statement = nullptr;
    const int rc = sqlite3_prepare_v3(handle, text.data(), length, 0, &statement, tail);
    statement_.reset(statement);
    // Statements that may change the schema make the cached ones stale. SQLite would prepare those again
    // by itself, but a statement prepared anew reports a vanished table the way a caller expects.
    if (statement != nullptr && sqlite3_stmt_readonly(statement) == 0 && !IsReusable(sqlite3_sql(statement))) {
        connection_->ForgetCachedStatements();
    }
    if (rc != SQLITE_OK) {
        Core::RaiseFatalIn(kPrepareFunction, Core::StringFormat("Prepared statement error! %s [%s]",
                                                                std::string(text).c_str(), sqlite3_errmsg(handle)));
    }
}

void SQLiteStatementImpl::ForgetBorrowed(int32_t index) {
    std::erase_if(borrowed_, [index](const BorrowedBytes& bytes) { return bytes.index == index; });
}

void SQLiteStatementImpl::BindNull(int32_t index) {
    ForgetBorrowed(index);
    sqlite3_bind_null(statement_.get(), index);
}

void SQLiteStatementImpl::BindBorrowed(int32_t index, const void* data, uint64_t length, bool text) {
    ForgetBorrowed(index);
    if (text) {
        sqlite3_bind_text64(statement_.get(), index, static_cast<const char*>(data), length, SQLITE_STATIC,
                            SQLITE_UTF8);
    } else {
        sqlite3_bind_blob64(statement_.get(), index, data, length, SQLITE_STATIC);
    }
    borrowed_.push_back({index, data, length, text});
}

// The bindings outlive the execution but the borrowed bytes may not: SQLite gets its own copies before
// their owners go.
void SQLiteStatementImpl::ReleaseKeepAlive() {
    sqlite3_stmt* statement = statement_.get();
    for (const BorrowedBytes& bytes : borrowed_) {
        if (bytes.text) {
            sqlite3_bind_text64(statement, bytes.index, static_cast<const char*>(bytes.data), bytes.length,
                                SQLITE_TRANSIENT, SQLITE_UTF8);
        } else {
            sqlite3_bind_blob64(statement, bytes.index, bytes.data, bytes.length, SQLITE_TRANSIENT);
        }
    }
    borrowed_.clear();
    keepAlive_.clear();
}

void SQLiteStatementImpl::BindCopiedText(int32_t index, std::string_view text) {
    ForgetBorrowed(index);
    // A non-null pointer even for no bytes: SQLite binds a null pointer as NULL, not as an empty text.
    sqlite3_bind_text64(statement_.get(), index, text.empty() ? "" : text.data(), text.size(), SQLITE_TRANSIENT,
                        SQLITE_UTF8);
}

void SQLiteStatementImpl::BindCopiedBlob(int32_t index, const void* data, uint64_t length) {
    ForgetBorrowed(index);
    sqlite3_bind_blob64(statement_.get(), index, data, length, SQLITE_TRANSIENT);
}

void SQLiteStatementImpl::BindText(int32_t index, Core::Ptr<DI::IString> text) {
    const char* bytes = text->GetText();
    const uint64_t length = text->GetLength();
    Keep(Core::Ptr<Core::IObject>(text));
    BindBorrowed(index, bytes, length, true);
}

bool SQLiteStatementImpl::Bind(int32_t index, const Variant& value) {
    sqlite3_stmt* statement = statement_.get();
    const uint16_t type = value.Type();
    const bool inlineForm = value.Form() == DS::VF_Inline;
    if (type == DS::VT_Null || (!inlineForm && value.Raw().pointer == nullptr)) {
        BindNull(index);
        return true;
    }
    switch (type) {
        case DS::VT_Bool:
            if (!inlineForm) {
                throw std::runtime_error("Must be value type!");
            }
            ForgetBorrowed(index);
            sqlite3_bind_int(statement, index, value.Raw().i32 != 0 ? 1 : 0);
            return true;
        case DS::VT_Int16:
        case DS::VT_Int32:
        case DS::VT_Int64:
        case DS::VT_UInt16:
        case DS::VT_UInt32:
        case DS::VT_UInt64:
        case DS::VT_Byte:
        case DS::VT_SByte: {
            const int64_t number = value.ToInt64();
            ForgetBorrowed(index);
            sqlite3_bind_int64(statement, index, number);
            return true;
        }
        case DS::VT_Int128:
        case DS::VT_UInt128:
        case DS::VT_Uuid: {
            if (!inlineForm) {
                throw std::runtime_error("Must be value type!");
            }
            BindCopiedBlob(index, value.Raw().bytes, 16);
            return true;
        }
        case DS::VT_Double:
        case DS::VT_Float: {
            const double number = value.ToDouble();
            ForgetBorrowed(index);
            sqlite3_bind_double(statement, index, number);
            return true;
        }
        case DS::VT_String: {
            // An empty text is stored as NULL. A short text held in the record itself is copied, since the
            // record is the caller's.
            if (inlineForm) {
                const std::string_view text(value.Raw().text, strnlen(value.Raw().text, sizeof value.Raw().text));
                if (text.empty()) {
                    BindNull(index);
                } else {
                    BindCopiedText(index, text);
                }
                return true;
            }
            auto text = value.AsString();
            if (text->GetLength() == 0) {
                BindNull(index);
            } else {
                BindText(index, text);
            }
            return true;
        }
        case DS::VT_JsonDocument:
        case DS::VT_XmlDocument:
        case DS::VT_DateTime: {
            const std::string rendered =
                type == DS::VT_DateTime ? std::string(value.AsDateTime()->GetText()) : value.Text();
            auto text = NewString(rendered.data(), rendered.size());
            Keep(Core::Ptr<Core::IObject>(text));
            if (text->GetLength() == 0) {
                BindNull(index);
            } else {
                BindBorrowed(index, text->GetText(), text->GetLength(), true);
            }
            return true;
        }
        case DS::VT_Array: {
            auto array = value.AsArray();
            Keep(Core::Ptr<Core::IObject>(array));
            BindBorrowed(index, array->GetData(), array->GetByteSize(), false);
            return true;
        }
        default:
            BindNull(index);
            return false;
    }
}

std::vector<SQLiteColumn> SQLiteStatementImpl::ReadColumns() const {
    sqlite3_stmt* statement = statement_.get();
    const int count = sqlite3_column_count(statement);
    std::vector<SQLiteColumn> columns;
    columns.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        SQLiteColumn column;
        column.index = i;
        const char* name = sqlite3_column_name(statement, i);
        column.name = name != nullptr ? std::string_view(name) : std::string_view();
        const int type = sqlite3_column_type(statement, i);
        column.storageClass = StorageClassOf(type);
        column.valueType = ValueTypeOf(type);
        if (useDeclaredTypes_) {
            if (const char* declared = sqlite3_column_decltype(statement, i)) {
                if (const int32_t declaredType = DeclaredValueType(declared)) {
                    column.valueType = declaredType;
                }
            }
        }
        columns.push_back(column);
    }
    return columns;
}

void SQLiteStatementImpl::ReportMismatch(const std::string& message) const {
    connection_->NoteTypeMismatch();
    Core::LogMessage(Core::LogDebug, kExecuteFunction, __FILE__, __LINE__, message.c_str());
}

Variant SQLiteStatementImpl::ReadCell(const SQLiteColumn& column) const {
    sqlite3_stmt* statement = statement_.get();
    const int i = column.index;
    const int32_t columnType = column.valueType;
    const char* typeName = Data::VariantTypeName(static_cast<uint32_t>(columnType));
    switch (sqlite3_column_type(statement, i)) {
        case SQLITE_INTEGER: {
            const sqlite3_int64 v = sqlite3_column_int64(statement, i);
            if (!useDeclaredTypes_ || IsIntegerColumnType(columnType)) {
                return Variant::FromInt64(v);
            }
            if (columnType == DS::VT_DateTime) {
                return DateTimeFromMilliseconds(v);
            }
            if (columnType == DS::VT_JsonDocument) {
                return NewDocument<DI::IJsonDocument>(Data_CreateJsonDocument, std::to_string(v), DS::VT_JsonDocument);
            }
            ReportMismatch(Core::StringFormat(
                "Failed to determine type from declared type for column %s! Value is %lld. Declared type is %s",
                std::string(column.name).c_str(), static_cast<long long>(v), typeName));
            return Variant();
        }
        case SQLITE_FLOAT: {
            const double d = sqlite3_column_double(statement, i);
            if (useDeclaredTypes_ && columnType == DS::VT_JsonDocument) {
                return NewDocument<DI::IJsonDocument>(Data_CreateJsonDocument, Core::StringFormat("%f", d),
                                                      DS::VT_JsonDocument);
            }
            return Variant::FromDouble(d);
        }
        case SQLITE_TEXT: {
            const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, i));
            const int length = sqlite3_column_bytes(statement, i);
            const std::string_view text(bytes != nullptr ? bytes : "", bytes != nullptr ? length : 0);
            if (!useDeclaredTypes_ || columnType == DS::VT_String || columnType == DS::VT_Null) {
                return Variant::FromCompactString(text);
            }
            switch (columnType) {
                case DS::VT_DateTime:
                    return DateTimeFromText(std::string(text));
                case DS::VT_Uuid:
                    return Variant::FromUuid(Data::UuidFromText(text));
                case DS::VT_JsonDocument:
                    return NewDocument<DI::IJsonDocument>(Data_CreateJsonDocument, text, DS::VT_JsonDocument);
                case DS::VT_XmlDocument:
                    return NewDocument<DI::IXmlDocument>(Data_CreateXmlDocument, text, DS::VT_XmlDocument);
                default:
                    ReportMismatch(Core::StringFormat(
                        "Failed to determine type from declared type for column %s! Value is %s. Declared type is %s",
                        std::string(column.name).c_str(), std::string(text).c_str(), typeName));
                    return Variant();
            }
        }
        case SQLITE_BLOB: {
            const int length = sqlite3_column_bytes(statement, i);
            const void* bytes = sqlite3_column_blob(statement, i);
            const uint64_t n = bytes != nullptr ? static_cast<uint64_t>(length) : 0;
            const bool plain = !useDeclaredTypes_ || columnType == DS::VT_String || columnType == DS::VT_Null ||
                               columnType == DS::VT_Array;
            if (plain) {
                return Variant::FromObject(NewArray(bytes, 1, n), DS::VT_Array);
            }
            if (columnType == DS::VT_Uuid && n == 16) {
                DS::_UUID uuid;
                std::memcpy(uuid.bytes, bytes, 16);
                return Variant::FromUuid(uuid);
            }
            ReportMismatch(Core::StringFormat(
                "Failed to determine type from declared type for column %s! Value blob length %d. Declared type is %s",
                std::string(column.name).c_str(), static_cast<int>(n), typeName));
            return Variant();
        }
        default:
            return Variant();
    }
}

void SQLiteStatementImpl::Execute(const ColumnCallback& columnCallback, const RowCallback& rowCallback) {
    sqlite3_stmt* statement = statement_.get();
    sqlite3* handle = connection_->Handle();
    // A previous execution that ended in an exception may have left the statement in the middle of its
    // rows; start from the top (bindings are kept).
    sqlite3_reset(statement);
    std::vector<SQLiteColumn> columns;
    bool haveColumns = false;
    std::vector<SQLiteColumnValuePair> row;
    for (;;) {
        const int rc = sqlite3_step(statement);
        if (rc == SQLITE_CONSTRAINT) {
            Core::RaiseFatalIn(kExecuteFunction,
                               Core::StringFormat("SQLite constraint error: %s", sqlite3_errmsg(handle)));
        }
        if (rc == SQLITE_ERROR) {
            Core::RaiseFatalIn(kExecuteFunction,
                               Core::StringFormat("SQLite execution error: %s", sqlite3_errmsg(handle)));
        }
        if (rc == SQLITE_BUSY) {
            // Another connection holds the lock: step again at once until it lets go.
            Core::LogMessage(Core::LogWarn, kExecuteFunction, __FILE__, __LINE__,
                             "Database is currently locked. Will try again...");
            continue;
        }
        if (rc >= 1 && rc <= 99) {
            Core::RaiseFatalIn(kExecuteFunction, Core::StringFormat("SQLite error: %s", sqlite3_errmsg(handle)));
        }
        if (!haveColumns && (rc == SQLITE_ROW || rc == SQLITE_DONE)) {
            columns = ReadColumns();
            haveColumns = true;
            if (columnCallback) {
                columnCallback(columns);
            }
        }
        if (rc == SQLITE_ROW) {
            if (static_cast<size_t>(sqlite3_column_count(statement)) != columns.size()) {
                continue;
            }
            // The pairs are made once and their values replaced row by row.
            if (row.size() != columns.size()) {
                row.clear();
                for (const SQLiteColumn& column : columns) {
                    row.push_back({column, Variant()});
                }
            }
            for (size_t i = 0; i < columns.size(); ++i) {
                row[i].value = ReadCell(columns[i]);
            }
            if (rowCallback) {
                rowCallback(row);
            }
            continue;
        }
        if (rc == SQLITE_DONE) {
            sqlite3_reset(statement);
            ReleaseKeepAlive();
            return;
        }
    }
}

Core::Ptr<DI::ITable> SQLiteStatementImpl::Execute2() {
    Core::Ptr<DI::ITable> table;
    if (!Data_CreateTable(table.Receive(), nullptr) || !table) {
        throw std::runtime_error("Failed to create table");
    }
    // Where each result column lands, found once by name: a repeated name lands where its first
    // column is, as setting the cell by name would do.
    std::vector<uint32_t> targets;
    Execute(
        [&](const std::vector<SQLiteColumn>& columns) {
            for (const SQLiteColumn& column : columns) {
                const std::string name(column.name);
                Core::ThrowIfFailed(
                    [&](Core::IErrorCode** e) { return table->AddColumn(name.c_str(), column.valueType, nullptr, e); });
            }
            for (const SQLiteColumn& column : columns) {
                const int64_t target = table->FindColumn(std::string(column.name).c_str());
                if (target < 0) {
                    throw std::runtime_error("Error while setting cell value");
                }
                targets.push_back(static_cast<uint32_t>(target));
            }
        },
        [&](const std::vector<SQLiteColumnValuePair>& pairs) {
            Core::Ptr<DI::IRow> row;
            Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table->NewRow(row.Receive(), e); });
            for (size_t i = 0; i < pairs.size(); ++i) {
                Core::ErrorCode error;
                if (!row->SetCell(targets[i], &pairs[i].value.Raw(), error.Receive()) || error) {
                    throw std::runtime_error("Error while setting cell value");
                }
            }
            row->SetState(DI::RS_Unchanged);
        });
    return table;
}

// ---- Transaction ----

SqliteTransactionImpl::SqliteTransactionImpl(Core::Ptr<SQLiteImpl> connection) : connection_(std::move(connection)) {
    CreateStatement(connection_, "BEGIN TRANSACTION;")->Execute();
}

namespace {

// Runs COMMIT or ROLLBACK for a destructor: waits out a busy database like the executor does, and
// reports failure instead of raising it.
bool EndTransaction(sqlite3* handle, const char* sql, std::string& message) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v3(handle, sql, -1, 0, &raw, nullptr) != SQLITE_OK) {
        message = sqlite3_errmsg(handle);
        sqlite3_finalize(raw);
        return false;
    }
    StatementHandle statement(raw);
    for (;;) {
        const int rc = sqlite3_step(statement.get());
        if (rc == SQLITE_BUSY) {
            // Reads like the executor's line: to whoever watches the log, COMMIT waits like any statement.
            Core::LogMessage(Core::LogWarn, kExecuteFunction, __FILE__, __LINE__,
                             "Database is currently locked. Will try again...");
            continue;
        }
        if (rc == SQLITE_DONE || rc == SQLITE_ROW) {
            return true;
        }
        message = sqlite3_errmsg(handle);
        return false;
    }
}

}  // namespace

SqliteTransactionImpl::~SqliteTransactionImpl() {
    try {
        sqlite3* handle = connection_->Handle();
        std::string message;
        const char* sql = commit_ ? "COMMIT;" : "ROLLBACK;";
        if (!EndTransaction(handle, sql, message)) {
            Core::LogMessage(Core::LogError, kTransactionFunction, __FILE__, __LINE__,
                             Core::StringFormat("Failed to end transaction with %s %s", sql, message.c_str()).c_str());
            // A COMMIT that fails may leave the transaction open; every later write on the connection
            // would then vanish with it. Roll it back so that the connection is usable again.
            if (commit_ && sqlite3_get_autocommit(handle) == 0 && !EndTransaction(handle, "ROLLBACK;", message)) {
                Core::LogMessage(
                    Core::LogError, kTransactionFunction, __FILE__, __LINE__,
                    Core::StringFormat("Failed to roll back after failed commit: %s", message.c_str()).c_str());
            }
        }
    } catch (...) {
        // Nothing may leave a destructor; the log front end itself is the only thing that could throw.
    }
}

}  // namespace impl

// ---- Free functions ----

Core::Ptr<impl::SQLiteImpl> CreateConnection(const std::string& name) {
    return Core::MakeObject<impl::SQLiteImpl>(name, false);
}

Core::Ptr<impl::SQLiteImpl> CreateReadOnlyConnection(const std::string& name) {
    return Core::MakeObject<impl::SQLiteImpl>(name, true);
}

Core::Ptr<impl::SQLiteImpl> CreateConnectionFromImage(const void* data, uint64_t size, bool readOnly) {
    return Core::MakeObject<impl::SQLiteImpl>(data, size, readOnly);
}

Core::Ptr<impl::SQLiteImpl> OpenSharedMemoryDatabase(const DS::_UUID& uuid) {
    const std::string text = Data::UuidToText(uuid);
    return CreateConnection(Core::StringFormat("file:%s?mode=memory&cache=shared", text.c_str()));
}

Core::Ptr<impl::SQLiteStatementImpl> CreateStatement(const Core::Ptr<impl::SQLiteImpl>& connection,
                                                     const std::string& sql) {
    return CreateStatement(connection, sql, false);
}

Core::Ptr<impl::SQLiteStatementImpl> CreateStatement(const Core::Ptr<impl::SQLiteImpl>& connection,
                                                     const std::string& sql, bool useDeclaredTypes) {
    return Core::MakeObject<impl::SQLiteStatementImpl>(connection, sql, useDeclaredTypes);
}

Core::Ptr<DI::ITable> ExecuteToTable(const Core::Ptr<impl::SQLiteImpl>& connection, const std::string& sql) {
    return CreateStatement(connection, sql, true)->Execute2();
}

void ExecuteScript(const Core::Ptr<impl::SQLiteImpl>& connection, const std::string& script, bool useDeclaredTypes) {
    size_t offset = 0;
    while (offset < script.size()) {
        size_t consumed = 0;
        auto statement =
            Core::MakeObject<impl::SQLiteStatementImpl>(connection, script, offset, useDeclaredTypes, &consumed);
        if (!statement->IsEmpty()) {
            statement->Execute();
        }
        if (consumed == 0) {
            break;  // only blanks or comments were left
        }
        offset += consumed;
    }
}

Core::Ptr<impl::SqliteTransactionImpl> CreateTransaction(const Core::Ptr<impl::SQLiteImpl>& connection) {
    return Core::MakeObject<impl::SqliteTransactionImpl>(connection);
}

Core::Ptr<DI::IArray> Serialize(const Core::Ptr<impl::SQLiteImpl>& connection) {
    sqlite3_int64 size = 0;
    unsigned char* bytes = sqlite3_serialize(connection->Handle(), "main", &size, 0);
    Core::CheckNotNull<unsigned char>(bytes, "Sqlite serialization failed");
    std::unique_ptr<unsigned char, void (*)(void*)> owned(bytes, sqlite3_free);
    return NewArray(bytes, 1, static_cast<uint64_t>(size));
}

}  // namespace Vesk::Data::SQLite
