// How the workspace reaches its database: which connection it holds, transactions, and writing the
// changes kept in its in-memory tables back to SQLite.
#include <mutex>

#include "Core/DataObjects.h"
#include "Core/Guard.h"
#include "Core/TableAccess.h"
#include "Private/Database/DbTable.h"
#include "Vesk/Workspace/WorkspaceManagerImpl.h"

namespace Vesk::Workspace::impl {

namespace SQLite = Data::SQLite;
namespace DI = Data::Interfaces;

namespace {

// The object's own mutex, held while the connection is replaced.
class ObjectLock {
public:
    explicit ObjectLock(Core::IObject& object) : object_(object) { object_.Lock(); }
    ~ObjectLock() { object_.Unlock(); }
    ObjectLock(const ObjectLock&) = delete;
    ObjectLock& operator=(const ObjectLock&) = delete;

private:
    Core::IObject& object_;
};

void ThrowIfFailedOn(const TablePtr& table, bool (DI::ITable::*operation)(Core::IErrorCode**)) {
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return (table.Get()->*operation)(e); });
}

}  // namespace

void WorkspaceManagerImpl::ReplaceConnection(bool readOnly) {
    ObjectLock lock(*this);
    connection_ = readOnly ? SQLite::CreateReadOnlyConnection(filePath_) : SQLite::CreateConnection(filePath_);
    connectionReadOnly_ = readOnly;
}

void WorkspaceManagerImpl::EnsureWritableConnection() {
    if (!IsFileWorkspace() || openMode_ == Interfaces::ReadOnly) {
        return;
    }
    if (connection_ && !connectionReadOnly_) {
        return;
    }
    ReplaceConnection(false);
}

void WorkspaceManagerImpl::EnsureReadConnection() {
    if (!IsFileWorkspace()) {
        return;
    }
    if (connection_ && (connectionReadOnly_ || openMode_ == Interfaces::ReadWritePersistent)) {
        return;
    }
    ReplaceConnection(true);
}

void WorkspaceManagerImpl::CloseAfterWrite() {
    if (IsFileWorkspace() && openMode_ != Interfaces::ReadWritePersistent) {
        ObjectLock lock(*this);
        connection_ = nullptr;
    }
}

void WorkspaceManagerImpl::BeginTransactionInternal() {
    if (transaction_) {
        return;
    }
    EnsureWritableConnection();
    transaction_ = SQLite::CreateTransaction(connection_);
}

void WorkspaceManagerImpl::SaveWorkspaceRow() {
    auto row = Data::RowAt(workspaceTable_, 0);
    const Data::Variant now = Data::CurrentDateTime();
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return row->SetCellByName("Updated", &now.Raw(), e); });
    EnsureWritableConnection();
    Database::impl::CreateSqliteDbTable(workspaceTable_, connection_, true)->UpdateRow(row);
    row->SetState(DI::RS_Unchanged);
}

void WorkspaceManagerImpl::SaveTableChanges(WorkspaceTable table) {
    const TrackedTables& tracked = Tables(table);
    EnsureWritableConnection();
    auto database = Database::impl::CreateSqliteDbTable(tracked.main, connection_, true);
    database->UpdateChangedRows();
    database->DeleteRows(Data::RowsOf(tracked.remove));
    ThrowIfFailedOn(tracked.remove, &DI::ITable::RemoveAllRows);
    for (const auto& row : Data::RowsOf(tracked.insert)) {
        database->InsertRow(row);
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return tracked.main->AddRow(row.Get(), nullptr, e); });
    }
    ThrowIfFailedOn(tracked.insert, &DI::ITable::RemoveAllRows);
    for (const auto& row : Data::RowsOf(tracked.main)) {
        row->SetState(DI::RS_Unchanged);
    }
}

void WorkspaceManagerImpl::Commit() {
    // Nothing is written under the open transaction itself: every change waits in memory, so ending it
    // only makes what it holds (schema changes) durable.
    transaction_ = nullptr;
    EnsureWritableConnection();
    auto writing = SQLite::CreateTransaction(connection_);
    try {
        SaveWorkspaceRow();
        for (WorkspaceTable table : {WorkspaceTable::DataSources, WorkspaceTable::Datasets,
                                     WorkspaceTable::GenericObjects, WorkspaceTable::Properties}) {
            SaveTableChanges(table);
        }
    } catch (...) {
        writing->MarkForRollback();
        writing = nullptr;
        CloseAfterWrite();
        throw;
    }
    writing = nullptr;
    CloseAfterWrite();
}

void WorkspaceManagerImpl::Rollback() {
    if (transaction_) {
        transaction_->MarkForRollback();
        transaction_ = nullptr;
    }
    EnsureReadConnection();
    LoadAllTables();
    CloseAfterWrite();
}

}  // namespace Vesk::Workspace::impl
