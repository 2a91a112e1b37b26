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

// One open workspace database: its record, data sources, datasets, generic objects and property sets.
// Owner thread only: a host that shares a workspace between threads serialises its calls itself, and must
// not hold the object's Lock during a call, since the workspace takes it while it replaces its connection.
struct IWorkspaceManager : IWorkspaceObject {
    // Hands out the workspace file's path as given at opening (empty for a memory workspace).
    virtual bool GetFilePath(::Data::Interfaces::IString** path, ::Core::IErrorCode** error) = 0;
    // Creates the data source uuid (type is a DataSourceType) and hands it out; when uuid already names a data
    // source, that row takes the new name, type and properties instead. Fails when uuid, name or properties is
    // null.
    virtual bool CreateDataSource(const ::Data::Structures::_UUID* uuid, const char* name, int type,
                                  ::Data::Interfaces::IProperties* properties, IWorkspaceDataSource** dataSource,
                                  ::Core::IErrorCode** error) = 0;
    // Hands out the data source uuid; stores null when there is none.
    virtual bool GetDataSource(const ::Data::Structures::_UUID* uuid, IWorkspaceDataSource** dataSource,
                               ::Core::IErrorCode** error) = 0;
    // Hands out a new list of every data source (as IWorkspaceDataSource).
    virtual bool GetDataSources(::Data::Interfaces::IObjectList** list, ::Core::IErrorCode** error) = 0;
    // Removes the data source with its datasets and all their properties. Fails for an unknown UUID. The
    // datasets' deletions wait for the next write of the datasets (Save, or an auto-saved dataset change).
    virtual bool RemoveDataSource(const ::Data::Structures::_UUID* uuid, ::Core::IErrorCode** error) = 0;
    // Creates the dataset uuid under dataSource (types are DatasetType, TemporalType, SpatialType) with empty
    // label, group and internal name, and hands it out; an existing dataset uuid is updated instead. Fails
    // when dataSource, uuid or name is null or the data source is not in the workspace.
    virtual bool CreateDataset(IWorkspaceDataSource* dataSource, const ::Data::Structures::_UUID* uuid,
                               const char* name, int datasetType, int temporalType, int spatialType, bool readOnly,
                               IWorkspaceDataset** dataset, ::Core::IErrorCode** error) = 0;
    // Hands out the dataset uuid; stores null when there is none.
    virtual bool GetDataset(const ::Data::Structures::_UUID* uuid, IWorkspaceDataset** dataset,
                            ::Core::IErrorCode** error) = 0;
    // The GetDatasets... operations hand out a new list of the datasets (as IWorkspaceDataset) whose column
    // equals the argument exactly: saved rows first, then rows not yet written.
    virtual bool GetDatasetsByName(const char* name, ::Data::Interfaces::IObjectList** list,
                                   ::Core::IErrorCode** error) = 0;
    virtual bool GetDatasetsByLabel(const char* label, ::Data::Interfaces::IObjectList** list,
                                    ::Core::IErrorCode** error) = 0;
    virtual bool GetDatasetsByGroup(const char* group, ::Data::Interfaces::IObjectList** list,
                                    ::Core::IErrorCode** error) = 0;
    // Hands out a new list of every dataset.
    virtual bool GetDatasets(::Data::Interfaces::IObjectList** list, ::Core::IErrorCode** error) = 0;
    virtual bool GetDatasetsOfDataSource(const ::Data::Structures::_UUID* dataSource,
                                         ::Data::Interfaces::IObjectList** list, ::Core::IErrorCode** error) = 0;
    // Removes the dataset and its properties. Fails for an unknown UUID.
    virtual bool RemoveDataset(const ::Data::Structures::_UUID* uuid, ::Core::IErrorCode** error) = 0;
    // True when the dataset uuid exists; false when it does not or on failure (then with an error).
    virtual bool ContainsDataset(const ::Data::Structures::_UUID* uuid, ::Core::IErrorCode** error) = 0;
    // Creates an object by type text and hands it out: "Dataset" (parent is its data source and must be
    // given) and "DataSource" in any letter case make those kinds, any other text a generic object under
    // parent (which may be null). Fails when uuid, name or objectType is null, or when a generic object
    // uuid already exists.
    virtual bool CreateObject(const ::Data::Structures::_UUID* parent, const ::Data::Structures::_UUID* uuid,
                              const char* name, const char* objectType, bool readOnly, IWorkspaceObject** object,
                              ::Core::IErrorCode** error) = 0;
    // Hands out the dataset, data source or generic object uuid, looked for in that order; null when none.
    virtual bool GetObject(const ::Data::Structures::_UUID* uuid, IWorkspaceObject** object,
                           ::Core::IErrorCode** error) = 0;
    // Hands out a new list of the generic objects named name.
    virtual bool GetObjectsByName(const char* name, ::Data::Interfaces::IObjectList** list,
                                  ::Core::IErrorCode** error) = 0;
    // Hands out a new list: every dataset for "Dataset", every data source for "DataSource" (any letter
    // case), otherwise the generic objects whose type text equals type exactly.
    virtual bool GetObjectsByType(const char* type, ::Data::Interfaces::IObjectList** list,
                                  ::Core::IErrorCode** error) = 0;
    // Hands out a new list of the generic objects whose parent is parent.
    virtual bool GetObjectsByParent(const ::Data::Structures::_UUID* parent, ::Data::Interfaces::IObjectList** list,
                                    ::Core::IErrorCode** error) = 0;
    // Removes whatever object uuid names; a generic object goes with all its descendants and every
    // property set among them. Fails for an unknown UUID.
    virtual bool RemoveObject(const ::Data::Structures::_UUID* uuid, ::Core::IErrorCode** error) = 0;
    // As GetObject, handing the object out as Core::IObject.
    virtual bool GetObjectAsIObject(const ::Data::Structures::_UUID* uuid, ::Core::IObject** object,
                                    ::Core::IErrorCode** error) = 0;
    // While on (the initial state) and no transaction is open, each change is written at once.
    virtual void SetAutoSave(bool enabled) = 0;
    // Opens a transaction: changes then wait in memory until Save commits or Discard drops them. Does
    // nothing when one is open; fails when the database cannot be opened for writing.
    virtual bool BeginTransaction(::Core::IErrorCode** error) = 0;
    // Replaces the secret that protects stored secure values (in memory only). Fails when secret is null.
    virtual bool SetSecret(::Data::Interfaces::ISecureString* secret, ::Core::IErrorCode** error) = 0;
    // Replaces the property set of the object with that UUID by a copy of properties (auto-save applies).
    virtual bool SetObjectProperties(const ::Data::Structures::_UUID* object,
                                     ::Data::Interfaces::IProperties* properties, ::Core::IErrorCode** error) = 0;
    // Hands out the property set of the object with that UUID (empty when it has none).
    virtual bool GetObjectProperties(const ::Data::Structures::_UUID* object,
                                     ::Data::Interfaces::IProperties** properties, ::Core::IErrorCode** error) = 0;
    // Reads every table again from the database. Fails while a transaction is open or while changes are
    // not yet written, so that nothing is lost.
    virtual bool Reload(::Core::IErrorCode** error) = 0;
    // As GetDatasetsByName, by internal name.
    virtual bool GetDatasetsByInternalName(const char* name, ::Data::Interfaces::IObjectList** list,
                                           ::Core::IErrorCode** error) = 0;
    // Hands out a memory image of the database as written so far (unsaved changes are not in it), which
    // VeskWorkspace_LoadFromMemory opens. Fails for a file workspace that is closed between operations.
    virtual bool Serialize(::Data::Interfaces::IArray** image, ::Core::IErrorCode** error) = 0;
};

}  // namespace Vesk::Interfaces
