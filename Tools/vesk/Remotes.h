#pragma once
// The per-user list of workspace servers ("remotes") through the library's registry exports.
#include <optional>
#include <string>
#include <vector>

#include "Handle.h"
#include "Vesk/Data/IString.h"

namespace VeskTool {

struct RemoteEntry {
    std::string alias;
    std::string url;
};

// Adds the remote or replaces the URL of the one with this alias; stores apiKey when given. Throws
// LibraryError with the library's message (the row stays when only the key could not be stored).
void AddRemote(const std::string& alias, const std::string& url, const std::optional<std::string>& apiKey);

// The remotes in the order the registry returns them.
std::vector<RemoteEntry> ListRemotes();

// Removes the remote of this alias with its stored key; false when there is none.
bool RemoveRemote(const std::string& alias);

// Removes every remote with its stored key.
void ClearRemotes();

// A remote with its API key read from the credential store.
struct RemoteWithKey {
    std::string url;
    Handle<Data::Interfaces::ISecureString> key;  // empty when none is stored
};

// The remote of this alias with its key; throws LibraryError when there is none.
RemoteWithKey FindRemote(const std::string& alias);

}  // namespace VeskTool
