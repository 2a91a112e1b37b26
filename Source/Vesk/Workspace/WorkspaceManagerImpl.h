#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Core/TableAccess.h"
#include "Core/Variant.h"
#include "Private/Data/SQLite.h"
#include "Private/Database/DbTable.h"
#include "Vesk/Data/IProperties.h"
#include "Vesk/Data/ITable.h"
#include "Vesk/Workspace/IWorkspaceManager.h"
#include "Vesk/Workspace/WorkspaceTable.h"

namespace Vesk::Workspace::impl {

// The folder path of a workspace file: the path with its last component and the separators before it
// removed, so a relative path gives a relative folder ("a/b/w.veskdb" gives "a/b", a bare "w.veskdb"
// gives ""); a file directly under the root keeps the root.
std::string FolderPathOf(const std::string& path);

// The working name, which names the workspace record and its cross-process lock: the last component of
// the folder path. A bare file name has no folder path; its name then comes from the current folder, so
// that a new record never gets a NULL name. "unnamed" when even that has no name.
std::string WorkingNameOf(const std::string& folderPath);

using Connection = Data::SQLite::impl::SQLiteImpl;
using Transaction = Data::SQLite::impl::SqliteTransactionImpl;
using TablePtr = Core::Ptr<Data::Interfaces::ITable>;
using RowPtr = Core::Ptr<Data::Interfaces::IRow>;

// Throws when SQLite opened the file at path read-only although it was asked to write it.
void RefuseReadOnlyFile(const Core::Ptr<Connection>& connection, const std::string& path);

// Throwing operations that the workspace's own objects and the error-code operations build on.
struct IWorkspaceManager1 : Interfaces::IWorkspaceManager {
    using Interfaces::IWorkspaceManager::CreateDataSource;
    using Interfaces::IWorkspaceManager::GetDataSource;
    using Interfaces::IWorkspaceManager::GetDataSources;
    using Interfaces::IWorkspaceManager::RemoveDataSource;

    // Creates the data source (or updates the one with that UUID) and returns a new handle on it; type is a
    // DataSourceType.
    virtual Core::Ptr<Interfaces::IWorkspaceDataSource> CreateDataSource(
        Data::Uuid uuid, const std::string& name, Core::Ptr<Data::Interfaces::IProperties> properties, int type) = 0;
    // Removes the data source, its datasets and their properties; throws for an unknown UUID.
    virtual void RemoveDataSource(Data::Uuid uuid) = 0;
    // A new handle on the data source, or empty when there is none.
    virtual Core::Ptr<Interfaces::IWorkspaceDataSource> GetDataSource(Data::Uuid uuid) = 0;
    // New handles on every data source: saved rows first, then rows not yet written.
    virtual std::vector<Core::Ptr<Interfaces::IWorkspaceDataSource>> GetDataSources() = 0;
};

// The main, remove and insert tables of one object table.
struct TrackedTables {
    TablePtr main;
    TablePtr remove;
    TablePtr insert;
};

// One open workspace database: its record, its object tables in memory and the connection.
// Owner thread only: a host that shares a workspace between threads serialises its calls itself, without
// holding the object's Lock during a call. The object's mutex guards connection_ and connectionReadOnly_
// while they are replaced. Construction serialises with other processes through a cross-process lock.
class WorkspaceManagerImpl final : public Core::ObjectT<IWorkspaceManager1> {
public:
    // Opens the database at path (or on the image data/size when data is not null and size is not 0),
    // creates what is missing, loads the tables and checks the data-model version.
    WorkspaceManagerImpl(Data::Uuid uuid, const std::string& path, int mode, const void* data, uint64_t size);

