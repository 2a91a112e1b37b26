// The data-model version check that every opening runs, and the upgrade of databases written by older
// versions of the library. Each step's log line is what support staff look for in users' logs.
#include <fmt/format.h>

#include <exception>
#include <string>

#include "Core/DataObjects.h"
#include "Core/Guard.h"
#include "Core/Log.h"
#include "Core/TableAccess.h"
#include "Private/Data/Table.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace/WorkspaceManagerImpl.h"
#include "Vesk/Workspace/WorkspaceRows.h"
#include "Vesk/Workspace/WorkspaceSchema.h"

namespace Vesk::Workspace::impl {

namespace DI = Data::Interfaces;
using Data::Variant;

namespace {

constexpr const char* kFilePathProperty = "FilePath";

}  // namespace

void WorkspaceManagerImpl::CheckVersionAndUpgrade() {
    int32_t version = 0;
    try {
        version = StoredVersion();
    } catch (const std::exception&) {
        // The message hosts see is the value layer's own; the log names the cell that caused it.
        Core::Log(Core::LogError,
                  fmt::format("Column Workspaces.Version holds '{}' where a number belongs: the database was changed "
                              "outside the workspace library",
                              RecordCell("Version").ToString()));
        throw;
    }
    const std::string name = Name();
    const std::string uuid = UuidText();
    if (version == kDataModelVersion) {
        Core::Log(Core::LogInfo, fmt::format("Workspace {} ({}) is at latest version", name, uuid));
        return;
    }
    if (version > kDataModelVersion) {
        Core::Log(Core::LogError,
                  "Workspace was created with newer version of the software. Compatibility is not guaranteed. "
                  "Proceed at your own risk!");
        return;
    }
    Core::Log(Core::LogWarn, fmt::format("Workspace {} ({}) is not at latest version! Datamodel upgrade will be "
                                         "attempted in separate transaction...",
                                         name, uuid));
    BeginTransactionInternal();
    // Everything from here on is undone together: the schema changes sit in the open transaction until
    // the first commit, and a failure rolls them back and reloads what the database still holds.
    auto discard = [&](const std::string& message) {
        Core::Log(Core::LogFatal, fmt::format("Failed to upgrade workspace {} ({}) to latest version. Changes will be "
                                              "discarded. Message: {}",
                                              name, uuid, message));
        try {
            Rollback();
        } catch (const std::exception& e) {
            // The upgrade's own failure is the one the caller needs to see.
            Core::Log(Core::LogError,
                      fmt::format("Rolling back the upgrade of workspace {} ({}) failed: {}", name, uuid, e.what()));
        }
    };
    try {
        EnsureWritableConnection();
        MigrateEmptyTablesToLatest();
        if (version < 2) {
            MigrateFromVersion1ToVersion2();
        }
        if (version < 3) {
            MigrateFromVersion2ToVersion3();
        }
        const Variant latest = Variant::FromInt32(kDataModelVersion);
        auto record = Data::RowAt(workspaceTable_, 0);
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return record->SetCellByName("Version", &latest.Raw(), e); });
        Commit();
        Core::Log(Core::LogInfo, fmt::format("Upgrade to version {} successful on workspace {} ({}). Saving changes...",
                                             kDataModelVersion, name, uuid));
        Commit();
        Core::Log(Core::LogInfo, fmt::format("Save completed. Reloading workspace {} ({}).", name, uuid));
        EnsureReadableConnection();
        LoadAllTables();
        Core::Log(Core::LogInfo, fmt::format("Workspace {} ({}) reloaded.", name, uuid));
    } catch (const std::exception& e) {
        discard(e.what());
        throw;
    } catch (...) {
        discard("Unknown exception");
        throw;
    }
}

bool WorkspaceManagerImpl::HasColumn(WorkspaceTable table, const char* column) const {
    return Tables(table).main->FindColumn(column) >= 0;
}

void WorkspaceManagerImpl::MigrateEmptyTablesToLatest() {
    for (WorkspaceTable table : {WorkspaceTable::DataSources, WorkspaceTable::Datasets, WorkspaceTable::Properties,
                                 WorkspaceTable::GenericObjects}) {
        if (Tables(table).main->GetRowCount() != 0) {
            continue;
        }
        Core::Log(Core::LogInfo,
                  fmt::format("No existing records found during migration. Recreating {} table for workspace {} ({}).",
                              WorkspaceTableName(table), Name(), UuidText()));
        CreateObjectTable(connection_, table, true);
        LoadTrackedTable(table);
    }
}

