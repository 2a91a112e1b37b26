// Change tracking: how the in-memory tables reach the database, one row, one table or everything at once.
#include <fmt/format.h>

#include <deque>
#include <functional>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include "Core/DataObjects.h"
#include "Core/Fatal.h"
#include "Core/Guard.h"
#include "Core/StringFormat.h"
#include "Core/TypeName.h"
#include "Private/Data/Table.h"
#include "Vesk/Workspace/WorkspaceManagerImpl.h"
#include "Vesk/Workspace/WorkspaceRows.h"

namespace Vesk::Workspace::impl {

using Data::Variant;
namespace DI = Data::Interfaces;
using Database::impl::CreateSqliteDbTable;

namespace {

constexpr WorkspaceTable kObjectTables[] = {WorkspaceTable::DataSources, WorkspaceTable::Datasets,
                                            WorkspaceTable::GenericObjects, WorkspaceTable::Properties};

// Closes a file workspace's connection when the write it guards ends, however it ends.
class CloseAfter {
public:
    explicit CloseAfter(std::function<void()> close) : close_(std::move(close)) {}
    ~CloseAfter() { close_(); }
    CloseAfter(const CloseAfter&) = delete;
    CloseAfter& operator=(const CloseAfter&) = delete;

private:
    std::function<void()> close_;
};

void RemoveRowAt(const TablePtr& table, int64_t index) {
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table->RemoveRow(static_cast<uint64_t>(index), e); });
}

RowPtr AddCopy(const TablePtr& table, const RowPtr& row) {
    RowPtr added;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table->AddRow(row.Get(), added.Receive(), e); });
    return added;
}

RowPtr FindIn(const TablePtr& table, const Variant& key) {
    RowPtr row;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table->FindRow(&key.Raw(), row.Receive(), e); });
    return row;
}

void ClearAll(const TablePtr& table) {
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table->RemoveAllRows(e); });
}

// The owner of the nested set that a Properties row refers to; false for a row holding a plain value.
bool NestedOwnerOf(const RowPtr& row, Data::Uuid* owner) {
    if (!CellTextEquals(Data::CellNamed(row, "PropertyInterfaceType"), Data::kNestedPropertiesInterface)) {
        return false;
    }
    const Variant reference = Data::CellNamed(row, "PropertyValue");
    if (reference.Type() != Data::Structures::VT_Array || !reference.HasData()) {
        return false;
    }
    const auto bytes = reference.AsObject<DI::IArray>();
    try {
        *owner =
            Data::UuidFromText(std::string_view(reinterpret_cast<const char*>(bytes->GetData()), bytes->GetByteSize()));
        return true;
    } catch (const std::exception&) {
        // A reference that names no UUID owns no rows.
        return false;
    }
}

bool HasChangedRow(const TablePtr& table) {
    const uint64_t count = table->GetRowCount();
    for (uint64_t i = 0; i < count; ++i) {
        if (Data::RowAt(table, i)->HasChanges()) {
            return true;
        }
    }
    return false;
}

}  // namespace

// ---- Connections ----

void WorkspaceManagerImpl::EnsureWritableConnection() {
    if (!IsFileWorkspace() || openMode_ == Interfaces::ReadOnly) {
        return;
    }
    if (connection_ && !connectionReadOnly_) {
        return;
    }
    Core::ObjectLock lock(this);
    auto connection = Data::SQLite::CreateConnection(filePath_);
    RefuseReadOnlyFile(connection, filePath_);
    connection_ = std::move(connection);
    connectionReadOnly_ = false;
}

void WorkspaceManagerImpl::EnsureReadableConnection() {
    if (connection_ && (!IsFileWorkspace() || connectionReadOnly_ || openMode_ == Interfaces::ReadWritePersistent)) {
        return;
    }
    Core::ObjectLock lock(this);
    connection_ = Data::SQLite::CreateReadOnlyConnection(filePath_);
    connectionReadOnly_ = true;
}

void WorkspaceManagerImpl::CloseAfterWrite() noexcept {
    if (IsFileWorkspace() && openMode_ != Interfaces::ReadWritePersistent) {
        connection_ = nullptr;
    }
}