    // IWorkspaceObject
    bool GetUuid(Data::Structures::_UUID* uuid, Core::IErrorCode** error) override;
    bool GetParentUuid(Data::Structures::_UUID* uuid, Core::IErrorCode** error) override;
    bool SetName(const char* name, Core::IErrorCode** error) override;
    bool GetName(Data::Interfaces::IString** name, Core::IErrorCode** error) override;
    bool SetDescription(const char* description, Core::IErrorCode** error) override;
    bool GetDescription(Data::Interfaces::IString** description, Core::IErrorCode** error) override;
    bool SetObjectType(const char* type, Core::IErrorCode** error) override;
    bool GetObjectType(Data::Interfaces::IString** type, Core::IErrorCode** error) override;
    bool GetInserted(Data::Interfaces::IDateTime** inserted, Core::IErrorCode** error) override;
    bool GetUpdated(Data::Interfaces::IDateTime** updated, Core::IErrorCode** error) override;
    bool SetReadOnly(bool readOnly, Core::IErrorCode** error) override;
    bool IsReadOnly() override { return false; }
    bool Save(Core::IErrorCode** error) override;
    bool Discard(Core::IErrorCode** error) override;
    bool SetProperties(Data::Interfaces::IProperties* properties, Core::IErrorCode** error) override;
    bool GetProperties(Data::Interfaces::IProperties** properties, Core::IErrorCode** error) override;
    bool GetFolderPath(Data::Interfaces::IString** path, Core::IErrorCode** error) override;
    bool CalculateHash(Data::Interfaces::IArray** hash, Core::IErrorCode** error) override;

    // IWorkspaceManager
    bool GetFilePath(Data::Interfaces::IString** path, Core::IErrorCode** error) override;
    bool CreateDataSource(const Data::Structures::_UUID* uuid, const char* name, int type,
                          Data::Interfaces::IProperties* properties, Interfaces::IWorkspaceDataSource** dataSource,
                          Core::IErrorCode** error) override;
    bool GetDataSource(const Data::Structures::_UUID* uuid, Interfaces::IWorkspaceDataSource** dataSource,
                       Core::IErrorCode** error) override;
    bool GetDataSources(Data::Interfaces::IObjectList** list, Core::IErrorCode** error) override;
    bool RemoveDataSource(const Data::Structures::_UUID* uuid, Core::IErrorCode** error) override;
    bool CreateDataset(Interfaces::IWorkspaceDataSource* dataSource, const Data::Structures::_UUID* uuid,
                       const char* name, int datasetType, int temporalType, int spatialType, bool readOnly,
                       Interfaces::IWorkspaceDataset** dataset, Core::IErrorCode** error) override;
    bool GetDataset(const Data::Structures::_UUID* uuid, Interfaces::IWorkspaceDataset** dataset,
                    Core::IErrorCode** error) override;
    bool GetDatasetsByName(const char* name, Data::Interfaces::IObjectList** list, Core::IErrorCode** error) override;
    bool GetDatasetsByLabel(const char* label, Data::Interfaces::IObjectList** list, Core::IErrorCode** error) override;
    bool GetDatasetsByGroup(const char* group, Data::Interfaces::IObjectList** list, Core::IErrorCode** error) override;
    bool GetDatasets(Data::Interfaces::IObjectList** list, Core::IErrorCode** error) override;
    bool GetDatasetsOfDataSource(const Data::Structures::_UUID* dataSource, Data::Interfaces::IObjectList** list,
                                 Core::IErrorCode** error) override;
    bool RemoveDataset(const Data::Structures::_UUID* uuid, Core::IErrorCode** error) override;
    bool ContainsDataset(const Data::Structures::_UUID* uuid, Core::IErrorCode** error) override;
    bool CreateObject(const Data::Structures::_UUID* parent, const Data::Structures::_UUID* uuid, const char* name,
                      const char* objectType, bool readOnly, Interfaces::IWorkspaceObject** object,
                      Core::IErrorCode** error) override;
    bool GetObject(const Data::Structures::_UUID* uuid, Interfaces::IWorkspaceObject** object,
                   Core::IErrorCode** error) override;
    bool GetObjectsByName(const char* name, Data::Interfaces::IObjectList** list, Core::IErrorCode** error) override;
    bool GetObjectsByType(const char* type, Data::Interfaces::IObjectList** list, Core::IErrorCode** error) override;
    bool GetObjectsByParent(const Data::Structures::_UUID* parent, Data::Interfaces::IObjectList** list,
                            Core::IErrorCode** error) override;
    bool RemoveObject(const Data::Structures::_UUID* uuid, Core::IErrorCode** error) override;
    bool GetObjectAsIObject(const Data::Structures::_UUID* uuid, Core::IObject** object,
                            Core::IErrorCode** error) override;
    void SetAutoSave(bool enabled) override { autoSave_ = enabled; }
    bool BeginTransaction(Core::IErrorCode** error) override;
    bool SetSecret(Data::Interfaces::ISecureString* secret, Core::IErrorCode** error) override;
    bool SetObjectProperties(const Data::Structures::_UUID* object, Data::Interfaces::IProperties* properties,
                             Core::IErrorCode** error) override;
    bool GetObjectProperties(const Data::Structures::_UUID* object, Data::Interfaces::IProperties** properties,
                             Core::IErrorCode** error) override;
    bool Reload(Core::IErrorCode** error) override;
    bool GetDatasetsByInternalName(const char* name, Data::Interfaces::IObjectList** list,
                                   Core::IErrorCode** error) override;
    bool Serialize(Data::Interfaces::IArray** image, Core::IErrorCode** error) override;

