// The workspace's interface operations: each runs through the boundary guard.
#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <string_view>

#include "Core/DataObjects.h"
#include "Core/Fatal.h"
#include "Core/Guard.h"
#include "Core/StringFormat.h"
#include "Core/TypeName.h"
#include "Private/Data/Table.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace/WorkspaceManagerImpl.h"
#include "Vesk/Workspace/WorkspaceObjects.h"
#include "Vesk/Workspace/WorkspaceRows.h"

namespace Vesk::Workspace::impl {

using Data::Variant;
namespace DataInterfaces = Data::Interfaces;
using Data::Structures::_UUID;

bool WorkspaceManagerImpl::GetUuid(_UUID* uuid, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(uuid);
        *uuid = Uuid();
    });
}

bool WorkspaceManagerImpl::GetParentUuid(_UUID*, Core::IErrorCode**) {
    return true;
}

bool WorkspaceManagerImpl::SetName(const char* name, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(name);
        SetRecordCell("Name", Variant::FromString(name));
    });
}

bool WorkspaceManagerImpl::GetName(DataInterfaces::IString** name, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(name);
        Core::HandOut(Data::NewString(Name()), name);
    });
}

bool WorkspaceManagerImpl::SetDescription(const char* description, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(description);
        SetRecordCell("Description", Variant::FromString(description));
    });
}

bool WorkspaceManagerImpl::GetDescription(DataInterfaces::IString** description, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(description);
        Core::HandOut(Data::NewString(TextOfCell(RecordCell("Description"))), description);
    });
}

bool WorkspaceManagerImpl::SetObjectType(const char*, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [] { throw std::runtime_error("Cannot change object type of the workspace!"); });
}

bool WorkspaceManagerImpl::GetObjectType(DataInterfaces::IString** type, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(type);
        Core::HandOut(Data::NewString("Workspace"), type);
    });
}

bool WorkspaceManagerImpl::GetInserted(DataInterfaces::IDateTime** inserted, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(inserted);
        Core::HandOut(DateTimeOfCell(RecordCell("Inserted")), inserted);
    });
}

bool WorkspaceManagerImpl::GetUpdated(DataInterfaces::IDateTime** updated, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(updated);
        Core::HandOut(DateTimeOfCell(RecordCell("Updated")), updated);
    });
}

bool WorkspaceManagerImpl::SetReadOnly(bool, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [] { throw std::runtime_error("Workspace Database cannot be set as read only!"); });
}

bool WorkspaceManagerImpl::Save(Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { Commit(); });
}

bool WorkspaceManagerImpl::Discard(Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { Rollback(); });
}

bool WorkspaceManagerImpl::SetProperties(DataInterfaces::IProperties* properties, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(properties);
        SetObjectProperties(Uuid(), Core::Ptr<DataInterfaces::IProperties>(properties));
    });
}

bool WorkspaceManagerImpl::GetProperties(DataInterfaces::IProperties** properties, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(properties);
        Core::HandOut(GetObjectProperties(Uuid()), properties);
    });
}

bool WorkspaceManagerImpl::GetFolderPath(DataInterfaces::IString** path, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(path);
        Core::HandOut(Data::NewString(folderPath_), path);
    });
}

bool WorkspaceManagerImpl::CalculateHash(DataInterfaces::IArray** hash, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(hash);
        const Data::Uuid uuid = Uuid();
        const std::string digest = Data::Sha256(uuid.bytes, sizeof uuid.bytes);
        Core::HandOut(Data::NewByteArray(digest.data(), digest.size()), hash);
    });
}

bool WorkspaceManagerImpl::GetFilePath(DataInterfaces::IString** path, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(path);
        Core::HandOut(Data::NewString(filePath_), path);
    });
}

bool WorkspaceManagerImpl::SetSecret(DataInterfaces::ISecureString* secret, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(secret);
        secret_ = Core::Ptr<DataInterfaces::ISecureString>(secret);
    });
}

bool WorkspaceManagerImpl::Serialize(DataInterfaces::IArray** image, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(image);
        if (!connection_) {
            throw std::runtime_error("Interface is not accessible: " + Core::TypeName<Connection>());
        }
        Core::HandOut(Data::SQLite::Serialize(connection_), image);
    });
}

// ---- Objects ----

