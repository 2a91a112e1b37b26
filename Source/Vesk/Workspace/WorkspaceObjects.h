#pragma once
// The objects a workspace hands out: light handles that hold only their UUID and their workspace, and
// find their row in the workspace's tables anew on every call.
// Owner thread only: objects take no lock of their own and share the workspace's tables and rules.
#include <cstdint>
#include <string>

#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Core/Variant.h"
#include "Vesk/Workspace/IWorkspaceObject.h"
#include "Vesk/Workspace/WorkspaceManagerImpl.h"
#include "Vesk/Workspace/WorkspaceRows.h"

namespace Vesk::Workspace::impl {

// What every kind of object shares. Kind is the WorkspaceTable index of the object's table.
template <class Interface, uint32_t Kind, class Manager>
class GenericObjectT : public Core::ObjectT<Interface> {
public:
    static constexpr WorkspaceTable kTable = static_cast<WorkspaceTable>(Kind);

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
    bool IsReadOnly() override;
    bool Save(Core::IErrorCode** error) override;
    bool Discard(Core::IErrorCode** error) override;
    bool SetProperties(Data::Interfaces::IProperties* properties, Core::IErrorCode** error) override;
    bool GetProperties(Data::Interfaces::IProperties** properties, Core::IErrorCode** error) override;
    bool GetFolderPath(Data::Interfaces::IString** path, Core::IErrorCode** error) override;
    bool CalculateHash(Data::Interfaces::IArray** hash, Core::IErrorCode** error) override;

    const Data::Uuid& ObjectUuid() const { return uuid_; }

protected:
    GenericObjectT(Core::Ptr<Manager> manager, const Data::Uuid& uuid) : uuid_(uuid), manager_(std::move(manager)) {}
    ~GenericObjectT() override = default;

    // The own row (main table, then insert table); empty once the row is removed.
    RowPtr OwnRow() const { return manager_->FindRow(kTable, uuid_); }
    // The own row; a missing row fails with the empty-pointer message.
    RowPtr RequireRow() const;
    // The own cell; a missing row fails with the empty-pointer message.
    Data::Variant Cell(const char* column) const;
    std::string TextCell(const char* column) const { return TextOfCell(Cell(column)); }
    bool FlagCell(const char* column) const { return Cell(column).ToInt64() != 0; }
    // Sets the own cell, then writes the row at once when the workspace saves at once.
    void SetOwnCell(const char* column, const Data::Variant& value);
    // Writes the row under the auto-save rule.
    void WriteWhenAutoSaving(const RowPtr& row);

    // The internal operations behind the public ones.
    virtual void SetNameValue(const std::string& name) { SetOwnCell("Name", Data::Variant::FromString(name)); }
    virtual std::string NameValue() const { return TextCell("Name"); }
    virtual void SetDescriptionValue(const std::string& text) {
        SetOwnCell("Description", Data::Variant::FromString(text));
    }
    virtual std::string DescriptionValue() const { return TextCell("Description"); }
    virtual void SetObjectTypeValue(const std::string& type) {
        SetOwnCell("ObjectType", Data::Variant::FromString(type));
    }
    virtual std::string ObjectTypeValue() const;
    virtual bool ReadOnlyValue() const { return FlagCell("ReadOnly"); }
    virtual void SetReadOnlyValue(bool readOnly) { SetOwnCell("ReadOnly", Data::Variant::FromBool(readOnly)); }
    virtual Data::Variant InsertedValue() const { return Cell("Inserted"); }
    virtual Data::Variant UpdatedValue() const { return Cell("Updated"); }
    virtual void WriteOwnRow();
    virtual std::string HashValue() = 0;
    // False when the object has no parent.
    virtual bool ParentValue(Data::Uuid* parent) const = 0;

    Data::Uuid uuid_;
    Core::Ptr<Manager> manager_;
};

template <class Interface, class Manager>
class GenericDataSourceT : public GenericObjectT<Interface, 1, Manager> {
public:
    using Base = GenericObjectT<Interface, 1, Manager>;

    // IWorkspaceDataSource
    Interfaces::DataSourceType GetType() override;
    bool SetType(Interfaces::DataSourceType type, Core::IErrorCode** error) override;
    bool GetEnableCache() override;
    bool SetEnableCache(bool enabled, Core::IErrorCode** error) override;
    bool GetTypeIdentifier(Data::Structures::_UUID* identifier, Core::IErrorCode** error) override;
    bool SetTypeIdentifier(const Data::Structures::_UUID* identifier, Core::IErrorCode** error) override;

    // Adds the row (a fatal error when the UUID has one) and fills it as UpdateDataSource does.
    void CreateDataSource(const std::string& name, const std::string& description, int32_t type, bool readOnly,
                          const Core::Ptr<Data::Interfaces::IProperties>& properties);
    // Sets name, description, type, the cache flag (always off), the read-only flag and the time of change of
    // the existing row (a fatal error when there is none), and stores the property set when one is given.
    void UpdateDataSource(const std::string& name, const std::string& description, int32_t type, bool readOnly,
                          const Core::Ptr<Data::Interfaces::IProperties>& properties);

protected:
    using Base::Base;
    ~GenericDataSourceT() override = default;
    std::string HashValue() override;
    bool ParentValue(Data::Uuid* parent) const override;
};

template <class Interface, class Manager>
class GenericDatasetT : public GenericObjectT<Interface, 2, Manager> {
public:
    using Base = GenericObjectT<Interface, 2, Manager>;

