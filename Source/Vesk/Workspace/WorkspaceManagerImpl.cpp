#include "Vesk/Workspace/WorkspaceManagerImpl.h"

#include <fmt/format.h>

#include <filesystem>
#include <stdexcept>

#include "Core/DataObjects.h"
#include "Core/Fatal.h"
#include "Core/Guard.h"
#include "Core/Log.h"
#include "Core/StringFormat.h"
#include "Core/TableAccess.h"
#include "Platform/CrossProcessLock.h"
#include "Platform/File.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace/WorkspaceSchema.h"

namespace Vesk::Workspace::impl {

using Data::Variant;
namespace SQLite = Data::SQLite;

namespace {

constexpr const char* kUnnamed = "unnamed";

bool IsMemoryPath(const std::string& path) {
    return path.find(":memory:") != std::string::npos || path.find("mode=memory") != std::string::npos;
}

bool IsSeparator(char c) {
    return c == '/' || c == static_cast<char>(std::filesystem::path::preferred_separator);
}

}  // namespace

std::string FolderPathOf(const std::string& path) {
    size_t end = path.size();
    while (end > 0 && !IsSeparator(path[end - 1])) {
        --end;
    }
    const bool rooted = end > 0 && end == 1;
    while (end > 0 && IsSeparator(path[end - 1])) {
        --end;
    }
    // A file directly under the root keeps the root as its folder rather than no folder at all.
    return end == 0 && rooted ? path.substr(0, 1) : path.substr(0, end);
}

std::string WorkingNameOf(const std::string& folderPath) {
    // UTF-8 both ways: the narrow forms of a path would use the system's code page on Windows.
    std::filesystem::path folder = Platform::IO::PathFromUtf8(folderPath);
    if (folderPath.empty()) {
        std::error_code ignored;
        folder = std::filesystem::current_path(ignored);
    }
    const std::u8string name = folder.filename().u8string();
    return name.empty() ? kUnnamed : std::string(name.begin(), name.end());
}

namespace {

uint32_t TrackedIndex(WorkspaceTable table) {
    const auto index = static_cast<uint32_t>(table);
    if (table == WorkspaceTable::Workspaces || index >= kWorkspaceTableCount) {
        Core::RaiseFatal(
            Core::StringFormat("Table %s is invalid for the current workspace!", WorkspaceTableName(table)));
    }
    return index;
}

}  // namespace

WorkspaceManagerImpl::WorkspaceManagerImpl(Data::Uuid uuid, const std::string& path, int mode, const void* data,
                                           uint64_t size) {
    if (mode < Interfaces::ReadOnly || mode > Interfaces::ReadWritePersistent) {
        throw std::runtime_error(fmt::format(
            "Unsupported workspace open mode {}: use 0 (read-only), 1 (read-write) or 2 (read-write, kept open)",
            mode));
    }
    openMode_ = mode;
    connectionReadOnly_ = mode == Interfaces::ReadOnly;
    std::string workingName = kUnnamed;
    if (!IsMemoryPath(path)) {
        filePath_ = path;
        folderPath_ = FolderPathOf(path);
        workingName = WorkingNameOf(folderPath_);
    }
    Core::Log(Core::LogInfo, fmt::format("Loading workspace from {}", path));

    // Schema creation, the first insert and the version check must not interleave with another
    // process opening a workspace of the same name.
    Platform::Threading::CrossProcessLock lock("VESKDB_Workspace" + workingName);
    Platform::Threading::CrossProcessLockGuard holding(lock);
    OpenConnection(path, data, size);
    CreateMissingTables(connection_);
    InsertRecordIfNew(uuid, workingName);
    LoadAllTables();
    CheckSingleRecord(path);
    SetHashedSecret();
    CheckVersionAndUpgrade();
    // A newer version's database is opened as it is, whatever its columns.
    if (StoredVersion() <= kDataModelVersion) {
        CheckStoredColumns(path);
    }
    if (IsFileWorkspace() && openMode_ != Interfaces::ReadWritePersistent) {
        connection_ = nullptr;
    }
}

void WorkspaceManagerImpl::OpenConnection(const std::string& path, const void* data, uint64_t size) {
    if (data != nullptr && size != 0) {
        connection_ = SQLite::CreateConnectionFromImage(data, size, openMode_ == Interfaces::ReadOnly);
    } else if (openMode_ == Interfaces::ReadOnly) {
        connection_ = SQLite::CreateReadOnlyConnection(path);
    } else {
        connection_ = SQLite::CreateConnection(path);
        if (!IsMemoryPath(path)) {
            RefuseReadOnlyFile(connection_, path);
        }
    }
}

void WorkspaceManagerImpl::InsertRecordIfNew(const Data::Uuid& uuid, const std::string& name) {
    int64_t count = 0;
    SQLite::CreateStatement(connection_, "SELECT COUNT(*) FROM Workspaces")
        ->Execute({}, [&](const std::vector<SQLite::SQLiteColumnValuePair>& row) {
            count = static_cast<int32_t>(Variant(row.at(0).value).ToInt64());
        });
    if (count != 0) {
        return;
    }
    auto insert = SQLite::CreateStatement(
        connection_,
        "INSERT INTO Workspaces (Uuid, Name, Description, Inserted, Updated, Version) VALUES (?, ?, ?, ?, ?, ?)");
    insert->Bind(1, Variant::FromString(Data::UuidToText(uuid)));
    insert->Bind(2, Variant::FromString(name));
    // An empty text would bind as NULL through Bind; the record's description is an empty text.
    insert->BindText(3, Data::NewString(""));
    insert->Bind(4, Data::CurrentDateTime());
    insert->Bind(5, Data::CurrentDateTime());
    insert->Bind(6, Variant::FromInt32(kDataModelVersion));
    insert->Execute();
}

TablePtr WorkspaceManagerImpl::LoadTable(WorkspaceTable table) {
    const char* name = WorkspaceTableName(table);
    TablePtr loaded = SQLite::ExecuteToTable(connection_, fmt::format("SELECT * FROM {}", name));
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return loaded->SetName(name, e); });
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return loaded->SetKeyColumn("Uuid", e); });
    return loaded;
}

