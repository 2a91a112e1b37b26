#include "Vesk/Workspace/WorkspaceObjects.h"

#include <cstdio>
#include <stdexcept>

#include "Core/DataObjects.h"
#include "Core/Fatal.h"
#include "Core/Guard.h"
#include "Core/StringFormat.h"
#include "Core/TypeName.h"
#include "Vesk/Workspace/WorkspaceEnums.h"

namespace Vesk::Workspace::impl {

using Data::Variant;
namespace DI = Data::Interfaces;
using Data::Structures::_UUID;

namespace {

// The source function texts of the fatal errors that hosts and log readers match on.
constexpr const char* kCreateDataSourceFunction =
    "Vesk::Workspace::impl::GenericDataSourceT<struct Vesk::Interfaces::IWorkspaceDataSource,struct "
    "Vesk::Workspace::impl::WorkspaceManagerImpl>::CreateDataSource";
constexpr const char* kUpdateDataSourceFunction =
    "Vesk::Workspace::impl::GenericDataSourceT<struct Vesk::Interfaces::IWorkspaceDataSource,struct "
    "Vesk::Workspace::impl::WorkspaceManagerImpl>::UpdateDataSource";
constexpr const char* kCreateDatasetFunction =
    "Vesk::Workspace::impl::GenericDatasetT<struct Vesk::Interfaces::IWorkspaceDataset,struct "
    "Vesk::Workspace::impl::WorkspaceManagerImpl>::CreateDataset";
constexpr const char* kUpdateDatasetFunction =
    "Vesk::Workspace::impl::GenericDatasetT<struct Vesk::Interfaces::IWorkspaceDataset,struct "
    "Vesk::Workspace::impl::WorkspaceManagerImpl>::UpdateDataset";
constexpr const char* kCreateObjectFunction = "Vesk::Workspace::impl::GenericObjectImpl::CreateObject";

constexpr const char* kRowExists = "Cannot create new row because row with id %s already exists!";

std::string Hex(const std::string& bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    char pair[3];
    for (unsigned char byte : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}

Core::Ptr<DI::IArray> DigestArray(const std::string& digest) {
    return Data::NewByteArray(digest.data(), digest.size());
}

// Adds a new row for uuid to the insert table with its key and creation time.
RowPtr NewObjectRow(WorkspaceManagerImpl& manager, WorkspaceTable table, const Data::Uuid& uuid) {
    RowPtr row;
    TablePtr insert = manager.GetInsertTable(table);
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return insert->NewRow(row.Receive(), e); });
    SetCellNamed(row, "Uuid", UuidCell(uuid));
    SetCellNamed(row, "Inserted", Data::CurrentDateTime());
    return row;
}

// Takes back a row whose creation failed half-way, so that no half-filled row waits to be written.
void DropNewRow(WorkspaceManagerImpl& manager, WorkspaceTable table, const Data::Uuid& uuid) noexcept {
    try {
        manager.RemoveRow(uuid, table);
    } catch (...) {
        // The row never reached the insert table; nothing to take back.
    }
}

}  // namespace

// ---- Every kind ----

template <class Interface, uint32_t Kind, class Manager>
RowPtr GenericObjectT<Interface, Kind, Manager>::RequireRow() const {
    RowPtr row = OwnRow();
    if (!row) {
        throw std::runtime_error("Null pointer exception! Interface is not accessible: " + Core::TypeName<DI::IRow>());
    }
    return row;
}

template <class Interface, uint32_t Kind, class Manager>
Variant GenericObjectT<Interface, Kind, Manager>::Cell(const char* column) const {
    return Data::CellNamed(RequireRow(), column);
}

template <class Interface, uint32_t Kind, class Manager>
void GenericObjectT<Interface, Kind, Manager>::WriteWhenAutoSaving(const RowPtr& row) {
    if (manager_->SavesAtOnce()) {
        manager_->SaveRowChanges(row, kTable);
    }
}

template <class Interface, uint32_t Kind, class Manager>
void GenericObjectT<Interface, Kind, Manager>::SetOwnCell(const char* column, const Variant& value) {
    RowPtr row = RequireRow();
    SetCellNamed(row, column, value);
    WriteWhenAutoSaving(row);
}

