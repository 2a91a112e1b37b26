// The workspace's interface operations: each runs through the boundary guard.
#include <fmt/format.h>

#include <stdexcept>

#include "Core/DataObjects.h"
#include "Core/Guard.h"
#include "Core/TypeName.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace/WorkspaceManagerImpl.h"

namespace Vesk::Workspace::impl {

using Data::Variant;
namespace DataInterfaces = Data::Interfaces;
using Data::Structures::_UUID;

namespace {

Core::Ptr<DataInterfaces::IDateTime> DateTimeOf(const Variant& cell) {
    if (cell.Type() == Data::Structures::VT_DateTime) {
        return cell.AsDateTime();
    }
    Core::Ptr<DataInterfaces::IDateTime> parsed;
    const std::string text = cell.ToString();
    Core::ThrowIfFailed(
        [&](Core::IErrorCode** e) { return Data_CreateDateTimeFromIso8601(text.c_str(), parsed.Receive(), e); });
    return parsed;
}

}  // namespace

void WorkspaceManagerImpl::NotAvailable(const char* operation) const {
    throw std::runtime_error(fmt::format("{} is not available in this version of the workspace library", operation));
}

bool WorkspaceManagerImpl::GetUuid(_UUID* uuid, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(uuid);
        *uuid = Uuid();
    });
}

bool WorkspaceManagerImpl::GetParentUuid(_UUID*, Core::IErrorCode**) {
    return true;
}

bool WorkspaceManagerImpl::SetName(const char*, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { NotAvailable("SetName"); });
}

bool WorkspaceManagerImpl::GetName(DataInterfaces::IString** name, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(name);
        Core::HandOut(Data::NewString(Name()), name);
    });
}

bool WorkspaceManagerImpl::SetDescription(const char*, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { NotAvailable("SetDescription"); });
}

bool WorkspaceManagerImpl::GetDescription(DataInterfaces::IString** description, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(description);
        Core::HandOut(Data::NewString(RecordCell("Description").ToString()), description);
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
        Core::HandOut(DateTimeOf(RecordCell("Inserted")), inserted);
    });
}

bool WorkspaceManagerImpl::GetUpdated(DataInterfaces::IDateTime** updated, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(updated);
        Core::HandOut(DateTimeOf(RecordCell("Updated")), updated);
    });
}

bool WorkspaceManagerImpl::SetReadOnly(bool, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [] { throw std::runtime_error("Workspace Database cannot be set as read only!"); });
}

bool WorkspaceManagerImpl::Save(Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { NotAvailable("Save"); });
}

bool WorkspaceManagerImpl::Discard(Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { NotAvailable("Discard"); });
}

bool WorkspaceManagerImpl::SetProperties(DataInterfaces::IProperties*, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { NotAvailable("SetProperties"); });
}

bool WorkspaceManagerImpl::GetProperties(DataInterfaces::IProperties**, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { NotAvailable("GetProperties"); });
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

// The operations below edit and query the workspace's objects; they come with the object model.
#define VESK_NOT_YET(Signature, Name)                              \
    bool WorkspaceManagerImpl::Signature {                         \
        return Core::AbiGuard(error, [&] { NotAvailable(Name); }); \
    }

VESK_NOT_YET(CreateDataSource(const _UUID*, const char*, int, DataInterfaces::IProperties*,
                              Vesk::Interfaces::IWorkspaceDataSource**, Core::IErrorCode** error),
             "CreateDataSource")
VESK_NOT_YET(GetDataSource(const _UUID*, Vesk::Interfaces::IWorkspaceDataSource**, Core::IErrorCode** error),
             "GetDataSource")
VESK_NOT_YET(GetDataSources(DataInterfaces::IObjectList**, Core::IErrorCode** error), "GetDataSources")
VESK_NOT_YET(RemoveDataSource(const _UUID*, Core::IErrorCode** error), "RemoveDataSource")
VESK_NOT_YET(CreateDataset(Vesk::Interfaces::IWorkspaceDataSource*, const _UUID*, const char*, int, int, int, bool,
                           Vesk::Interfaces::IWorkspaceDataset**, Core::IErrorCode** error),
             "CreateDataset")
VESK_NOT_YET(GetDataset(const _UUID*, Vesk::Interfaces::IWorkspaceDataset**, Core::IErrorCode** error), "GetDataset")
VESK_NOT_YET(GetDatasetsByName(const char*, DataInterfaces::IObjectList**, Core::IErrorCode** error),
             "GetDatasetsByName")
VESK_NOT_YET(GetDatasetsByLabel(const char*, DataInterfaces::IObjectList**, Core::IErrorCode** error),
             "GetDatasetsByLabel")
VESK_NOT_YET(GetDatasetsByGroup(const char*, DataInterfaces::IObjectList**, Core::IErrorCode** error),
             "GetDatasetsByGroup")
VESK_NOT_YET(GetDatasets(DataInterfaces::IObjectList**, Core::IErrorCode** error), "GetDatasets")
VESK_NOT_YET(GetDatasetsOfDataSource(const _UUID*, DataInterfaces::IObjectList**, Core::IErrorCode** error),
             "GetDatasetsOfDataSource")
VESK_NOT_YET(RemoveDataset(const _UUID*, Core::IErrorCode** error), "RemoveDataset")
VESK_NOT_YET(ContainsDataset(const _UUID*, Core::IErrorCode** error), "ContainsDataset")
VESK_NOT_YET(CreateObject(const _UUID*, const _UUID*, const char*, const char*, bool,
                          Vesk::Interfaces::IWorkspaceObject**, Core::IErrorCode** error),
             "CreateObject")
VESK_NOT_YET(GetObject(const _UUID*, Vesk::Interfaces::IWorkspaceObject**, Core::IErrorCode** error), "GetObject")
VESK_NOT_YET(GetObjectsByName(const char*, DataInterfaces::IObjectList**, Core::IErrorCode** error), "GetObjectsByName")
VESK_NOT_YET(GetObjectsByType(const char*, DataInterfaces::IObjectList**, Core::IErrorCode** error), "GetObjectsByType")
VESK_NOT_YET(GetObjectsByParent(const _UUID*, DataInterfaces::IObjectList**, Core::IErrorCode** error),
             "GetObjectsByParent")
VESK_NOT_YET(RemoveObject(const _UUID*, Core::IErrorCode** error), "RemoveObject")
VESK_NOT_YET(GetObjectAsIObject(const _UUID*, Core::IObject**, Core::IErrorCode** error), "GetObjectAsIObject")
VESK_NOT_YET(BeginTransaction(Core::IErrorCode** error), "BeginTransaction")
VESK_NOT_YET(SetObjectProperties(const _UUID*, DataInterfaces::IProperties*, Core::IErrorCode** error),
             "SetObjectProperties")
VESK_NOT_YET(GetObjectProperties(const _UUID*, DataInterfaces::IProperties**, Core::IErrorCode** error),
             "GetObjectProperties")
VESK_NOT_YET(Reload(Core::IErrorCode** error), "Reload")
VESK_NOT_YET(GetDatasetsByInternalName(const char*, DataInterfaces::IObjectList**, Core::IErrorCode** error),
             "GetDatasetsByInternalName")
#undef VESK_NOT_YET

}  // namespace Vesk::Workspace::impl
