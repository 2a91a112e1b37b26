#pragma once
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Data/IArray.h"
#include "Vesk/Data/IObjectList.h"
#include "Vesk/Data/IProperties.h"
#include "Vesk/Data/IString.h"
#include "Vesk/Data/Structures.h"
#include "Vesk/Workspace/IWorkspaceObject.h"

namespace Vesk::Interfaces {

// How a workspace database is opened.
enum WorkspaceOpenMode : int32_t {
    ReadOnly = 0,             // no writes; a file is opened only to load
    ReadWrite = 1,            // a file is opened for each write and closed again
    ReadWritePersistent = 2,  // the connection stays open for the life of the workspace
};

// One open workspace database.
struct IWorkspaceManager : IWorkspaceObject {
    virtual bool GetFilePath(::Data::Interfaces::IString** path, ::Core::IErrorCode** error) = 0;
    virtual bool CreateDataSource(const ::Data::Structures::_UUID* uuid, const char* name, int type,
                                  ::Data::Interfaces::IProperties* properties, IWorkspaceDataSource** dataSource,
                                  ::Core::IErrorCode** error) = 0;
    virtual bool GetDataSource(const ::Data::Structures::_UUID* uuid, IWorkspaceDataSource** dataSource,
                               ::Core::IErrorCode** error) = 0;
    virtual bool GetDataSources(::Data::Interfaces::IObjectList** list, ::Core::IErrorCode** error) = 0;
    virtual bool RemoveDataSource(const ::Data::Structures::_UUID* uuid, ::Core::IErrorCode** error) = 0;
    virtual bool CreateDataset(IWorkspaceDataSource* dataSource, const ::Data::Structures::_UUID* uuid,
                               const char* name, int datasetType, int temporalType, int spatialType, bool readOnly,
                               IWorkspaceDataset** dataset, ::Core::IErrorCode** error) = 0;
    virtual bool GetDataset(const ::Data::Structures::_UUID* uuid, IWorkspaceDataset** dataset,
                            ::Core::IErrorCode** error) = 0;
    virtual bool GetDatasetsByName(const char* name, ::Data::Interfaces::IObjectList** list,
                                   ::Core::IErrorCode** error) = 0;
    virtual bool GetDatasetsByLabel(const char* label, ::Data::Interfaces::IObjectList** list,
                                    ::Core::IErrorCode** error) = 0;
    virtual bool GetDatasetsByGroup(const char* group, ::Data::Interfaces::IObjectList** list,
                                    ::Core::IErrorCode** error) = 0;
    virtual bool GetDatasets(::Data::Interfaces::IObjectList** list, ::Core::IErrorCode** error) = 0;
    virtual bool GetDatasetsOfDataSource(const ::Data::Structures::_UUID* dataSource,
                                         ::Data::Interfaces::IObjectList** list, ::Core::IErrorCode** error) = 0;
    virtual bool RemoveDataset(const ::Data::Structures::_UUID* uuid, ::Core::IErrorCode** error) = 0;
    virtual bool ContainsDataset(const ::Data::Structures::_UUID* uuid, ::Core::IErrorCode** error) = 0;
    virtual bool CreateObject(const ::Data::Structures::_UUID* parent, const ::Data::Structures::_UUID* uuid,
                              const char* name, const char* objectType, bool readOnly, IWorkspaceObject** object,
                              ::Core::IErrorCode** error) = 0;
    virtual bool GetObject(const ::Data::Structures::_UUID* uuid, IWorkspaceObject** object,
                           ::Core::IErrorCode** error) = 0;
    virtual bool GetObjectsByName(const char* name, ::Data::Interfaces::IObjectList** list,
                                  ::Core::IErrorCode** error) = 0;
    virtual bool GetObjectsByType(const char* type, ::Data::Interfaces::IObjectList** list,
                                  ::Core::IErrorCode** error) = 0;
    virtual bool GetObjectsByParent(const ::Data::Structures::_UUID* parent, ::Data::Interfaces::IObjectList** list,
                                    ::Core::IErrorCode** error) = 0;
    virtual bool RemoveObject(const ::Data::Structures::_UUID* uuid, ::Core::IErrorCode** error) = 0;
    virtual bool GetObjectAsIObject(const ::Data::Structures::_UUID* uuid, ::Core::IObject** object,
                                    ::Core::IErrorCode** error) = 0;
    virtual void SetAutoSave(bool enabled) = 0;
    virtual bool BeginTransaction(::Core::IErrorCode** error) = 0;
    virtual bool SetSecret(::Data::Interfaces::ISecureString* secret, ::Core::IErrorCode** error) = 0;
    virtual bool SetObjectProperties(const ::Data::Structures::_UUID* object,
                                     ::Data::Interfaces::IProperties* properties, ::Core::IErrorCode** error) = 0;
    virtual bool GetObjectProperties(const ::Data::Structures::_UUID* object,
                                     ::Data::Interfaces::IProperties** properties, ::Core::IErrorCode** error) = 0;
    virtual bool Reload(::Core::IErrorCode** error) = 0;
    virtual bool GetDatasetsByInternalName(const char* name, ::Data::Interfaces::IObjectList** list,
                                           ::Core::IErrorCode** error) = 0;
    // A memory image of the database as written so far (unsaved changes are not in it).
    virtual bool Serialize(::Data::Interfaces::IArray** image, ::Core::IErrorCode** error) = 0;
};

}  // namespace Vesk::Interfaces
