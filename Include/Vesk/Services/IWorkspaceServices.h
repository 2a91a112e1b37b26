#pragma once
#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Data/Structures.h"
#include "Vesk/Platform/IUrl.h"
#include "Vesk/Services/IDirectDatabaseAccessServices.h"
#include "Vesk/Services/IStorageServices.h"
#include "Vesk/Workspace/IWorkspaceManager.h"

namespace Vesk::Interfaces {

// One remote workspace and its local cache: a copy of the remote .veskdb file in the cache folder's
// "Files" folder, and in "Changes.db" the SHA-256 that file had at the last synchronisation. Reload,
// Store and Discard refuse any step that would overwrite a change made on the other side. Owner thread
// only: calls on one object must not overlap (separate objects, also of one cache, may be used from
// separate threads and processes).
struct IWorkspaceServices : Core::IObject {
    // Replaces the API key (an ISecureString, or null for none); a storage client made before keeps its key.
    virtual bool SetApiKey(Core::IObject* key, Core::IErrorCode** error) = 0;
    // Whether the cached file differs from what was last synchronised; false for an empty cache.
    virtual bool IsLocalModified(Core::IErrorCode** error) = 0;
    // Whether the remote file differs from what was last synchronised; true before the first Reload.
    virtual bool IsRemoteModified(Core::IErrorCode** error) = 0;
    // Downloads the remote file into the cache unless the cache already has it; refuses when the cached
    // file has changes of its own.
    virtual bool Reload(Core::IErrorCode** error) = 0;
    // Uploads the cached file; refuses when it has no changes or the remote file changed since the last
    // synchronisation.
    virtual bool Store(Core::IErrorCode** error) = 0;
    // Throws the cached file and its synchronisation record away.
    virtual bool Discard(Core::IErrorCode** error) = 0;
    // Copies the workspace's UUID to uuid.
    virtual bool GetUuid(Data::Structures::_UUID* uuid, Core::IErrorCode** error) = 0;
    // The workspace's name and description, owned by the object.
    virtual const char* GetName() = 0;
    virtual const char* GetDescription() = 0;
    // The workspace's URL, without a new reference.
    virtual Platform::Interfaces::IUrl* GetUrl() = 0;
    // Opens the cached file as a writable workspace without auto-save, reloading it first when the
    // cache is empty. The caller owns the workspace.
    virtual bool OpenWorkspace(IWorkspaceManager** workspace, Core::IErrorCode** error) = 0;
    // A new client of the workspace's storage service, owned by the caller.
    virtual bool CreateStorageServices(IStorageServices** storage, Core::IErrorCode** error) = 0;
    // Hold their places in the operation order; always fail with "Function not implemented".
    virtual bool Reserved1(Core::IObject* argument, Core::IErrorCode** error) = 0;
    virtual bool Reserved2(Core::IObject* argument, Core::IErrorCode** error) = 0;
    // A new client of the workspace's direct-database-access service, owned by the caller.
    virtual bool CreateDirectDatabaseAccess(IDirectDatabaseAccessServices** client, Core::IErrorCode** error) = 0;
};

}  // namespace Vesk::Interfaces