    // Inside the library.
    Data::Uuid Uuid() const;
    std::string Name() const;
    std::string UuidText() const;
    int32_t StoredVersion() const;
    bool IsFileWorkspace() const { return !filePath_.empty(); }
    const Core::Ptr<Data::Interfaces::ISecureString>& Secret() const { return secret_; }
    TablePtr WorkspaceRecordTable() const { return workspaceTable_; }
    // The open connection; empty while a file workspace is closed between operations.
    const Core::Ptr<Connection>& CurrentConnection() const { return connection_; }
    // The main, remove and insert tables of an object table; any other index is a fatal error.
    const TrackedTables& Tables(WorkspaceTable table) const;

    // IWorkspaceManager1
    Core::Ptr<Interfaces::IWorkspaceDataSource> CreateDataSource(Data::Uuid uuid, const std::string& name,
                                                                 Core::Ptr<Data::Interfaces::IProperties> properties,
                                                                 int type) override;
    void RemoveDataSource(Data::Uuid uuid) override;
    Core::Ptr<Interfaces::IWorkspaceDataSource> GetDataSource(Data::Uuid uuid) override;
    std::vector<Core::Ptr<Interfaces::IWorkspaceDataSource>> GetDataSources() override;

    // Change tracking, shared with the workspace's objects. Each throws on failure.
    // The Workspaces table for Workspaces, else the object table's main table; a fatal error for any other index.
    TablePtr GetMainTable(WorkspaceTable table) const;
    // Empty for Workspaces, else the table of rows created and not yet written.
    TablePtr GetInsertTable(WorkspaceTable table) const;
    // The Workspaces table for Workspaces, else the table of rows removed and still in the database.
    TablePtr GetRemoveTable(WorkspaceTable table) const;
    // The row with that UUID in the main table, else in the insert table; empty when neither has it.
    RowPtr FindRow(WorkspaceTable table, const Data::Uuid& uuid) const;
    // The rows that match: those of the main table, then those of the insert table.
    template <class Predicate>
    std::vector<RowPtr> FindRows(WorkspaceTable table, Predicate&& matches) const;
    // Writes one row at once (an update, insert or delete, by the table that holds it) and returns the main
    // table's row for it, or empty when it is not there (any more) or row is empty. A fatal error while a
    // transaction is open.
    RowPtr SaveRowChanges(const RowPtr& row, WorkspaceTable table);
    // Moves the row from the main table to the remove table, or drops it from the insert table when it was
    // never written; a fatal error when neither holds it.
    void RemoveRow(const Data::Uuid& uuid, WorkspaceTable table);
    // Writes every change of one object table: updates, then deletes, then inserts.
    void SaveTableChanges(WorkspaceTable table);
    // Drops a pending creation or removal of the row and reads its saved state again from the database.
    void DiscardRow(const Data::Uuid& uuid, WorkspaceTable table);
    // True while changes are written at once: auto-save is on and no transaction is open.
    bool SavesAtOnce() const { return autoSave_ && !transaction_; }
    bool InTransaction() const { return static_cast<bool>(transaction_); }
    // True when any row differs from the database: the record changed, or an object table has rows to
    // insert, rows to delete or changed rows.
    bool HasUnsavedChanges() const;
    // The Properties rows owned by these objects (16-byte UUIDs) and by the nested sets they refer to,
    // found through the owner index.
    std::vector<RowPtr> PropertyRowsOf(const std::unordered_set<std::string>& objects);
    // Notes the Properties rows from position first on in the insert table in the owner index.
    void IndexInsertedPropertyRows(uint64_t first);
    // Removes the property rows of these objects (16-byte UUIDs) and drops their cached sets, with auto-save.
    void RemoveObjectProperties(const std::unordered_set<std::string>& owners);
    // The object's property set, and replacing it; see the definitions.
    Core::Ptr<Data::Interfaces::IProperties> GetObjectProperties(const Data::Uuid& object);
    void SetObjectProperties(const Data::Uuid& object, const Core::Ptr<Data::Interfaces::IProperties>& properties);
    // The 32-byte digest of a property set's values, or an empty text when no value can be hashed.
    std::string CalculatePropertiesHash(const Core::Ptr<Data::Interfaces::IProperties>& properties);
    const std::string& FolderPath() const { return folderPath_; }
    // Sets the row's Updated cell to the current time, keeping the time it replaces as the one read from
    // the database until the row is written.
    void SetUpdatedNow(WorkspaceTable table, const RowPtr& row);
    // Keeps the cached parent links up to date when a generic object is made (parent may be null).
    void NoteGenericObjectCreated(const Data::Uuid* parent, const Data::Uuid& uuid);

private:
    ~WorkspaceManagerImpl() override = default;