void WorkspaceManagerImpl::MigrateFromVersion1ToVersion2() {
    Core::Log(Core::LogInfo,
              fmt::format("Migrating data from version 1 to version 2 for workspace {} ({}).", Name(), UuidText()));
    if (HasColumn(WorkspaceTable::DataSources, "Connection")) {
        Core::Log(Core::LogInfo,
                  "Table DataSources got Connection row removed. Connection content will be migrated to the "
                  "Properties table via FilePath key. This was the only usage found in the wild.");
        MigrateConnectionsToFilePathProperties();
    }
    if (!HasColumn(WorkspaceTable::DataSources, "TypeIdentifier")) {
        Core::Log(Core::LogInfo, "Table DataSources got TypeIdentifier column added. No migration needed.");
        ExecuteSchemaStatement(connection_, Migration::kAddDataSourceTypeIdentifier);
        LoadTrackedTable(WorkspaceTable::DataSources);
    }
    MigrateDatasetTypeColumn();
    if (!HasColumn(WorkspaceTable::Datasets, "TemporalType")) {
        Core::Log(Core::LogInfo,
                  "Table Datasets got TemporalType row added. No migration needed since no temporal datasets exists "
                  "yet.");
        ExecuteSchemaStatement(connection_, Migration::kAddTemporalType);
        LoadTrackedTable(WorkspaceTable::Datasets);
    }
    LoadTrackedTable(WorkspaceTable::DataSources);
    for (const char* table : kRemovedTables) {
        Core::Log(Core::LogInfo, fmt::format("Table {} was removed. No migration needed.", table));
        ExecuteSchemaStatement(connection_, DropRemovedTableStatement(table));
    }
}

void WorkspaceManagerImpl::MigrateFromVersion2ToVersion3() {
    Core::Log(Core::LogInfo,
              fmt::format("Migrating data from version 2 to version 3 for workspace {} ({}).", Name(), UuidText()));
    if (!HasColumn(WorkspaceTable::Datasets, "SpatialType")) {
        Core::Log(Core::LogInfo,
                  "Table Datasets got SpatialType row added. Existing datasets will need to have SpatialType manually "
                  "set from None to appropriate type.");
        ExecuteSchemaStatement(connection_, Migration::kAddSpatialType);
        LoadTrackedTable(WorkspaceTable::Datasets);
    }
    MigrateDatasetTypeColumn();
    LoadTrackedTable(WorkspaceTable::Datasets);
}

// Version 1 named a dataset's kind Type; later versions call it DatasetType.
void WorkspaceManagerImpl::MigrateDatasetTypeColumn() {
    if (!HasColumn(WorkspaceTable::Datasets, "Type") || HasColumn(WorkspaceTable::Datasets, "DatasetType")) {
        return;
    }
    Core::Log(Core::LogInfo,
              "Table Datasets got Type row removed and DatasetType added. Type will be migrated to DatasetType.");
    ExecuteSchemaStatement(connection_, Migration::kAddDatasetType);
    ExecuteSchemaStatement(connection_, Migration::kCopyTypeToDatasetType);
    LoadTrackedTable(WorkspaceTable::Datasets);
}

void WorkspaceManagerImpl::MigrateConnectionsToFilePathProperties() {
    for (const auto& row : Data::RowsOf(Tables(WorkspaceTable::DataSources).main)) {
        StoreFilePathProperty(Data::CellNamed(row, "Uuid").ToUuid(), Data::CellNamed(row, "Connection"));
    }
}

void WorkspaceManagerImpl::StoreFilePathProperty(const Data::Uuid& dataSource, const Variant& value) {
    const std::string owner = Data::UuidToText(dataSource);
    const TrackedTables& properties = Tables(WorkspaceTable::Properties);
    // Only an earlier FilePath of this data source gives way; its other properties stay as they are.
    auto isOldFilePath = [&](const Core::Ptr<DI::IRow>& row) {
        return Data::CellNamed(row, "PropertyName").ToString() == kFilePathProperty &&
               Data::UuidToText(Data::CellNamed(row, "WorkspaceObjectUuid").ToUuid()) == owner;
    };
    for (uint64_t i = properties.main->GetRowCount(); i-- > 0;) {
        auto row = Data::RowAt(properties.main, i);
        if (isOldFilePath(row)) {
            Core::ThrowIfFailed([&](Core::IErrorCode** e) { return properties.remove->AddRow(row.Get(), nullptr, e); });
            Core::ThrowIfFailed([&](Core::IErrorCode** e) { return properties.main->RemoveRow(i, e); });
        }
    }
    for (uint64_t i = properties.insert->GetRowCount(); i-- > 0;) {
        if (isOldFilePath(Data::RowAt(properties.insert, i))) {
            Core::ThrowIfFailed([&](Core::IErrorCode** e) { return properties.insert->RemoveRow(i, e); });
        }
    }
    propertyIndex_.erase(UuidKey(dataSource));
    propertyOwners_.reset();

    Core::Ptr<DI::IProperties> set;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return Data_CreateProperties(set.Receive(), e); });
    Core::ThrowIfFailed(
        [&](Core::IErrorCode** e) { return set->Register("", kFilePathProperty, "", "", "", value.Type(), true, e); });
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return set->SetValue(kFilePathProperty, &value.Raw(), e); });
    auto secret = Data::SecretBytes(secret_.GetUnchecked());
    Data::PropertiesToRows(set.Get(), dataSource, properties.insert.Get(), secret.GetUnchecked());
}

}  // namespace Vesk::Workspace::impl