namespace {

Core::Ptr<DataInterfaces::IObjectList> NewObjectList() {
    Core::Ptr<DataInterfaces::IObjectList> list;
    if (!Data_CreateObjectList(list.Receive()) || !list) {
        throw std::runtime_error("Cannot create object list");
    }
    return list;
}

void Append(const Core::Ptr<DataInterfaces::IObjectList>& list, Core::IObject* item) {
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return list->Append(item, e); });
}

Data::Uuid UuidOfRow(const RowPtr& row) {
    Data::Uuid uuid{};
    UuidOfCell(Data::CellNamed(row, "Uuid"), &uuid);
    return uuid;
}

bool EqualsIgnoringCase(std::string_view left, std::string_view right) {
    return left.size() == right.size() && std::equal(left.begin(), left.end(), right.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

// Rows whose UUID column holds uuid (as a value or as its text).
auto UuidColumnIs(const char* column, const Data::Uuid& uuid) {
    return [column, key = UuidKey(uuid)](const RowPtr& row) {
        Data::Uuid stored{};
        return UuidOfCell(Data::CellNamed(row, column), &stored) && UuidKey(stored) == key;
    };
}

auto TextColumnIs(const char* column, std::string text) {
    return [column, text = std::move(text)](const RowPtr& row) {
        return CellTextEquals(Data::CellNamed(row, column), text);
    };
}

constexpr auto kEveryRow = [](const RowPtr&) { return true; };

}  // namespace

Core::Ptr<Vesk::Interfaces::IWorkspaceDataSource> WorkspaceManagerImpl::CreateDataSource(
    Data::Uuid uuid, const std::string& name, Core::Ptr<DataInterfaces::IProperties> properties, int type) {
    return DataSourceImpl::Create(Core::Ptr<WorkspaceManagerImpl>(this), uuid, name, "", type, false, properties);
}

Core::Ptr<Vesk::Interfaces::IWorkspaceDataSource> WorkspaceManagerImpl::GetDataSource(Data::Uuid uuid) {
    if (!FindRow(WorkspaceTable::DataSources, uuid)) {
        return {};
    }
    return Core::MakeObject<DataSourceImpl>(Core::Ptr<WorkspaceManagerImpl>(this), uuid);
}

std::vector<Core::Ptr<Vesk::Interfaces::IWorkspaceDataSource>> WorkspaceManagerImpl::GetDataSources() {
    std::vector<Core::Ptr<Vesk::Interfaces::IWorkspaceDataSource>> dataSources;
    for (const RowPtr& row : FindRows(WorkspaceTable::DataSources, kEveryRow)) {
        dataSources.push_back(Core::MakeObject<DataSourceImpl>(Core::Ptr<WorkspaceManagerImpl>(this), UuidOfRow(row)));
    }
    return dataSources;
}

Core::Ptr<DataInterfaces::IProperties> WorkspaceManagerImpl::GetObjectProperties(const Data::Uuid& object) {
    const auto cached = propertyIndex_.find(UuidKey(object));
    if (cached != propertyIndex_.end()) {
        return cached->second;
    }
    const auto secret = Data::SecretBytes(secret_.GetUnchecked());
    auto properties = Data::PropertiesOfOwner(object, PropertyRowsOf({UuidKey(object)}), secret.GetUnchecked());
    propertyIndex_.emplace(UuidKey(object), properties);
    return properties;
}

void WorkspaceManagerImpl::SetObjectProperties(const Data::Uuid& object,
                                               const Core::Ptr<DataInterfaces::IProperties>& properties) {
    RemoveObjectProperties({UuidKey(object)});
    const auto secret = Data::SecretBytes(secret_.GetUnchecked());
    const TablePtr& insert = Tables(WorkspaceTable::Properties).insert;
    const uint64_t first = insert->GetRowCount();
    try {
        Data::PropertiesToRows(properties.GetUnchecked(), object, insert.GetUnchecked(), secret.GetUnchecked());
    } catch (...) {
        // The rows appended before the failure stay, so the index must know them too.
        IndexInsertedPropertyRows(first);
        throw;
    }
    IndexInsertedPropertyRows(first);
    AutoSaveRecord();
}

std::string WorkspaceManagerImpl::CalculatePropertiesHash(const Core::Ptr<DataInterfaces::IProperties>& properties) {
    std::vector<std::pair<std::string, Variant>> values;
    for (uint64_t i = 0; i < properties->GetCount(); ++i) {
        Core::Ptr<DataInterfaces::IProperty> property;
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return properties->GetProperty(i, property.Receive(), e); });
        Variant value;
        property->GetValue(value.Receive());
        values.emplace_back(property->GetName(), std::move(value));
    }
    std::sort(values.begin(), values.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string bytes;
    size_t hashed = 0;
    for (const auto& [name, value] : values) {
        const uint32_t type = value.Type();
        if (type == Data::Structures::VT_Unknown || type == Data::Structures::VT_Invalid ||
            type == Data::Structures::VT_Null || type == Data::Structures::VT_IObject || !value.HasData()) {
            continue;
        }
        const uint64_t size = value.Size();  // throws for a type whose bytes are not defined
        bytes.append(static_cast<const char*>(value.Data()), size);
        ++hashed;
    }
    return hashed == 0 ? std::string() : Data::Sha256(bytes.data(), bytes.size());
}