template <class Interface, uint32_t Kind, class Manager>
std::string GenericObjectT<Interface, Kind, Manager>::ObjectTypeValue() const {
    RowPtr row = RequireRow();
    if (Data::HeaderOf(row)->FindColumn("ObjectType") >= 0) {
        return TextOfCell(Data::CellNamed(row, "ObjectType"));
    }
    // Kinds without a type column are named after their table: "DataSource", "Dataset".
    const std::string table = WorkspaceTableName(kTable);
    return table.substr(0, table.size() - 1);
}

template <class Interface, uint32_t Kind, class Manager>
void GenericObjectT<Interface, Kind, Manager>::WriteOwnRow() {
    const TablePtr tables[] = {manager_->GetMainTable(kTable), manager_->GetInsertTable(kTable),
                               manager_->GetRemoveTable(kTable)};
    const Variant key = KeyOf(uuid_);
    // A removed object's row is only in the remove table; writing it deletes it in the database.
    RowPtr row;
    for (const TablePtr& table : tables) {
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return table->FindRow(&key.Raw(), row.Receive(), e); });
        if (row) {
            break;
        }
    }
    // Also without a row, so that a transaction refuses the write either way.
    manager_->SaveRowChanges(row, kTable);
}

template <class Interface, uint32_t Kind, class Manager>
bool GenericObjectT<Interface, Kind, Manager>::GetUuid(_UUID* uuid, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(uuid);
        *uuid = uuid_;
    });
}

template <class Interface, uint32_t Kind, class Manager>
bool GenericObjectT<Interface, Kind, Manager>::GetParentUuid(_UUID* uuid, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(uuid);
        Data::Uuid parent{};
        if (ParentValue(&parent)) {
            *uuid = parent;
        }
    });
}

template <class Interface, uint32_t Kind, class Manager>
bool GenericObjectT<Interface, Kind, Manager>::SetName(const char* name, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(name);
        SetNameValue(name);
    });
}

template <class Interface, uint32_t Kind, class Manager>
bool GenericObjectT<Interface, Kind, Manager>::GetName(DI::IString** name, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(name);
        Core::HandOut(Data::NewString(NameValue()), name);
    });
}

template <class Interface, uint32_t Kind, class Manager>
bool GenericObjectT<Interface, Kind, Manager>::SetDescription(const char* description, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(description);
        SetDescriptionValue(description);
    });
}

template <class Interface, uint32_t Kind, class Manager>
bool GenericObjectT<Interface, Kind, Manager>::GetDescription(DI::IString** description, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(description);
        Core::HandOut(Data::NewString(DescriptionValue()), description);
    });
}

template <class Interface, uint32_t Kind, class Manager>
bool GenericObjectT<Interface, Kind, Manager>::SetObjectType(const char* type, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(type);
        SetObjectTypeValue(type);
    });
}

template <class Interface, uint32_t Kind, class Manager>
bool GenericObjectT<Interface, Kind, Manager>::GetObjectType(DI::IString** type, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(type);
        Core::HandOut(Data::NewString(ObjectTypeValue()), type);
    });
}

template <class Interface, uint32_t Kind, class Manager>
bool GenericObjectT<Interface, Kind, Manager>::GetInserted(DI::IDateTime** inserted, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(inserted);
        Core::HandOut(DateTimeOfCell(InsertedValue()), inserted);
    });
}

template <class Interface, uint32_t Kind, class Manager>
bool GenericObjectT<Interface, Kind, Manager>::GetUpdated(DI::IDateTime** updated, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(updated);
        Core::HandOut(DateTimeOfCell(UpdatedValue()), updated);
    });
}

template <class Interface, uint32_t Kind, class Manager>
bool GenericObjectT<Interface, Kind, Manager>::SetReadOnly(bool readOnly, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { SetReadOnlyValue(readOnly); });
}

template <class Interface, uint32_t Kind, class Manager>
bool GenericObjectT<Interface, Kind, Manager>::IsReadOnly() {
    bool readOnly = false;
    Core::AbiGuard(nullptr, [&] { readOnly = ReadOnlyValue(); });
    return readOnly;
}

template <class Interface, uint32_t Kind, class Manager>
bool GenericObjectT<Interface, Kind, Manager>::Save(Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { WriteOwnRow(); });
}

template <class Interface, uint32_t Kind, class Manager>
bool GenericObjectT<Interface, Kind, Manager>::Discard(Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { manager_->DiscardRow(uuid_, kTable); });
}