void WorkspaceManagerImpl::LoadTrackedTable(WorkspaceTable table) {
    TrackedTables& tracked = trackedTables_[TrackedIndex(table)];
    tracked.main = LoadTable(table);
    tracked.remove = nullptr;
    tracked.insert = nullptr;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return tracked.main->Copy(0, tracked.remove.Receive(), e); });
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return tracked.main->Copy(0, tracked.insert.Receive(), e); });
    if (table == WorkspaceTable::Properties) {
        propertyIndex_.clear();
        propertyOwners_.reset();
    }
    if (table == WorkspaceTable::GenericObjects) {
        childIndex_.reset();
    }
    NoteColumnDefaults(table);
    ForgetUpdatedRead(table);
}

void WorkspaceManagerImpl::LoadAllTables() {
    workspaceTable_ = LoadTable(WorkspaceTable::Workspaces);
    ForgetUpdatedRead(std::nullopt);
    for (WorkspaceTable table : {WorkspaceTable::DataSources, WorkspaceTable::Datasets, WorkspaceTable::Properties,
                                 WorkspaceTable::GenericObjects}) {
        LoadTrackedTable(table);
    }
}

const TrackedTables& WorkspaceManagerImpl::Tables(WorkspaceTable table) const {
    return trackedTables_[TrackedIndex(table)];
}

void WorkspaceManagerImpl::SetHashedSecret() {
    const Data::Uuid uuid = Uuid();
    secret_ = Data::NewSecureString(Data::Sha256Hex(uuid.bytes, sizeof uuid.bytes));
}

Variant WorkspaceManagerImpl::RecordCell(const char* column) const {
    if (workspaceTable_->GetRowCount() == 0) {
        throw std::runtime_error("The workspace record is missing");
    }
    return Data::CellNamed(Data::RowAt(workspaceTable_, 0), column);
}

Data::Uuid WorkspaceManagerImpl::Uuid() const {
    return RecordCell("Uuid").ToUuid();
}
std::string WorkspaceManagerImpl::Name() const {
    return RecordCell("Name").ToString();
}
std::string WorkspaceManagerImpl::UuidText() const {
    return Data::UuidToText(Uuid());
}
int32_t WorkspaceManagerImpl::StoredVersion() const {
    const Variant cell = RecordCell("Version");
    // Text is no value type, whether its cell keeps a short text inline or refers to a string object.
    if (cell.Type() == Data::Structures::VT_String) {
        throw std::runtime_error("Must be value type!");
    }
    return static_cast<int32_t>(cell.ToInt64());
}

}  // namespace Vesk::Workspace::impl