const Core::Ptr<Connection>& WorkspaceManagerImpl::RequireConnection() const {
    // A read-only file workspace has no connection to write through.
    if (!connection_ && IsFileWorkspace() && openMode_ == Interfaces::ReadOnly) {
        throw std::runtime_error(fmt::format("Workspace {} was opened read-only: its changes cannot be written to {}",
                                             UuidText(), filePath_));
    }
    if (!connection_) {
        throw std::runtime_error("Interface is not accessible: " + Core::TypeName<Connection>());
    }
    return connection_;
}

Core::Ptr<Connection> WorkspaceManagerImpl::ReadingConnection() const {
    if (connection_) {
        return connection_;
    }
    return Data::SQLite::CreateReadOnlyConnection(filePath_);
}

// ---- Tables ----

TablePtr WorkspaceManagerImpl::GetMainTable(WorkspaceTable table) const {
    return table == WorkspaceTable::Workspaces ? workspaceTable_ : Tables(table).main;
}

TablePtr WorkspaceManagerImpl::GetInsertTable(WorkspaceTable table) const {
    return table == WorkspaceTable::Workspaces ? TablePtr() : Tables(table).insert;
}

TablePtr WorkspaceManagerImpl::GetRemoveTable(WorkspaceTable table) const {
    return table == WorkspaceTable::Workspaces ? workspaceTable_ : Tables(table).remove;
}

RowPtr WorkspaceManagerImpl::FindRow(WorkspaceTable table, const Data::Uuid& uuid) const {
    const TrackedTables& tracked = Tables(table);
    const Variant key = KeyOf(uuid);
    if (RowPtr row = FindIn(tracked.main, key)) {
        return row;
    }
    if (tracked.insert->GetRowCount() != 0) {
        return FindIn(tracked.insert, key);
    }
    return {};
}

bool WorkspaceManagerImpl::HasUnsavedChanges() const {
    if (workspaceTable_->GetRowCount() != 0 && Data::RowAt(workspaceTable_, 0)->HasChanges()) {
        return true;
    }
    for (WorkspaceTable table : kObjectTables) {
        const TrackedTables& tracked = Tables(table);
        if (tracked.insert->GetRowCount() != 0 || tracked.remove->GetRowCount() != 0 || HasChangedRow(tracked.main)) {
            return true;
        }
    }
    return false;
}

// ---- Writing ----

void WorkspaceManagerImpl::SaveTableChanges(WorkspaceTable table) {
    const TrackedTables& tracked = Tables(table);
    EnsureWritableConnection();
    auto database = CreateSqliteDbTable(tracked.main, RequireConnection(), true);
    for (const RowPtr& row : Data::RowsOf(tracked.main)) {
        if (row->HasChanges()) {
            RefuseChangedElsewhere(table, row);
        }
    }
    database->UpdateChangedRows();

    database->DeleteRows(Data::RowsOf(tracked.remove));
    ClearAll(tracked.remove);

    // Only rows with changes are inserted; a new row always has them unless someone cleared its state.
    // All of them go in one call, so that they share one statement.
    const std::vector<RowPtr> inserted = Data::RowsOf(tracked.insert);
    for (const RowPtr& row : inserted) {
        if (!row->HasChanges()) {
            row->SetState(DI::RS_Added);
        }
        FillColumnDefaults(table, row);
    }
    database->InsertRows(inserted);
    for (const RowPtr& row : inserted) {
        AddCopy(tracked.main, row);
    }
    ClearAll(tracked.insert);

    for (const RowPtr& row : Data::RowsOf(tracked.main)) {
        row->SetState(DI::RS_Unchanged);
    }
    ForgetUpdatedRead(table);
}

namespace {

std::string UpdatedKey(WorkspaceTable table, const RowPtr& row) {
    Data::Uuid uuid{};
    UuidOfCell(Data::CellNamed(row, "Uuid"), &uuid);
    return static_cast<char>(table) + UuidKey(uuid);
}

}  // namespace