template <class Interface, uint32_t Kind, class Manager>
bool GenericObjectT<Interface, Kind, Manager>::SetProperties(DI::IProperties* properties, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(properties);
        manager_->SetObjectProperties(uuid_, Core::Ptr<DI::IProperties>(properties));
    });
}

template <class Interface, uint32_t Kind, class Manager>
bool GenericObjectT<Interface, Kind, Manager>::GetProperties(DI::IProperties** properties, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(properties);
        Core::HandOut(manager_->GetObjectProperties(uuid_), properties);
    });
}

template <class Interface, uint32_t Kind, class Manager>
bool GenericObjectT<Interface, Kind, Manager>::GetFolderPath(DI::IString** path, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(path);
        Core::HandOut(Data::NewString(manager_->FolderPath()), path);
    });
}

template <class Interface, uint32_t Kind, class Manager>
bool GenericObjectT<Interface, Kind, Manager>::CalculateHash(DI::IArray** hash, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(hash);
        Core::HandOut(DigestArray(HashValue()), hash);
    });
}

// ---- Data sources ----

template <class Interface, class Manager>
Interfaces::DataSourceType GenericDataSourceT<Interface, Manager>::GetType() {
    int32_t type = -1;
    Core::AbiGuard(nullptr, [&] { type = EnumFromText(EnumKind::DataSourceType, this->TextCell("Type")); });
    return static_cast<Interfaces::DataSourceType>(type);
}

template <class Interface, class Manager>
bool GenericDataSourceT<Interface, Manager>::SetType(Interfaces::DataSourceType type, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        this->SetOwnCell("Type", Variant::FromString(EnumToText(EnumKind::DataSourceType, static_cast<int32_t>(type))));
    });
}

template <class Interface, class Manager>
bool GenericDataSourceT<Interface, Manager>::GetEnableCache() {
    bool enabled = false;
    Core::AbiGuard(nullptr, [&] { enabled = this->FlagCell("EnableCache"); });
    return enabled;
}

template <class Interface, class Manager>
bool GenericDataSourceT<Interface, Manager>::SetEnableCache(bool enabled, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { this->SetOwnCell("EnableCache", Variant::FromBool(enabled)); });
}

template <class Interface, class Manager>
bool GenericDataSourceT<Interface, Manager>::GetTypeIdentifier(_UUID* identifier, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(identifier);
        Data::Uuid stored{};
        UuidOfCell(this->Cell("TypeIdentifier"), &stored);
        *identifier = stored;
    });
}

template <class Interface, class Manager>
bool GenericDataSourceT<Interface, Manager>::SetTypeIdentifier(const _UUID* identifier, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        this->SetOwnCell("TypeIdentifier", identifier != nullptr ? UuidCell(*identifier) : Variant::Null());
    });
}

template <class Interface, class Manager>
void GenericDataSourceT<Interface, Manager>::CreateDataSource(const std::string& name, const std::string& description,
                                                              int32_t type, bool readOnly,
                                                              const Core::Ptr<DI::IProperties>& properties) {
    if (this->OwnRow()) {
        Core::RaiseFatalIn(kCreateDataSourceFunction,
                           Core::StringFormat(kRowExists, Data::UuidToText(this->uuid_).c_str()));
    }
    NewObjectRow(*this->manager_, Base::kTable, this->uuid_);
    try {
        UpdateDataSource(name, description, type, readOnly, properties);
    } catch (...) {
        DropNewRow(*this->manager_, Base::kTable, this->uuid_);
        throw;
    }
}

template <class Interface, class Manager>
void GenericDataSourceT<Interface, Manager>::UpdateDataSource(const std::string& name, const std::string& description,
                                                              int32_t type, bool readOnly,
                                                              const Core::Ptr<DI::IProperties>& properties) {
    RowPtr row = this->OwnRow();
    if (!row) {
        Core::RaiseFatalIn(
            kUpdateDataSourceFunction,
            // Fixed text: hosts match on it.
            Core::StringFormat("Cannot update datasource since row does not exists! Name %s", name.c_str()));
    }
    SetCellNamed(row, "Name", Variant::FromString(name));
    SetCellNamed(row, "Description", Variant::FromString(description));
    SetCellNamed(row, "Type", Variant::FromString(EnumToText(EnumKind::DataSourceType, type)));
    SetCellNamed(row, "EnableCache", Variant::FromBool(false));
    SetCellNamed(row, "ReadOnly", Variant::FromBool(readOnly));
    this->manager_->SetUpdatedNow(Base::kTable, row);
    if (properties) {
        this->manager_->SetObjectProperties(this->uuid_, properties);
    }
}