bool WorkspaceManagerImpl::CreateDataSource(const _UUID* uuid, const char* name, int type,
                                            DataInterfaces::IProperties* properties,
                                            Vesk::Interfaces::IWorkspaceDataSource** dataSource,
                                            Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(uuid);
        Core::CheckNotNull(name);
        Core::CheckNotNull(properties);
        Core::CheckOut(dataSource);
        Core::HandOut(CreateDataSource(*uuid, name, Core::Ptr<DataInterfaces::IProperties>(properties), type),
                      dataSource);
    });
}

bool WorkspaceManagerImpl::GetDataSource(const _UUID* uuid, Vesk::Interfaces::IWorkspaceDataSource** dataSource,
                                         Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(uuid);
        Core::CheckOut(dataSource);
        Core::HandOut(GetDataSource(*uuid), dataSource);
    });
}

bool WorkspaceManagerImpl::GetDataSources(DataInterfaces::IObjectList** list, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(list);
        auto dataSources = NewObjectList();
        for (const auto& dataSource : GetDataSources()) {
            Append(dataSources, dataSource.Get());
        }
        Core::HandOut(dataSources, list);
    });
}

bool WorkspaceManagerImpl::RemoveDataSource(const _UUID* uuid, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(uuid);
        RemoveDataSource(*uuid);
    });
}

bool WorkspaceManagerImpl::CreateDataset(Vesk::Interfaces::IWorkspaceDataSource* dataSource, const _UUID* uuid,
                                         const char* name, int datasetType, int temporalType, int spatialType,
                                         bool readOnly, Vesk::Interfaces::IWorkspaceDataset** dataset,
                                         Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(dataSource);
        Core::CheckNotNull(uuid);
        Core::CheckNotNull(name);
        Core::CheckOut(dataset);
        DatasetImpl::Values values;
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return dataSource->GetUuid(&values.dataSource, e); });
        values.name = name;
        values.datasetType = datasetType;
        values.temporalType = temporalType;
        values.spatialType = spatialType;
        values.readOnly = readOnly;
        Core::HandOut(DatasetImpl::Create(Core::Ptr<WorkspaceManagerImpl>(this), *uuid, values), dataset);
    });
}

bool WorkspaceManagerImpl::GetDataset(const _UUID* uuid, Vesk::Interfaces::IWorkspaceDataset** dataset,
                                      Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(uuid);
        Core::CheckOut(dataset);
        if (FindRow(WorkspaceTable::Datasets, *uuid)) {
            Core::HandOut(Core::MakeObject<DatasetImpl>(Core::Ptr<WorkspaceManagerImpl>(this), *uuid), dataset);
        }
    });
}

template <class Predicate>
bool WorkspaceManagerImpl::HandOutList(WorkspaceTable table, Predicate&& matches, DataInterfaces::IObjectList** list,
                                       Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(list);
        auto objects = NewObjectList();
        const Core::Ptr<WorkspaceManagerImpl> self(this);
        for (const RowPtr& row : FindRows(table, matches)) {
            const Data::Uuid uuid = UuidOfRow(row);
            switch (table) {
                case WorkspaceTable::Datasets:
                    Append(objects, Core::MakeObject<DatasetImpl>(self, uuid).Get());
                    break;
                case WorkspaceTable::DataSources:
                    Append(objects, Core::MakeObject<DataSourceImpl>(self, uuid).Get());
                    break;
                default:
                    Append(objects, Core::MakeObject<GenericObjectImpl>(self, uuid).Get());
                    break;
            }
        }
        Core::HandOut(objects, list);
    });
}

