#pragma once
// The commands that reach workspace servers: a registered server's health and workspaces, and the
// synchronisation of one remote workspace with its local cache.
#include <iosfwd>
#include <string>

namespace VeskTool {

// "vesk remote health ALIAS": prints the server's answer to its health check; exit 0 when it answers.
int RemoteHealth(const std::string& alias, bool json, std::ostream& out);

// "vesk remote workspaces ALIAS": one line per workspace on the server (UUID, name, description).
int RemoteWorkspaces(const std::string& alias, bool json, std::ostream& out);

// "vesk sync ACTION ALIAS UUID": status, reload, store or discard of the workspace UUID on the server
// ALIAS, cached under cacheRoot/UUID (cacheRoot empty: the default cache folder of ALIAS).
int SyncWorkspace(const std::string& action, const std::string& alias, const std::string& uuid,
                  const std::string& cacheRoot, bool json, std::ostream& out);

// The cache folder of a server's workspaces when none is given: $XDG_CACHE_HOME/vesk/ALIAS, else
// $HOME/.cache/vesk/ALIAS, else %LOCALAPPDATA%/vesk/ALIAS.
std::string DefaultCacheRoot(const std::string& alias);

}  // namespace VeskTool
