#pragma once
// The exported functions of the workspace library (Vesk.Workspace). Each returns true on success;
// on failure it returns false, hands out nothing and, when error is not null, stores a new error
// object there (error must then point to null). Handed-out objects carry one reference that the
// caller releases.
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Data/IObjectList.h"
#include "Vesk/Data/IProperties.h"
#include "Vesk/Data/IString.h"
#include "Vesk/Data/Structures.h"
#include "Vesk/Export.h"
#include "Vesk/Services/IWorkspaceRootServices.h"
#include "Vesk/Services/IWorkspaceServices.h"
#include "Vesk/Workspace/IWorkspaceManager.h"

// Opens (creating when missing) the workspace database at path, a file path or an SQLite URI.
// A new database stores uuid in its record; an existing one keeps its own. mode is a WorkspaceOpenMode.
VESK_WORKSPACE_API bool VeskWorkspace_CreateOnFilesystem(const Data::Structures::_UUID* uuid, const char* path,
                                                         int mode, Vesk::Interfaces::IWorkspaceManager** workspace,
                                                         Core::IErrorCode** error);

// Opens the in-memory workspace named by uuid; two opens of one UUID in a process share a database.
VESK_WORKSPACE_API bool VeskWorkspace_CreateInMemory(const Data::Structures::_UUID* uuid,
                                                     Vesk::Interfaces::IWorkspaceManager** workspace,
                                                     Core::IErrorCode** error);

// Opens a read-only workspace on a memory image. The bytes must stay alive and unchanged while the
// workspace lives. A size of 0 opens a new, empty memory workspace instead.
VESK_WORKSPACE_API bool VeskWorkspace_LoadFromMemory(const void* data, uint64_t size,
                                                     Vesk::Interfaces::IWorkspaceManager** workspace,
                                                     Core::IErrorCode** error);

// As VeskWorkspace_LoadFromMemory with an open mode. A writable mode works on a private copy of the
// image, which may grow; the caller's bytes are not needed after the call.
VESK_WORKSPACE_API bool VeskWorkspace_LoadFromMemory1(const void* data, uint64_t size, int mode,
                                                      Vesk::Interfaces::IWorkspaceManager** workspace,
                                                      Core::IErrorCode** error);

// Replaces the workspace's secret by the one derived from its UUID alone.
VESK_WORKSPACE_API bool VeskWorkspace_GenerateDefaultSecret(Vesk::Interfaces::IWorkspaceManager* workspace,
                                                            Core::IErrorCode** error);

// A handle on the workspace server at url (its listing URL, such as "https://host/ws"), caching
// workspaces under localFolder. apiKey (may be null) is sent as "x-api-key" with every request. Nothing
// is sent until a task is asked for.
VESK_WORKSPACE_API bool VeskWorkspace_OpenWorkspaceRootServices(const char* url, const char* localFolder,
                                                                Data::Interfaces::ISecureString* apiKey,
                                                                Vesk::Interfaces::IWorkspaceRootServices** root,
                                                                Core::IErrorCode** error);

// The remote workspace at url (its own URL, "{server URL}/{uuid}") with its cache in localFolder. Asks
// the server for the workspace's UUID, name and description before it returns.
VESK_WORKSPACE_API bool VeskWorkspace_OpenWorkspaceServices(const char* url, const char* localFolder,
                                                            Data::Interfaces::ISecureString* apiKey,
                                                            Vesk::Interfaces::IWorkspaceServices** services,
                                                            Core::IErrorCode** error);

// Accepted for compatibility and ignored: the library logs through the host module's logger or its own.
VESK_WORKSPACE_API bool VeskWorkspace_SetLogger(Core::IObject* logger);

// The per-user registry of workspace servers ("remotes"). A remote is a property set with the String
// properties "Alias" (unique) and "Url" and, optionally, "ApiKey" holding a Data::Interfaces::ISecureString.
// Addresses live in "Remotes.db" in the per-user data folder, keys in the system's credential store under
// "VESKWSROOT:<alias>:<url>"; keys never go to the database.

// Adds the remote, or replaces the URL of the remote with its alias, then stores its "ApiKey" when that
// holds a key. Fails when the credential store cannot take the key; the registry row stays then.
VESK_WORKSPACE_API bool VeskWorkspace_AddWorkspaceRemote(Data::Interfaces::IProperties* remote,
                                                         Core::IErrorCode** error);

// Hands out a new list with one new property set per remote ("Alias" and "Url" set, "ApiKey" registered
// but unset; keys are not read).
VESK_WORKSPACE_API bool VeskWorkspace_GetWorkspaceRemotes(Data::Interfaces::IObjectList** remotes,
                                                          Core::IErrorCode** error);

// Removes the remote of this alias and the stored key of its alias and URL, when there is one.
VESK_WORKSPACE_API bool VeskWorkspace_RemoveWorkspaceRemote(Data::Interfaces::IProperties* remote,
                                                            Core::IErrorCode** error);

// Removes every remote and its stored key; a key that cannot be deleted stops the call with every remote kept.
VESK_WORKSPACE_API bool VeskWorkspace_ClearWorkspaceRemotes(Core::IErrorCode** error);

// Sets the remote's "ApiKey" to a new secure string holding its stored key; leaves the remote as it was
// (and succeeds) when no key is stored for its alias and URL.
VESK_WORKSPACE_API bool VeskWorkspace_ReadRemoteSecret(Data::Interfaces::IProperties* remote, Core::IErrorCode** error);