bool WorkspaceManagerImpl::GetDatasetsByName(const char* name, DataInterfaces::IObjectList** list,
                                             Core::IErrorCode** error) {
    return name == nullptr ? Core::AbiGuard(error, [&] { Core::CheckNotNull(name); })
                           : HandOutList(WorkspaceTable::Datasets, TextColumnIs("Name", name), list, error);
}

bool WorkspaceManagerImpl::GetDatasetsByLabel(const char* label, DataInterfaces::IObjectList** list,
                                              Core::IErrorCode** error) {
    return label == nullptr ? Core::AbiGuard(error, [&] { Core::CheckNotNull(label); })
                            : HandOutList(WorkspaceTable::Datasets, TextColumnIs("Label", label), list, error);
}

bool WorkspaceManagerImpl::GetDatasetsByGroup(const char* group, DataInterfaces::IObjectList** list,
                                              Core::IErrorCode** error) {
    return group == nullptr ? Core::AbiGuard(error, [&] { Core::CheckNotNull(group); })
                            : HandOutList(WorkspaceTable::Datasets, TextColumnIs("Group", group), list, error);
}

bool WorkspaceManagerImpl::GetDatasetsByInternalName(const char* name, DataInterfaces::IObjectList** list,
                                                     Core::IErrorCode** error) {
    return name == nullptr ? Core::AbiGuard(error, [&] { Core::CheckNotNull(name); })
                           : HandOutList(WorkspaceTable::Datasets, TextColumnIs("InternalName", name), list, error);
}

bool WorkspaceManagerImpl::GetDatasets(DataInterfaces::IObjectList** list, Core::IErrorCode** error) {
    return HandOutList(WorkspaceTable::Datasets, kEveryRow, list, error);
}

bool WorkspaceManagerImpl::GetDatasetsOfDataSource(const _UUID* dataSource, DataInterfaces::IObjectList** list,
                                                   Core::IErrorCode** error) {
    return dataSource == nullptr
               ? Core::AbiGuard(error, [&] { Core::CheckNotNull(dataSource); })
               : HandOutList(WorkspaceTable::Datasets, UuidColumnIs("DataSourceUuid", *dataSource), list, error);
}

bool WorkspaceManagerImpl::RemoveDataset(const _UUID* uuid, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(uuid);
        RemoveDataset(*uuid);
    });
}

bool WorkspaceManagerImpl::ContainsDataset(const _UUID* uuid, Core::IErrorCode** error) {
    bool found = false;
    const bool ok = Core::AbiGuard(error, [&] {
        Core::CheckNotNull(uuid);
        found = static_cast<bool>(FindRow(WorkspaceTable::Datasets, *uuid));
    });
    return ok && found;
}

bool WorkspaceManagerImpl::CreateObject(const _UUID* parent, const _UUID* uuid, const char* name,
                                        const char* objectType, bool readOnly,
                                        Vesk::Interfaces::IWorkspaceObject** object, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(uuid);
        Core::CheckNotNull(name);
        Core::CheckNotNull(objectType);
        Core::CheckOut(object);
        const Core::Ptr<WorkspaceManagerImpl> self(this);
        if (EqualsIgnoringCase(objectType, "Dataset")) {
            if (parent == nullptr) {
                Core::RaiseFatal(Core::StringFormat(
                    "Failed to insert Dataset %s! Missing parent object id (DataSource Uuid)", name));
            }
            // Made under the data source the parent names; an unknown one fails as an update to a missing source.
            DatasetImpl::Values values;
            values.dataSource = *parent;
            values.name = name;
            values.readOnly = readOnly;
            Core::HandOut(Core::Ptr<Vesk::Interfaces::IWorkspaceObject>(DatasetImpl::Create(self, *uuid, values)),
                          object);
        } else if (EqualsIgnoringCase(objectType, "DataSource")) {
            Core::HandOut(Core::Ptr<Vesk::Interfaces::IWorkspaceObject>(
                              DataSourceImpl::Create(self, *uuid, name, "", 0, readOnly, nullptr)),
                          object);
        } else {
            Core::HandOut(Core::Ptr<Vesk::Interfaces::IWorkspaceObject>(
                              GenericObjectImpl::Create(self, parent, *uuid, name, objectType, readOnly)),
                          object);
        }
    });
}

