// The exported functions that open workspace servers and remote workspaces.
#include "Core/Guard.h"
#include "Vesk/Services/WorkspaceRootServicesImpl.h"
#include "Vesk/Services/WorkspaceServicesImpl.h"
#include "Vesk/Workspace.h"

VESK_WORKSPACE_API bool VeskWorkspace_OpenWorkspaceRootServices(const char* url, const char* localFolder,
                                                                Data::Interfaces::ISecureString* apiKey,
                                                                Vesk::Interfaces::IWorkspaceRootServices** root,
                                                                Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(url);
        Core::CheckNotNull(localFolder);
        Core::CheckOut(root);
        Core::HandOut(Core::MakeObject<Vesk::Workspace::Services::impl::WorkspaceRootServicesImpl>(
                          url, localFolder, Core::Ptr<Data::Interfaces::ISecureString>(apiKey)),
                      root);
    });
}

VESK_WORKSPACE_API bool VeskWorkspace_OpenWorkspaceServices(const char* url, const char* localFolder,
                                                            Data::Interfaces::ISecureString* apiKey,
                                                            Vesk::Interfaces::IWorkspaceServices** services,
                                                            Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(url);
        Core::CheckNotNull(localFolder);
        Core::CheckOut(services);
        Core::HandOut(Vesk::Workspace::Services::impl::WorkspaceServicesImpl::Open(
                          url, localFolder, Core::Ptr<Data::Interfaces::ISecureString>(apiKey)),
                      services);
    });
}
