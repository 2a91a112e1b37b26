#pragma once
// The per-user registry of workspace servers ("remotes"): alias and URL of each in "Remotes.db" in the
// per-user data folder, the API key of each in the system's credential store under the target
// "VESKWSROOT:<alias>:<url>". Every call opens its own connection and closes it before returning, so the
// functions are safe to call from any thread; concurrent writers are serialised by SQLite.
#include <string>

#include "Core/Ptr.h"
#include "Private/Data/DataObjectNames.h"
#include "Vesk/Data/IObjectList.h"
#include "Vesk/Data/IProperties.h"

namespace Vesk::Workspace::Services {

// Names of a remote's properties.
inline constexpr const char* kAliasProperty = "Alias";
inline constexpr const char* kUrlProperty = "Url";
inline constexpr const char* kApiKeyProperty = "ApiKey";
inline constexpr const char* kApiKeyDescription = "API Key with access right";

// The full path of "Remotes.db"; creates the per-user data folder when missing. Throws the file
// system's error when the folder cannot be made.
std::string RemoteRegistryPath();

// "VESKWSROOT:<alias>:<url>" from the remote's "Alias" and "Url"; throws when either is not registered.
std::string CredentialTarget(Data::Interfaces::IProperties* remote);

// Inserts the remote's row or replaces the URL of the row with its alias, then, when "ApiKey" holds a
// secure string, writes the credential of the new target. The row stays when the credential write
// fails. Throws SQLite's, the credential store's or the cast's error.
void AddWorkspaceRemote(Data::Interfaces::IProperties* remote);

// One new property set per row ("Alias", "Url" set; "ApiKey" registered and unset), in the order SQLite
// returns them, in a new list owned by the caller. Keys are not read.
Core::Ptr<Data::Interfaces::IObjectList> GetWorkspaceRemotes();

// Deletes the row of the remote's alias, then the credential of its target when one exists.
void RemoveWorkspaceRemote(Data::Interfaces::IProperties* remote);

// Deletes every remote's credential, then every row. A failed credential deletion stops the call with
// all rows still in place.
void ClearWorkspaceRemotes();

// Sets the remote's "ApiKey" to a new secure string holding the stored key (registering the property
// when the set lacks it); leaves the remote unchanged when no credential of its target exists.
void ReadRemoteSecret(Data::Interfaces::IProperties* remote);

}  // namespace Vesk::Workspace::Services
