#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Core/Variant.h"
#include "Private/Data/SQLite.h"
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

// Operations the workspace's own objects use beside the public interface.
struct IWorkspaceManager1 : Interfaces::IWorkspaceManager {};

// The main, remove and insert tables of one object table.
struct TrackedTables {
    TablePtr main;
    TablePtr remove;
    TablePtr insert;
};

// One open workspace database: its record, its object tables in memory and the connection.
// Owner thread only: a host that shares a workspace between threads serialises its calls through the
// object's Lock and Unlock. Construction serialises with other processes through a cross-process lock.
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

private:
    ~WorkspaceManagerImpl() override = default;

    void OpenConnection(const std::string& path, const void* data, uint64_t size);
    void InsertRecordIfNew(const Data::Uuid& uuid, const std::string& name);
    void LoadAllTables();
    TablePtr LoadTable(WorkspaceTable table);
    void LoadTrackedTable(WorkspaceTable table);
    void SetHashedSecret();

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

    // Connections, transactions and writing the in-memory tables back (WorkspaceChanges.cpp).
    // Opens a transaction on a writable connection unless one is open.
    void BeginTransactionInternal();
    // A file workspace not opened read-only gets a read-write connection when it has none.
    void EnsureWritableConnection();
    // A file workspace gets a read-only connection unless it keeps a usable one.
    void EnsureReadConnection();
    // A file workspace outside mode 2 lets go of its connection after a write.
    void CloseAfterWrite();
    // Ends an open transaction, then writes every pending change under a transaction of its own;
    // on failure that write is rolled back and the exception goes on.
    void Commit();
    // Rolls back an open transaction and reloads every table from the database.
    void Rollback();
    void SaveTableChanges(WorkspaceTable table);
    void SaveWorkspaceRow();
    void ReplaceConnection(bool readOnly);
    Data::Variant RecordCell(const char* column) const;
    [[noreturn]] void NotAvailable(const char* operation) const;

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
};

}  // namespace Vesk::Workspace::impl
