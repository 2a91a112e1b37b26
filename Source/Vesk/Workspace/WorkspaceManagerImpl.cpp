#include "Vesk/Workspace/WorkspaceManagerImpl.h"

#include <fmt/format.h>

#include <filesystem>
#include <stdexcept>

#include "Core/DataObjects.h"
#include "Core/Guard.h"
#include "Core/Log.h"
#include "Core/StringFormat.h"
#include "Core/TableAccess.h"
#include "Platform/CrossProcessLock.h"
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

// The folder that holds the file. A bare file name is resolved against the working folder, so that
// the workspace still gets its folder's name; SQLite URIs are taken as they stand.
std::string ParentFolder(const std::string& path) {
    std::filesystem::path file(path);
    if (path.rfind("file:", 0) != 0) {
        std::error_code ignored;
        const auto absolute = std::filesystem::absolute(file, ignored);
        if (!absolute.empty()) {
            file = absolute.lexically_normal();
        }
    }
    return file.parent_path().string();
}

std::string WorkingName(const std::string& folder) {
    const std::string name = std::filesystem::path(folder).filename().string();
    return name.empty() ? kUnnamed : name;
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
        folderPath_ = ParentFolder(path);
        workingName = WorkingName(folderPath_);
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
    SetHashedSecret();
    CheckVersionAndUpgrade();
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
    TrackedTables& tracked = objectTables_.at(ObjectTableSlot(table));
    tracked.main = LoadTable(table);
    tracked.remove = nullptr;
    tracked.insert = nullptr;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return tracked.main->Copy(0, tracked.remove.Receive(), e); });
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return tracked.main->Copy(0, tracked.insert.Receive(), e); });
    if (table == WorkspaceTable::Properties) {
        propertyIndex_.clear();
    }
}

void WorkspaceManagerImpl::LoadAllTables() {
    workspaceTable_ = LoadTable(WorkspaceTable::Workspaces);
    for (WorkspaceTable table : {WorkspaceTable::DataSources, WorkspaceTable::Datasets, WorkspaceTable::Properties,
                                 WorkspaceTable::GenericObjects}) {
        LoadTrackedTable(table);
    }
}

const TrackedTables& WorkspaceManagerImpl::Tables(WorkspaceTable table) const {
    return objectTables_.at(ObjectTableSlot(table));
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
    return static_cast<int32_t>(RecordCell("Version").ToInt64());
}

}  // namespace Vesk::Workspace::impl
