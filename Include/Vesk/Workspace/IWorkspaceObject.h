#pragma once
// The workspace and the objects it hands out: data sources, datasets and generic objects.
//
// Every operation that takes an IErrorCode** returns true on success; on failure it returns false and,
// when error is not null, stores a new error object there (error must then point to null). An out-pointer
// must be given and must point to null; what it receives carries one reference that the caller releases.
// Required pointer arguments must not be null ("Pointer of <type> must not be null!").
//
// An object is a light handle on its row: it keeps its workspace alive, reads the row anew on every call
// and fails with "Null pointer exception! Interface is not accessible: struct Data::Interfaces::IRow" once
// the row is removed. Changes are written at once while the workspace's auto-save is on and no transaction
// is open; otherwise they wait for the workspace's Save.
//
// Owner thread only: an object shares its workspace's tables and follows the workspace's threading rule.
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Data/IArray.h"
#include "Vesk/Data/IDateTime.h"
#include "Vesk/Data/IProperties.h"
#include "Vesk/Data/IString.h"
#include "Vesk/Data/Structures.h"

namespace Vesk::Interfaces {

// Where a data source's data comes from. Stored as the enumerator's name; a value outside the list is
// stored as an empty text, and a text that names no enumerator reads as Unknown.
enum class DataSourceType : int32_t {
    Unknown = -1,
    None = 0,
    Custom = 1,
    InlineJson = 2,
    InlineGeoJson = 3,
    InlineSqlite = 4,
    InlineCsv = 5,
    InlineTiff = 6,
    InlineGeopackage = 7,
    InlineText = 8,
    InlineBlob = 9,
    Memory = 10,
    FilePath = 11,
    FolderPath = 12,
    Database = 13,
    SimpleUrl = 14,
    ODataApi = 15,
    ArcGisMapService = 16,
    ArcGisFeatureService = 17,
    TileMapService = 18,
    WebCoverageService = 19,
    WebMapService = 20,
    WebMapTileService = 21,
    WebFeatureService = 22,
    RuntimeExtension = 23,
};

// What a dataset holds; stored and read like DataSourceType.
enum class DatasetType : int32_t { Unknown = -1, Generic = 0, Table = 1, Spatial = 2, BaseMap = 3 };

// Whether a dataset changes over time; stored and read like DataSourceType.
enum class TemporalType : int32_t { Unknown = -1, None = 0, TimeSeries = 1 };

// The kind of spatial data in a dataset; stored and read like DataSourceType.
enum class SpatialType : int32_t { Unknown = -1, None = 0, Shape = 1, Raster = 2, PointCloud = 3, Lidar = 4 };

// What the workspace and every object in it have in common.
struct IWorkspaceObject : ::Core::IObject {
    // Stores the object's UUID in *uuid.
    virtual bool GetUuid(::Data::Structures::_UUID* uuid, ::Core::IErrorCode** error) = 0;
    // Stores the parent's UUID (a dataset's data source, a generic object's parent; the nil UUID for a
    // generic object without parent). Leaves *uuid untouched for the workspace and for data sources.
    virtual bool GetParentUuid(::Data::Structures::_UUID* uuid, ::Core::IErrorCode** error) = 0;
    // Sets the name (auto-save applies). Fails when name is null.
    virtual bool SetName(const char* name, ::Core::IErrorCode** error) = 0;
    // Hands out the name as a new string.
    virtual bool GetName(::Data::Interfaces::IString** name, ::Core::IErrorCode** error) = 0;
    // Sets the description (auto-save applies). Fails when description is null.
    virtual bool SetDescription(const char* description, ::Core::IErrorCode** error) = 0;
    // Hands out the description as a new string (empty when none was ever set).
    virtual bool GetDescription(::Data::Interfaces::IString** description, ::Core::IErrorCode** error) = 0;
    // Sets a generic object's type text. The workspace refuses ("Cannot change object type of the
    // workspace!"); data sources and datasets have no type column and fail.
    virtual bool SetObjectType(const char* type, ::Core::IErrorCode** error) = 0;
    // Hands out the type text: "Workspace", "DataSource", "Dataset" or a generic object's own type.
    virtual bool GetObjectType(::Data::Interfaces::IString** type, ::Core::IErrorCode** error) = 0;
    // Hands out when the row was created, as a new date-time.
    virtual bool GetInserted(::Data::Interfaces::IDateTime** inserted, ::Core::IErrorCode** error) = 0;
    // Hands out when the row was last written, as a new date-time.
    virtual bool GetUpdated(::Data::Interfaces::IDateTime** updated, ::Core::IErrorCode** error) = 0;
    // Sets the read-only flag (auto-save applies). The workspace refuses ("Workspace Database cannot be
    // set as read only!").
    virtual bool SetReadOnly(bool readOnly, ::Core::IErrorCode** error) = 0;
    // The read-only flag; false for the workspace and when the row cannot be read.
    virtual bool IsReadOnly() = 0;
    // Workspace: commits every pending change in one SQLite transaction, ending an open transaction.
    // Object: writes the object's own pending change at once; fails while a transaction is open.
    virtual bool Save(::Core::IErrorCode** error) = 0;
    // Workspace: rolls back an open transaction and reloads every table, dropping all unsaved changes.
    // Object: drops the object's pending creation, removal or change and rereads its row.
    virtual bool Discard(::Core::IErrorCode** error) = 0;
    // Replaces the object's property set by a copy of properties (auto-save applies).
    virtual bool SetProperties(::Data::Interfaces::IProperties* properties, ::Core::IErrorCode** error) = 0;
    // Hands out the object's property set (empty when it has none).
    virtual bool GetProperties(::Data::Interfaces::IProperties** properties, ::Core::IErrorCode** error) = 0;
    // Hands out the folder that holds the workspace file (empty for a memory workspace).
    virtual bool GetFolderPath(::Data::Interfaces::IString** path, ::Core::IErrorCode** error) = 0;
    // Hands out a 32-byte SHA-256 content digest: of the UUID for the workspace and generic objects, of
    // the property values for data sources, of the data source's values and the internal name for
    // datasets. Fails when a data source has no value that can be hashed.
    virtual bool CalculateHash(::Data::Interfaces::IArray** hash, ::Core::IErrorCode** error) = 0;
};

// A data source: where the data of its datasets comes from.
struct IWorkspaceDataSource : IWorkspaceObject {
    // The type; Unknown when the row cannot be read or holds no known name.
    virtual DataSourceType GetType() = 0;
    // Sets the type (auto-save applies); a value outside the enumeration is stored as an empty text.
    virtual bool SetType(DataSourceType type, ::Core::IErrorCode** error) = 0;
    // Whether the data source's data may be cached; false when the row cannot be read.
    virtual bool GetEnableCache() = 0;
    // Sets the cache flag (auto-save applies).
    virtual bool SetEnableCache(bool enabled, ::Core::IErrorCode** error) = 0;
    // Stores the type identifier in *identifier; the nil UUID when none is set.
    virtual bool GetTypeIdentifier(::Data::Structures::_UUID* identifier, ::Core::IErrorCode** error) = 0;
    // Sets the type identifier (auto-save applies); null clears it.
    virtual bool SetTypeIdentifier(const ::Data::Structures::_UUID* identifier, ::Core::IErrorCode** error) = 0;
};

// A dataset: one layer or table of a data source.
struct IWorkspaceDataset : IWorkspaceObject {
    // Sets the label (auto-save applies). Fails when label is null.
    virtual bool SetLabel(const char* label, ::Core::IErrorCode** error) = 0;
    // Hands out the label as a new string.
    virtual bool GetLabel(::Data::Interfaces::IString** label, ::Core::IErrorCode** error) = 0;
    // Sets the group (auto-save applies). Fails when group is null.
    virtual bool SetGroup(const char* group, ::Core::IErrorCode** error) = 0;
    // Hands out the group as a new string.
    virtual bool GetGroup(::Data::Interfaces::IString** group, ::Core::IErrorCode** error) = 0;
    // Sets the internal name, the data source's own name for the dataset (auto-save applies).
    virtual bool SetInternalName(const char* name, ::Core::IErrorCode** error) = 0;
    // Hands out the internal name as a new string.
    virtual bool GetInternalName(::Data::Interfaces::IString** name, ::Core::IErrorCode** error) = 0;
    // The dataset type; Unknown when the row cannot be read or holds no known name.
    virtual DatasetType GetDatasetType() = 0;
    // The temporal type; Unknown as for GetDatasetType.
    virtual TemporalType GetTemporalType() = 0;
    // The spatial type; Unknown as for GetDatasetType.
    virtual SpatialType GetSpatialType() = 0;
    // Sets the dataset type (auto-save applies); a value outside the enumeration is stored as an empty text.
    virtual bool SetDatasetType(DatasetType type, ::Core::IErrorCode** error) = 0;
    // Sets the temporal type, as SetDatasetType.
    virtual bool SetTemporalType(TemporalType type, ::Core::IErrorCode** error) = 0;
    // Sets the spatial type, as SetDatasetType.
    virtual bool SetSpatialType(SpatialType type, ::Core::IErrorCode** error) = 0;
    // Hands out the data source the dataset belongs to; stores null when it is no longer in the workspace.
    virtual bool GetDataSource(IWorkspaceDataSource** dataSource, ::Core::IErrorCode** error) = 0;
};

}  // namespace Vesk::Interfaces