template <class Interface, class Manager>
std::string GenericDataSourceT<Interface, Manager>::HashValue() {
    const std::string digest =
        this->manager_->CalculatePropertiesHash(this->manager_->GetObjectProperties(this->uuid_));
    if (digest.empty()) {
        throw std::runtime_error(Core::StringFormat(
            "DataSource %s (%s) does not contain any suitable properties from which hash can be calculated!",
            this->NameValue().c_str(), Data::UuidToText(this->uuid_).c_str()));
    }
    return digest;
}

template <class Interface, class Manager>
bool GenericDataSourceT<Interface, Manager>::ParentValue(Data::Uuid*) const {
    return false;
}

// ---- Datasets ----

template <class Interface, class Manager>
bool GenericDatasetT<Interface, Manager>::SetLabel(const char* label, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(label);
        SetLabelValue(label);
    });
}

template <class Interface, class Manager>
bool GenericDatasetT<Interface, Manager>::GetLabel(DI::IString** label, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(label);
        Core::HandOut(Data::NewString(LabelValue()), label);
    });
}

template <class Interface, class Manager>
bool GenericDatasetT<Interface, Manager>::SetGroup(const char* group, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(group);
        SetGroupValue(group);
    });
}

template <class Interface, class Manager>
bool GenericDatasetT<Interface, Manager>::GetGroup(DI::IString** group, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(group);
        Core::HandOut(Data::NewString(GroupValue()), group);
    });
}

template <class Interface, class Manager>
bool GenericDatasetT<Interface, Manager>::SetInternalName(const char* name, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(name);
        SetInternalNameValue(name);
    });
}

template <class Interface, class Manager>
bool GenericDatasetT<Interface, Manager>::GetInternalName(DI::IString** name, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(name);
        Core::HandOut(Data::NewString(InternalNameValue()), name);
    });
}

template <class Interface, class Manager>
Interfaces::DatasetType GenericDatasetT<Interface, Manager>::GetDatasetType() {
    int32_t type = -1;
    Core::AbiGuard(nullptr, [&] { type = EnumFromText(EnumKind::DatasetType, this->TextCell("DatasetType")); });
    return static_cast<Interfaces::DatasetType>(type);
}

template <class Interface, class Manager>
Interfaces::TemporalType GenericDatasetT<Interface, Manager>::GetTemporalType() {
    int32_t type = -1;
    Core::AbiGuard(nullptr, [&] { type = EnumFromText(EnumKind::TemporalType, this->TextCell("TemporalType")); });
    return static_cast<Interfaces::TemporalType>(type);
}

template <class Interface, class Manager>
Interfaces::SpatialType GenericDatasetT<Interface, Manager>::GetSpatialType() {
    int32_t type = -1;
    Core::AbiGuard(nullptr, [&] { type = EnumFromText(EnumKind::SpatialType, this->TextCell("SpatialType")); });
    return static_cast<Interfaces::SpatialType>(type);
}

template <class Interface, class Manager>
bool GenericDatasetT<Interface, Manager>::SetDatasetType(Interfaces::DatasetType type, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        this->SetOwnCell("DatasetType",
                         Variant::FromString(EnumToText(EnumKind::DatasetType, static_cast<int32_t>(type))));
    });
}

template <class Interface, class Manager>
bool GenericDatasetT<Interface, Manager>::SetTemporalType(Interfaces::TemporalType type, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        this->SetOwnCell("TemporalType",
                         Variant::FromString(EnumToText(EnumKind::TemporalType, static_cast<int32_t>(type))));
    });
}

template <class Interface, class Manager>
bool GenericDatasetT<Interface, Manager>::SetSpatialType(Interfaces::SpatialType type, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        this->SetOwnCell("SpatialType",
                         Variant::FromString(EnumToText(EnumKind::SpatialType, static_cast<int32_t>(type))));
    });
}