Core::Ptr<Vesk::Interfaces::IWorkspaceObject> WorkspaceManagerImpl::FindObject(const Data::Uuid& uuid) {
    const Core::Ptr<WorkspaceManagerImpl> self(this);
    if (FindRow(WorkspaceTable::Datasets, uuid)) {
        return Core::MakeObject<DatasetImpl>(self, uuid);
    }
    if (FindRow(WorkspaceTable::DataSources, uuid)) {
        return Core::MakeObject<DataSourceImpl>(self, uuid);
    }
    if (FindRow(WorkspaceTable::GenericObjects, uuid)) {
        return Core::MakeObject<GenericObjectImpl>(self, uuid);
    }
    return {};
}

bool WorkspaceManagerImpl::GetObject(const _UUID* uuid, Vesk::Interfaces::IWorkspaceObject** object,
                                     Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(uuid);
        Core::CheckOut(object);
        Core::HandOut(FindObject(*uuid), object);
    });
}

bool WorkspaceManagerImpl::GetObjectsByName(const char* name, DataInterfaces::IObjectList** list,
                                            Core::IErrorCode** error) {
    return name == nullptr ? Core::AbiGuard(error, [&] { Core::CheckNotNull(name); })
                           : HandOutList(WorkspaceTable::GenericObjects, TextColumnIs("Name", name), list, error);
}

bool WorkspaceManagerImpl::GetObjectsByType(const char* type, DataInterfaces::IObjectList** list,
                                            Core::IErrorCode** error) {
    if (type == nullptr) {
        return Core::AbiGuard(error, [&] { Core::CheckNotNull(type); });
    }
    if (EqualsIgnoringCase(type, "Dataset")) {
        return HandOutList(WorkspaceTable::Datasets, kEveryRow, list, error);
    }
    if (EqualsIgnoringCase(type, "DataSource")) {
        return HandOutList(WorkspaceTable::DataSources, kEveryRow, list, error);
    }
    return HandOutList(WorkspaceTable::GenericObjects, TextColumnIs("ObjectType", type), list, error);
}

bool WorkspaceManagerImpl::GetObjectsByParent(const _UUID* parent, DataInterfaces::IObjectList** list,
                                              Core::IErrorCode** error) {
    return parent == nullptr
               ? Core::AbiGuard(error, [&] { Core::CheckNotNull(parent); })
               : HandOutList(WorkspaceTable::GenericObjects, UuidColumnIs("ParentUuid", *parent), list, error);
}

bool WorkspaceManagerImpl::RemoveObject(const _UUID* uuid, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(uuid);
        if (FindRow(WorkspaceTable::Datasets, *uuid)) {
            RemoveDataset(*uuid);
        } else if (FindRow(WorkspaceTable::DataSources, *uuid)) {
            RemoveDataSource(*uuid);
        } else {
            RemoveGenericObjectTree(*uuid);
        }
    });
}

bool WorkspaceManagerImpl::GetObjectAsIObject(const _UUID* uuid, Core::IObject** object, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(uuid);
        Core::CheckOut(object);
        Core::HandOut(Core::Ptr<Core::IObject>(FindObject(*uuid)), object);
    });
}

// ---- Transactions, reload, properties ----

bool WorkspaceManagerImpl::BeginTransaction(Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { BeginTransactionInternal(); });
}

bool WorkspaceManagerImpl::Reload(Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        if (transaction_) {
            throw std::runtime_error(Core::StringFormat(
                "Transaction is currently in progress. Cannot reload data for workspace %s", UuidText().c_str()));
        }
        if (HasUnsavedChanges()) {
            throw std::runtime_error(
                Core::StringFormat("Database state contains changes that were not yet written into the file. Reload "
                                   "cancelled to prevent data loss! (%s)",
                                   UuidText().c_str()));
        }
        ReloadFromDatabase();
    });
}

bool WorkspaceManagerImpl::SetObjectProperties(const _UUID* object, DataInterfaces::IProperties* properties,
                                               Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(object);
        Core::CheckNotNull(properties);
        SetObjectProperties(*object, Core::Ptr<DataInterfaces::IProperties>(properties));
    });
}

bool WorkspaceManagerImpl::GetObjectProperties(const _UUID* object, DataInterfaces::IProperties** properties,
                                               Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(object);
        Core::CheckOut(properties);
        Core::HandOut(GetObjectProperties(*object), properties);
    });
}

}  // namespace Vesk::Workspace::impl