    void OpenConnection(const std::string& path, const void* data, uint64_t size);
    void InsertRecordIfNew(const Data::Uuid& uuid, const std::string& name);
    void LoadAllTables();
    TablePtr LoadTable(WorkspaceTable table);
    void LoadTrackedTable(WorkspaceTable table);
    void SetHashedSecret();

    // Checks of a database that another program may have changed (WorkspaceIntegrity.cpp); each throws a
    // message naming the table and column. path names the database in it.
    // Exactly one Workspaces row.
    void CheckSingleRecord(const std::string& path) const;
    // Every column of the current data model is there, and INTEGER and BOOL columns hold no text.
    // Whether a loaded table can hold a text or blob in one of its number columns.
    bool MayHoldNonNumbers(WorkspaceTable table, const TablePtr& loaded) const;
    void CheckStoredColumns(const std::string& path);
    // Notes the defaults of the table's columns that the current data model does not know.
    void NoteColumnDefaults(WorkspaceTable table);
    // Gives the row's empty cells of such columns their default before the row is inserted.
    void FillColumnDefaults(WorkspaceTable table, const RowPtr& row) const;

    // The version check and the upgrade of an older database (WorkspaceUpgrade.cpp).
    void CheckVersionAndUpgrade();
    void MigrateEmptyTablesToLatest();
    void MigrateFromVersion1ToVersion2();
    void MigrateFromVersion2ToVersion3();
    void MigrateConnectionsToFilePathProperties();
    void MigrateDatasetTypeColumn();
    bool HasColumn(WorkspaceTable table, const char* column) const;
    // Replaces the FilePath property of a data source by one holding value; the rows wait in the
    // Properties insert table for the next commit.
    void StoreFilePathProperty(const Data::Uuid& dataSource, const Data::Variant& value);

    Data::Variant RecordCell(const char* column) const;