void WorkspaceManagerImpl::SetUpdatedNow(WorkspaceTable table, const RowPtr& row) {
    updatedRead_.try_emplace(UpdatedKey(table, row), Data::CellNamed(row, "Updated").ToString());
    SetCellNamed(row, "Updated", Data::CurrentDateTime());
}

void WorkspaceManagerImpl::ForgetUpdatedRead(std::optional<WorkspaceTable> table) {
    if (!table) {
        updatedRead_.clear();
        return;
    }
    std::erase_if(updatedRead_, [&](const auto& entry) { return entry.first[0] == static_cast<char>(*table); });
}

void WorkspaceManagerImpl::ForgetUpdatedRead(WorkspaceTable table, const RowPtr& row) {
    updatedRead_.erase(UpdatedKey(table, row));
}

void WorkspaceManagerImpl::RefuseChangedElsewhere(WorkspaceTable table, const RowPtr& row) {
    // Both times go through the same reading of a DATETIME column, so they compare as the same text.
    const auto kept = updatedRead_.find(UpdatedKey(table, row));
    const std::string read = kept != updatedRead_.end() ? kept->second : Data::CellNamed(row, "Updated").ToString();
    const Variant key = Data::CellNamed(row, "Uuid");
    const std::string uuid = key.Type() == Data::Structures::VT_Uuid ? Data::UuidToText(key.ToUuid()) : key.ToString();
    const char* name = WorkspaceTableName(table);
    auto statement = Data::SQLite::CreateStatement(
        RequireConnection(), fmt::format("SELECT \"Updated\" FROM \"{}\" WHERE \"Uuid\" = ?", name), true);
    statement->Bind(1, Variant::FromString(uuid));
    std::string stored;
    bool found = false;
    statement->Execute({}, [&](const std::vector<Data::SQLite::SQLiteColumnValuePair>& cells) {
        stored = cells.at(0).value.ToString();
        found = true;
    });
    // A row that is gone is reported by the update itself.
    if (found && stored != read) {
        throw std::runtime_error(fmt::format(
            "Row {} of table {} was changed by another program at {}, after this workspace read it (updated {}); "
            "the change was not written. Discard the workspace's changes to read the row again",
            uuid, name, stored, read));
    }
}

void WorkspaceManagerImpl::WriteWorkspaceRecord() {
    RowPtr record = Data::RowAt(workspaceTable_, 0);
    EnsureWritableConnection();
    RefuseChangedElsewhere(WorkspaceTable::Workspaces, record);
    SetUpdatedNow(WorkspaceTable::Workspaces, record);
    CreateSqliteDbTable(workspaceTable_, RequireConnection(), true)->UpdateRow(record);
    ForgetUpdatedRead(WorkspaceTable::Workspaces, record);
    record->SetState(DI::RS_Unchanged);
}

RowPtr WorkspaceManagerImpl::SaveRowChanges(const RowPtr& row, WorkspaceTable table) {
    if (transaction_) {
        Core::RaiseFatal("Transaction is in progress. Cannot save changes on the object alone!");
    }
    if (!row) {
        return {};
    }
    const TrackedTables& tracked = Tables(table);
    EnsureWritableConnection();
    CloseAfter close([this] { CloseAfterWrite(); });
    auto database = CreateSqliteDbTable(tracked.main, RequireConnection(), true);
    const Variant key = Data::CellNamed(row, "Uuid");

    const int64_t mainIndex = tracked.main->FindRowIndex(&key.Raw());
    if (mainIndex >= 0) {
        RefuseChangedElsewhere(table, Data::RowAt(tracked.main, static_cast<uint64_t>(mainIndex)));
        SetUpdatedNow(table, row);
        database->UpdateRow(row);
        ForgetUpdatedRead(table, row);
        RowPtr mainRow = Data::RowAt(tracked.main, static_cast<uint64_t>(mainIndex));
        if (!(mainRow == row)) {
            RemoveRowAt(tracked.main, mainIndex);
            mainRow = AddCopy(tracked.main, row);
        }
        mainRow->SetState(DI::RS_Unchanged);
        return mainRow;
    }
    const int64_t insertIndex = tracked.insert->FindRowIndex(&key.Raw());
    if (insertIndex >= 0) {
        if (!row->HasChanges()) {
            row->SetState(DI::RS_Added);
        }
        FillColumnDefaults(table, row);
        database->InsertRow(row);
        ForgetUpdatedRead(table, row);
        RowPtr mainRow = AddCopy(tracked.main, row);
        RemoveRowAt(tracked.insert, tracked.insert->FindRowIndex(&key.Raw()));
        mainRow->SetState(DI::RS_Unchanged);
        return mainRow;
    }
    const int64_t removeIndex = tracked.remove->FindRowIndex(&key.Raw());
    if (removeIndex >= 0) {
        database->DeleteRow(row);
        RemoveRowAt(tracked.remove, tracked.remove->FindRowIndex(&key.Raw()));
    }
    return {};
}

