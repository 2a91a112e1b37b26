// The exported functions of the per-user remote registry: argument checks, then the registry's work,
// all inside the boundary guard.
#include "Core/Guard.h"
#include "Vesk/Services/RemoteRegistry.h"
#include "Vesk/Workspace.h"

namespace Registry = Vesk::Workspace::Services;

VESK_WORKSPACE_API bool VeskWorkspace_AddWorkspaceRemote(Data::Interfaces::IProperties* remote,
                                                         Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(remote);
        Registry::AddWorkspaceRemote(remote);
    });
}

VESK_WORKSPACE_API bool VeskWorkspace_GetWorkspaceRemotes(Data::Interfaces::IObjectList** remotes,
                                                          Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(remotes);
        Core::HandOut(Registry::GetWorkspaceRemotes(), remotes);
    });
}

VESK_WORKSPACE_API bool VeskWorkspace_RemoveWorkspaceRemote(Data::Interfaces::IProperties* remote,
                                                            Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(remote);
        Registry::RemoveWorkspaceRemote(remote);
    });
}

VESK_WORKSPACE_API bool VeskWorkspace_ClearWorkspaceRemotes(Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { Registry::ClearWorkspaceRemotes(); });
}

VESK_WORKSPACE_API bool VeskWorkspace_ReadRemoteSecret(Data::Interfaces::IProperties* remote,
                                                       Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(remote);
        Registry::ReadRemoteSecret(remote);
    });
}
