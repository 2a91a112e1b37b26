#pragma once
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Data/IArray.h"
#include "Vesk/Data/IDateTime.h"
#include "Vesk/Data/IProperties.h"
#include "Vesk/Data/IString.h"
#include "Vesk/Data/Structures.h"

namespace Vesk::Interfaces {

// What the workspace and every object in it have in common.
struct IWorkspaceObject : ::Core::IObject {
    virtual bool GetUuid(::Data::Structures::_UUID* uuid, ::Core::IErrorCode** error) = 0;
    virtual bool GetParentUuid(::Data::Structures::_UUID* uuid, ::Core::IErrorCode** error) = 0;
    virtual bool SetName(const char* name, ::Core::IErrorCode** error) = 0;
    virtual bool GetName(::Data::Interfaces::IString** name, ::Core::IErrorCode** error) = 0;
    virtual bool SetDescription(const char* description, ::Core::IErrorCode** error) = 0;
    virtual bool GetDescription(::Data::Interfaces::IString** description, ::Core::IErrorCode** error) = 0;
    virtual bool SetObjectType(const char* type, ::Core::IErrorCode** error) = 0;
    virtual bool GetObjectType(::Data::Interfaces::IString** type, ::Core::IErrorCode** error) = 0;
    virtual bool GetInserted(::Data::Interfaces::IDateTime** inserted, ::Core::IErrorCode** error) = 0;
    virtual bool GetUpdated(::Data::Interfaces::IDateTime** updated, ::Core::IErrorCode** error) = 0;
    virtual bool SetReadOnly(bool readOnly, ::Core::IErrorCode** error) = 0;
    virtual bool IsReadOnly() = 0;
    virtual bool Save(::Core::IErrorCode** error) = 0;
    virtual bool Discard(::Core::IErrorCode** error) = 0;
    virtual bool SetProperties(::Data::Interfaces::IProperties* properties, ::Core::IErrorCode** error) = 0;
    virtual bool GetProperties(::Data::Interfaces::IProperties** properties, ::Core::IErrorCode** error) = 0;
    virtual bool GetFolderPath(::Data::Interfaces::IString** path, ::Core::IErrorCode** error) = 0;
    virtual bool CalculateHash(::Data::Interfaces::IArray** hash, ::Core::IErrorCode** error) = 0;
};

// A data source: where the data of its datasets comes from.
struct IWorkspaceDataSource : IWorkspaceObject {};

// A dataset: one layer or table of a data source.
struct IWorkspaceDataset : IWorkspaceObject {};

}  // namespace Vesk::Interfaces