void WorkspaceManagerImpl::RemoveRow(const Data::Uuid& uuid, WorkspaceTable table) {
    const TrackedTables& tracked = Tables(table);
    if (table == WorkspaceTable::GenericObjects) {
        childIndex_.reset();
    }
    const Variant key = KeyOf(uuid);
    const int64_t mainIndex = tracked.main->FindRowIndex(&key.Raw());
    if (mainIndex >= 0) {
        AddCopy(tracked.remove, Data::RowAt(tracked.main, static_cast<uint64_t>(mainIndex)));
        RemoveRowAt(tracked.main, mainIndex);
        return;
    }
    const int64_t insertIndex = tracked.insert->FindRowIndex(&key.Raw());
    if (insertIndex >= 0) {
        // Never written, so there is nothing to delete in the database.
        RemoveRowAt(tracked.insert, insertIndex);
        return;
    }
    // Fixed text: hosts match on it.
    Core::RaiseFatal(
        Core::StringFormat("Row %s does not exists any of the tables! Cannot remove!", Data::UuidToText(uuid).c_str()));
}

void WorkspaceManagerImpl::DiscardRow(const Data::Uuid& uuid, WorkspaceTable table) {
    const TrackedTables& tracked = Tables(table);
    if (table == WorkspaceTable::GenericObjects) {
        childIndex_.reset();
    }
    const Variant key = KeyOf(uuid);
    const int64_t insertIndex = tracked.insert->FindRowIndex(&key.Raw());
    if (insertIndex >= 0) {
        RemoveRowAt(tracked.insert, insertIndex);
    }
    const int64_t removeIndex = tracked.remove->FindRowIndex(&key.Raw());
    if (removeIndex >= 0) {
        AddCopy(tracked.main, Data::RowAt(tracked.remove, static_cast<uint64_t>(removeIndex)));
        RemoveRowAt(tracked.remove, removeIndex);
    }
    if (RowPtr row = FindIn(tracked.main, key)) {
        CreateSqliteDbTable(tracked.main, ReadingConnection(), true)->Refresh(row);
        ForgetUpdatedRead(table, row);
    }
}

void WorkspaceManagerImpl::AutoSaveTable(WorkspaceTable table) {
    if (!SavesAtOnce()) {
        return;
    }
    CloseAfter close([this] { CloseAfterWrite(); });
    SaveTableChanges(table);
}

void WorkspaceManagerImpl::AutoSaveRecord() {
    if (!SavesAtOnce()) {
        return;
    }
    CloseAfter close([this] { CloseAfterWrite(); });
    SaveTableChanges(WorkspaceTable::Properties);
    WriteWorkspaceRecord();
}

void WorkspaceManagerImpl::SetRecordCell(const char* column, const Variant& value) {
    SetCellNamed(Data::RowAt(workspaceTable_, 0), column, value);
    AutoSaveRecord();
}

// ---- Removing ----

void WorkspaceManagerImpl::RemoveObjectRow(const Data::Uuid& uuid, WorkspaceTable table) {
    RemoveRow(uuid, table);
    AutoSaveTable(table);
}