    // IWorkspaceDataset
    bool SetLabel(const char* label, Core::IErrorCode** error) override;
    bool GetLabel(Data::Interfaces::IString** label, Core::IErrorCode** error) override;
    bool SetGroup(const char* group, Core::IErrorCode** error) override;
    bool GetGroup(Data::Interfaces::IString** group, Core::IErrorCode** error) override;
    bool SetInternalName(const char* name, Core::IErrorCode** error) override;
    bool GetInternalName(Data::Interfaces::IString** name, Core::IErrorCode** error) override;
    Interfaces::DatasetType GetDatasetType() override;
    Interfaces::TemporalType GetTemporalType() override;
    Interfaces::SpatialType GetSpatialType() override;
    bool SetDatasetType(Interfaces::DatasetType type, Core::IErrorCode** error) override;
    bool SetTemporalType(Interfaces::TemporalType type, Core::IErrorCode** error) override;
    bool SetSpatialType(Interfaces::SpatialType type, Core::IErrorCode** error) override;
    bool GetDataSource(Interfaces::IWorkspaceDataSource** dataSource, Core::IErrorCode** error) override;

    // The values a dataset is made or updated with.
    struct Values {
        Data::Uuid dataSource{};
        std::string name;
        std::string label;
        std::string group;
        std::string internalName;
        int32_t datasetType = 0;
        int32_t temporalType = 0;
        int32_t spatialType = 0;
        bool readOnly = false;
    };
    // Adds the row (a fatal error when the UUID has one) and fills it as UpdateDataset does.
    void CreateDataset(const Values& values);
    // Sets every column of the existing row (a fatal error when there is none, or when the data source is not
    // in the workspace).
    void UpdateDataset(const Values& values);

protected:
    using Base::Base;
    ~GenericDatasetT() override = default;
    std::string HashValue() override;
    bool ParentValue(Data::Uuid* parent) const override;
    Data::Uuid DataSourceUuidValue() const;
    void SetLabelValue(const std::string& label) { this->SetOwnCell("Label", Data::Variant::FromString(label)); }
    std::string LabelValue() const { return this->TextCell("Label"); }
    void SetGroupValue(const std::string& group) { this->SetOwnCell("Group", Data::Variant::FromString(group)); }
    std::string GroupValue() const { return this->TextCell("Group"); }
    void SetInternalNameValue(const std::string& name) {
        this->SetOwnCell("InternalName", Data::Variant::FromString(name));
    }
    std::string InternalNameValue() const { return this->TextCell("InternalName"); }
};

// A data source handle.
class DataSourceImpl final : public GenericDataSourceT<Interfaces::IWorkspaceDataSource, WorkspaceManagerImpl> {
public:
    // A handle on the data source's row, which need not exist.
    DataSourceImpl(Core::Ptr<WorkspaceManagerImpl> manager, const Data::Uuid& uuid);
    // Creates the data source, or updates its row when there is one, and writes it under the auto-save rule.
    static Core::Ptr<DataSourceImpl> Create(Core::Ptr<WorkspaceManagerImpl> manager, const Data::Uuid& uuid,
                                            const std::string& name, const std::string& description, int32_t type,
                                            bool readOnly, const Core::Ptr<Data::Interfaces::IProperties>& properties);

private:
    ~DataSourceImpl() override = default;
};

// A dataset handle.
class DatasetImpl final : public GenericDatasetT<Interfaces::IWorkspaceDataset, WorkspaceManagerImpl> {
public:
    DatasetImpl(Core::Ptr<WorkspaceManagerImpl> manager, const Data::Uuid& uuid);
    // Creates the dataset, or updates its row when there is one, and writes it under the auto-save rule.
    static Core::Ptr<DatasetImpl> Create(Core::Ptr<WorkspaceManagerImpl> manager, const Data::Uuid& uuid,
                                         const Values& values);

private:
    ~DatasetImpl() override = default;
};

// A generic object handle: any other item, arranged in a tree by its parent.
class GenericObjectImpl final : public GenericObjectT<Interfaces::IWorkspaceObject, 4, WorkspaceManagerImpl> {
public:
    GenericObjectImpl(Core::Ptr<WorkspaceManagerImpl> manager, const Data::Uuid& uuid);
    // Creates the object's row (a fatal error when the UUID has one) and writes it under the auto-save rule;
    // parent may be null.
    static Core::Ptr<GenericObjectImpl> Create(Core::Ptr<WorkspaceManagerImpl> manager, const Data::Uuid* parent,
                                               const Data::Uuid& uuid, const std::string& name,
                                               const std::string& objectType, bool readOnly);

private:
    ~GenericObjectImpl() override = default;
    void CreateObject(const Data::Uuid* parent, const std::string& name, const std::string& objectType, bool readOnly);
    std::string HashValue() override;
    bool ParentValue(Data::Uuid* parent) const override;
    Data::Uuid ParentUuidValue() const;
};

}  // namespace Vesk::Workspace::impl