template <class Interface, class Manager>
bool GenericDatasetT<Interface, Manager>::GetDataSource(Interfaces::IWorkspaceDataSource** dataSource,
                                                        Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(dataSource);
        Core::HandOut(this->manager_->GetDataSource(DataSourceUuidValue()), dataSource);
    });
}

template <class Interface, class Manager>
Data::Uuid GenericDatasetT<Interface, Manager>::DataSourceUuidValue() const {
    Data::Uuid dataSource{};
    UuidOfCell(this->Cell("DataSourceUuid"), &dataSource);
    return dataSource;
}

template <class Interface, class Manager>
void GenericDatasetT<Interface, Manager>::CreateDataset(const Values& values) {
    if (this->OwnRow()) {
        Core::RaiseFatalIn(kCreateDatasetFunction,
                           Core::StringFormat(kRowExists, Data::UuidToText(this->uuid_).c_str()));
    }
    NewObjectRow(*this->manager_, Base::kTable, this->uuid_);
    try {
        UpdateDataset(values);
    } catch (...) {
        DropNewRow(*this->manager_, Base::kTable, this->uuid_);
        throw;
    }
}

template <class Interface, class Manager>
void GenericDatasetT<Interface, Manager>::UpdateDataset(const Values& values) {
    RowPtr row = this->OwnRow();
    if (!row) {
        Core::RaiseFatalIn(
            kUpdateDatasetFunction,
            // Fixed text: hosts match on it.
            Core::StringFormat("Cannot update dataset since row does not exists! Name %s", values.name.c_str()));
    }
    if (!this->manager_->GetDataSource(values.dataSource)) {
        // Fixed text: hosts match on it.
        Core::RaiseFatalIn(kUpdateDatasetFunction,
                           Core::StringFormat("Cannot update dataset since it replaces datasource with non existing "
                                              "datasource. Add datasource first then dataset can be replaced! Name "
                                              "%s, New datasource id which does not exists: %s",
                                              values.name.c_str(), Data::UuidToText(values.dataSource).c_str()));
    }
    SetCellNamed(row, "DataSourceUuid", UuidCell(values.dataSource));
    SetCellNamed(row, "Name", Variant::FromString(values.name));
    SetCellNamed(row, "Label", Variant::FromString(values.label));
    SetCellNamed(row, "Group", Variant::FromString(values.group));
    SetCellNamed(row, "InternalName", Variant::FromString(values.internalName));
    SetCellNamed(row, "DatasetType", Variant::FromString(EnumToText(EnumKind::DatasetType, values.datasetType)));
    SetCellNamed(row, "TemporalType", Variant::FromString(EnumToText(EnumKind::TemporalType, values.temporalType)));
    SetCellNamed(row, "SpatialType", Variant::FromString(EnumToText(EnumKind::SpatialType, values.spatialType)));
    SetCellNamed(row, "ReadOnly", Variant::FromBool(values.readOnly));
    this->manager_->SetUpdatedNow(Base::kTable, row);
}

template <class Interface, class Manager>
std::string GenericDatasetT<Interface, Manager>::HashValue() {
    const std::string internalName = InternalNameValue();
    const std::string digest =
        this->manager_->CalculatePropertiesHash(this->manager_->GetObjectProperties(DataSourceUuidValue()));
    if (digest.empty()) {
        throw std::runtime_error(Core::StringFormat(
            "DataSource %s (%s) of dataset %s does not contain any suitable properties from which hash can be "
            "calculated!",
            this->NameValue().c_str(), Data::UuidToText(this->uuid_).c_str(), internalName.c_str()));
    }
    const std::string text = Hex(digest) + internalName;
    return Data::Sha256(text.data(), text.size());
}

template <class Interface, class Manager>
bool GenericDatasetT<Interface, Manager>::ParentValue(Data::Uuid* parent) const {
    *parent = DataSourceUuidValue();
    return true;
}

template class GenericObjectT<Interfaces::IWorkspaceDataSource, 1, WorkspaceManagerImpl>;
template class GenericObjectT<Interfaces::IWorkspaceDataset, 2, WorkspaceManagerImpl>;
template class GenericObjectT<Interfaces::IWorkspaceObject, 4, WorkspaceManagerImpl>;
template class GenericDataSourceT<Interfaces::IWorkspaceDataSource, WorkspaceManagerImpl>;
template class GenericDatasetT<Interfaces::IWorkspaceDataset, WorkspaceManagerImpl>;

// ---- The three classes ----