    // Connections, transactions and writing the in-memory tables back (WorkspaceChanges.cpp).
    // Connections: a writable one for a write, a readable one for a reload, and none between operations
    // for a file workspace that is not kept open.
    void EnsureWritableConnection();
    void EnsureReadableConnection();
    void CloseAfterWrite() noexcept;
    const Core::Ptr<Connection>& RequireConnection() const;
    // The open connection, or a new read-only one to the file when there is none.
    Core::Ptr<Connection> ReadingConnection() const;
    void WriteWorkspaceRecord();
    // Throws when the database row of row was written by someone else since this workspace read it (its
    // Updated time differs from the one read): an update would silently put back what this workspace read.
    void RefuseChangedElsewhere(WorkspaceTable table, const RowPtr& row);
    // Forgets the Updated times kept for rows of table (all tables when table is empty) or for one row.
    void ForgetUpdatedRead(std::optional<WorkspaceTable> table);
    void ForgetUpdatedRead(WorkspaceTable table, const RowPtr& row);
    // Auto-save of one object table, and of the record's change (the property rows, then the record).
    void AutoSaveTable(WorkspaceTable table);
    void AutoSaveRecord();
    void RemoveObjectRow(const Data::Uuid& uuid, WorkspaceTable table);
    void RemoveDataset(const Data::Uuid& uuid);
    void RemoveGenericObjectTree(const Data::Uuid& uuid);
    using ChildIndex = std::unordered_map<std::string, std::vector<Data::Uuid>>;
    // The kept parent links (emptying the cache), or new ones read from the generic objects.
    ChildIndex TakeChildIndex();
    // Opens a transaction on a writable connection unless one is open.
    void BeginTransactionInternal();
    // Ends an open transaction, then writes every pending change under a transaction of its own; on
    // failure that write is rolled back and the exception goes on.
    void Commit();
    // Rolls back an open transaction and reloads every table from the database.
    void Rollback();
    // Reads every table again through a readable connection, closing a file workspace's connection after.
    void ReloadFromDatabase();
    // A new handle on the dataset, data source or generic object with that UUID, looked for in that order.
    Core::Ptr<Interfaces::IWorkspaceObject> FindObject(const Data::Uuid& uuid);
    // Hands out a new list of handles on the table's matching rows.
    template <class Predicate>
    bool HandOutList(WorkspaceTable table, Predicate&& matches, Data::Interfaces::IObjectList** list,
                     Core::IErrorCode** error);
    void SetRecordCell(const char* column, const Data::Variant& value);

    int32_t dataModelVersion_ = kDataModelVersion;
    std::string filePath_;
    std::string folderPath_;
    Core::Ptr<Transaction> transaction_;
    Core::Ptr<Connection> connection_;
    TablePtr workspaceTable_;
    bool autoSave_ = true;
    Core::Ptr<Data::Interfaces::ISecureString> secret_;
    bool connectionReadOnly_ = false;
    int32_t openMode_ = Interfaces::ReadOnly;
    // Indexed by WorkspaceTable; the Workspaces slot stays empty, its one row lives in workspaceTable_.
    std::array<TrackedTables, kWorkspaceTableCount> trackedTables_;
    std::unordered_map<std::string, Core::Ptr<Data::Interfaces::IProperties>> propertyIndex_;
    // By WorkspaceTable: the database defaults of columns outside the current data model, by column name.
    std::array<std::vector<std::pair<std::string, Data::Variant>>, kWorkspaceTableCount> columnDefaults_;
    // The UUIDs of the Properties rows (main and insert) of each owner, by the 16 bytes of the owner's UUID:
    // built on first use, kept up to date as property rows are added and removed, dropped by a reload.
    using OwnerIndex = std::unordered_map<std::string, std::vector<Data::Uuid>>;
    std::optional<OwnerIndex> propertyOwners_;
    // The children of each generic object by the 16 bytes of the parent's UUID: built by the first removal
    // of a generic object, updated by creations and tree removals, dropped by any other change of which
    // generic objects exist (a reload, a single row's removal or discard).
    std::optional<ChildIndex> childIndex_;
    // The Updated times as read from the database of rows whose Updated cell was set since, by the table
    // index followed by the 16 bytes of the row's UUID.
    std::unordered_map<std::string, std::string> updatedRead_;
};

template <class Predicate>
std::vector<RowPtr> WorkspaceManagerImpl::FindRows(WorkspaceTable table, Predicate&& matches) const {
    const TrackedTables& tracked = Tables(table);
    std::vector<RowPtr> found;
    for (const TablePtr& source : {tracked.main, tracked.insert}) {
        const uint64_t count = source->GetRowCount();
        for (uint64_t i = 0; i < count; ++i) {
            RowPtr row = Data::RowAt(source, i);
            if (matches(row)) {
                found.push_back(std::move(row));
            }
        }
    }
    return found;
}

}  // namespace Vesk::Workspace::impl