std::vector<RowPtr> WorkspaceManagerImpl::PropertyRowsOf(const std::unordered_set<std::string>& objects) {
    if (!propertyOwners_) {
        OwnerIndex index;
        FindRows(WorkspaceTable::Properties, [&](const RowPtr& row) {
            Data::Uuid owner{};
            Data::Uuid property{};
            if (UuidOfCell(Data::CellNamed(row, "WorkspaceObjectUuid"), &owner) &&
                UuidOfCell(Data::CellNamed(row, "Uuid"), &property)) {
                index[UuidKey(owner)].push_back(property);
            }
            return false;
        });
        propertyOwners_ = std::move(index);
    }
    // The owners grow by the owners of nested sets that the rows found so far refer to.
    std::unordered_set<std::string> owners = objects;
    std::vector<std::string> pending(objects.begin(), objects.end());
    std::vector<RowPtr> rows;
    while (!pending.empty()) {
        const std::string owner = std::move(pending.back());
        pending.pop_back();
        const auto found = propertyOwners_->find(owner);
        if (found == propertyOwners_->end()) {
            continue;
        }
        for (const Data::Uuid& property : found->second) {
            RowPtr row = FindRow(WorkspaceTable::Properties, property);
            if (!row) {
                continue;
            }
            Data::Uuid nested{};
            if (NestedOwnerOf(row, &nested) && owners.insert(UuidKey(nested)).second) {
                pending.push_back(UuidKey(nested));
            }
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

void WorkspaceManagerImpl::IndexInsertedPropertyRows(uint64_t first) {
    if (!propertyOwners_) {
        return;
    }
    const TablePtr& insert = Tables(WorkspaceTable::Properties).insert;
    for (uint64_t i = first; i < insert->GetRowCount(); ++i) {
        const RowPtr row = Data::RowAt(insert, i);
        Data::Uuid owner{};
        Data::Uuid property{};
        if (UuidOfCell(Data::CellNamed(row, "WorkspaceObjectUuid"), &owner) &&
            UuidOfCell(Data::CellNamed(row, "Uuid"), &property)) {
            (*propertyOwners_)[UuidKey(owner)].push_back(property);
        }
    }
}

void WorkspaceManagerImpl::RemoveObjectProperties(const std::unordered_set<std::string>& objects) {
    for (const std::string& object : objects) {
        propertyIndex_.erase(object);
    }
    const std::vector<RowPtr> owned = PropertyRowsOf(objects);
    if (owned.empty()) {
        return;
    }
    for (const RowPtr& row : owned) {
        Data::Uuid property{};
        Data::Uuid owner{};
        UuidOfCell(Data::CellNamed(row, "Uuid"), &property);
        // Every row of an owner goes, so its whole entry of the owner index does.
        if (propertyOwners_ && UuidOfCell(Data::CellNamed(row, "WorkspaceObjectUuid"), &owner)) {
            propertyOwners_->erase(UuidKey(owner));
        }
        RemoveRow(property, WorkspaceTable::Properties);
    }
    AutoSaveTable(WorkspaceTable::Properties);
}

void WorkspaceManagerImpl::RemoveDataset(const Data::Uuid& uuid) {
    RemoveObjectProperties({UuidKey(uuid)});
    RemoveObjectRow(uuid, WorkspaceTable::Datasets);
}

void WorkspaceManagerImpl::RemoveDataSource(Data::Uuid uuid) {
    const auto datasets = FindRows(WorkspaceTable::Datasets, [&](const RowPtr& row) {
        Data::Uuid owner{};
        return UuidOfCell(Data::CellNamed(row, "DataSourceUuid"), &owner) && UuidKey(owner) == UuidKey(uuid);
    });
    std::unordered_set<std::string> owners;
    std::vector<Data::Uuid> datasetUuids;
    for (const RowPtr& row : datasets) {
        Data::Uuid dataset{};
        UuidOfCell(Data::CellNamed(row, "Uuid"), &dataset);
        datasetUuids.push_back(dataset);
        owners.insert(UuidKey(dataset));
    }
    RemoveObjectProperties(owners);
    // The dataset deletions go with the next write of the Datasets tables.
    for (const Data::Uuid& dataset : datasetUuids) {
        RemoveRow(dataset, WorkspaceTable::Datasets);
    }
    RemoveObjectProperties({UuidKey(uuid)});
    RemoveObjectRow(uuid, WorkspaceTable::DataSources);
}

WorkspaceManagerImpl::ChildIndex WorkspaceManagerImpl::TakeChildIndex() {
    if (childIndex_) {
        ChildIndex index = std::move(*childIndex_);
        childIndex_.reset();
        return index;
    }
    ChildIndex index;
    FindRows(WorkspaceTable::GenericObjects, [&](const RowPtr& row) {
        Data::Uuid parent{};
        Data::Uuid child{};
        if (UuidOfCell(Data::CellNamed(row, "ParentUuid"), &parent) &&
            UuidOfCell(Data::CellNamed(row, "Uuid"), &child)) {
            index[UuidKey(parent)].push_back(child);
        }
        return false;
    });
    return index;
}

void WorkspaceManagerImpl::NoteGenericObjectCreated(const Data::Uuid* parent, const Data::Uuid& uuid) {
    if (childIndex_ && parent != nullptr) {
        (*childIndex_)[UuidKey(*parent)].push_back(uuid);
    }
}

void WorkspaceManagerImpl::RemoveGenericObjectTree(const Data::Uuid& uuid) {
    // The object itself must exist before anything of its tree goes.
    const RowPtr top = FindRow(WorkspaceTable::GenericObjects, uuid);
    if (!top) {
        RemoveRow(uuid, WorkspaceTable::GenericObjects);
    }
    Data::Uuid topParent{};
    const bool hasParent = UuidOfCell(Data::CellNamed(top, "ParentUuid"), &topParent);

    // The parent links are kept between removals, so that removing many subtrees one by one does not scan
    // the whole table each time. RemoveRow drops the kept links; they are put back, updated, at the end.
    ChildIndex children = TakeChildIndex();
    std::vector<Data::Uuid> order;
    std::unordered_set<std::string> seen;
    std::deque<Data::Uuid> queue{uuid};
    while (!queue.empty()) {
        const Data::Uuid current = queue.front();
        queue.pop_front();
        // A parent link that loops back must not make the walk endless.
        if (!seen.insert(UuidKey(current)).second) {
            continue;
        }
        order.push_back(current);
        const auto found = children.find(UuidKey(current));
        if (found != children.end()) {
            queue.insert(queue.end(), found->second.begin(), found->second.end());
        }
    }
    RemoveObjectProperties(seen);
    for (const Data::Uuid& current : order) {
        RemoveRow(current, WorkspaceTable::GenericObjects);
    }
    for (const std::string& removed : seen) {
        children.erase(removed);
    }
    if (hasParent) {
        const auto siblings = children.find(UuidKey(topParent));
        if (siblings != children.end()) {
            std::erase_if(siblings->second, [&](const Data::Uuid& child) { return UuidKey(child) == UuidKey(uuid); });
        }
    }
    childIndex_ = std::move(children);
    AutoSaveTable(WorkspaceTable::GenericObjects);
}

// ---- Transactions and reload ----

void WorkspaceManagerImpl::BeginTransactionInternal() {
    if (transaction_) {
        return;
    }
    EnsureWritableConnection();
    transaction_ = Data::SQLite::CreateTransaction(RequireConnection());
}

void WorkspaceManagerImpl::Commit() {
    transaction_ = nullptr;
    EnsureWritableConnection();
    Core::Ptr<Transaction> transaction = Data::SQLite::CreateTransaction(RequireConnection());
    try {
        WriteWorkspaceRecord();
        for (WorkspaceTable table : kObjectTables) {
            SaveTableChanges(table);
        }
    } catch (...) {
        transaction->MarkForRollback();
        transaction = nullptr;
        CloseAfterWrite();
        throw;
    }
    transaction = nullptr;
    CloseAfterWrite();
}

void WorkspaceManagerImpl::Rollback() {
    if (transaction_) {
        transaction_->MarkForRollback();
        transaction_ = nullptr;
    }
    ReloadFromDatabase();
}

void WorkspaceManagerImpl::ReloadFromDatabase() {
    EnsureReadableConnection();
    CloseAfter close([this] { CloseAfterWrite(); });
    LoadAllTables();
}

}  // namespace Vesk::Workspace::impl