DataSourceImpl::DataSourceImpl(Core::Ptr<WorkspaceManagerImpl> manager, const Data::Uuid& uuid)
    : GenericDataSourceT(std::move(manager), uuid) {}

Core::Ptr<DataSourceImpl> DataSourceImpl::Create(Core::Ptr<WorkspaceManagerImpl> manager, const Data::Uuid& uuid,
                                                 const std::string& name, const std::string& description, int32_t type,
                                                 bool readOnly, const Core::Ptr<DI::IProperties>& properties) {
    auto dataSource = Core::MakeObject<DataSourceImpl>(std::move(manager), uuid);
    if (dataSource->OwnRow()) {
        dataSource->UpdateDataSource(name, description, type, readOnly, properties);
    } else {
        dataSource->CreateDataSource(name, description, type, readOnly, properties);
    }
    dataSource->WriteWhenAutoSaving(dataSource->OwnRow());
    return dataSource;
}

DatasetImpl::DatasetImpl(Core::Ptr<WorkspaceManagerImpl> manager, const Data::Uuid& uuid)
    : GenericDatasetT(std::move(manager), uuid) {}

Core::Ptr<DatasetImpl> DatasetImpl::Create(Core::Ptr<WorkspaceManagerImpl> manager, const Data::Uuid& uuid,
                                           const Values& values) {
    auto dataset = Core::MakeObject<DatasetImpl>(std::move(manager), uuid);
    if (dataset->OwnRow()) {
        dataset->UpdateDataset(values);
    } else {
        dataset->CreateDataset(values);
    }
    dataset->WriteWhenAutoSaving(dataset->OwnRow());
    return dataset;
}

GenericObjectImpl::GenericObjectImpl(Core::Ptr<WorkspaceManagerImpl> manager, const Data::Uuid& uuid)
    : GenericObjectT(std::move(manager), uuid) {}

Core::Ptr<GenericObjectImpl> GenericObjectImpl::Create(Core::Ptr<WorkspaceManagerImpl> manager,
                                                       const Data::Uuid* parent, const Data::Uuid& uuid,
                                                       const std::string& name, const std::string& objectType,
                                                       bool readOnly) {
    auto object = Core::MakeObject<GenericObjectImpl>(std::move(manager), uuid);
    object->CreateObject(parent, name, objectType, readOnly);
    object->WriteWhenAutoSaving(object->OwnRow());
    return object;
}

void GenericObjectImpl::CreateObject(const Data::Uuid* parent, const std::string& name, const std::string& objectType,
                                     bool readOnly) {
    if (OwnRow()) {
        Core::RaiseFatalIn(kCreateObjectFunction, Core::StringFormat(kRowExists, Data::UuidToText(uuid_).c_str()));
    }
    RowPtr row;
    TablePtr insert = manager_->GetInsertTable(kTable);
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return insert->NewRow(row.Receive(), e); });
    try {
        SetCellNamed(row, "Uuid", UuidCell(uuid_));
        if (parent != nullptr) {
            SetCellNamed(row, "ParentUuid", UuidCell(*parent));
        }
        SetCellNamed(row, "Name", Variant::FromString(name));
        SetCellNamed(row, "ObjectType", Variant::FromString(objectType));
        SetCellNamed(row, "ReadOnly", Variant::FromBool(readOnly));
        const Variant now = Data::CurrentDateTime();
        SetCellNamed(row, "Inserted", now);
        SetCellNamed(row, "Updated", now);
    } catch (...) {
        // A half-filled row would wait in the insert table and make every later commit fail. NewRow
        // appended it, and nothing was added since.
        insert->RemoveRow(insert->GetRowCount() - 1, nullptr);
        throw;
    }
    manager_->NoteGenericObjectCreated(parent, uuid_);
}

std::string GenericObjectImpl::HashValue() {
    return Data::Sha256(uuid_.bytes, sizeof uuid_.bytes);
}

bool GenericObjectImpl::ParentValue(Data::Uuid* parent) const {
    // A generic object at the top of its tree reports the nil UUID.
    *parent = ParentUuidValue();
    return true;
}

Data::Uuid GenericObjectImpl::ParentUuidValue() const {
    Data::Uuid parent{};
    UuidOfCell(Cell("ParentUuid"), &parent);
    return parent;
}

}  // namespace Vesk::Workspace::impl
