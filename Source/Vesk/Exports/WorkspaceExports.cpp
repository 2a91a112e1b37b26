// The workspace library's exported functions. Each is a thin shell: argument checks in the order a
// host relies on, then the work, all inside the boundary guard.
#include "Core/DataObjects.h"
#include "Core/Guard.h"
#include "Core/Variant.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace.h"
#include "Vesk/Workspace/DefaultSecret.h"
#include "Vesk/Workspace/WorkspaceManagerImpl.h"

namespace {

using Vesk::Interfaces::IWorkspaceManager;
using Vesk::Workspace::impl::WorkspaceManagerImpl;

std::string SharedMemoryPath(const Data::Uuid& uuid) {
    return "file:" + Data::UuidToText(uuid) + "?mode=memory&cache=shared";
}

bool LoadFromMemory(const void* data, uint64_t size, int mode, IWorkspaceManager** workspace,
                    Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(data);
        Core::CheckOut(workspace);
        Data::Uuid uuid{};
        if (!Data_NewUuid(&uuid)) {
            throw std::runtime_error("Failed to create a UUID");
        }
        Core::HandOut(Core::MakeObject<WorkspaceManagerImpl>(uuid, SharedMemoryPath(uuid), mode, data, size),
                      workspace);
    });
}

}  // namespace

VESK_WORKSPACE_API bool VeskWorkspace_CreateOnFilesystem(const Data::Structures::_UUID* uuid, const char* path,
                                                         int mode, IWorkspaceManager** workspace,
                                                         Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(path);
        Core::CheckOut(workspace);
        Core::CheckNotNull(uuid);
        Core::HandOut(Core::MakeObject<WorkspaceManagerImpl>(*uuid, path, mode, nullptr, 0), workspace);
    });
}

VESK_WORKSPACE_API bool VeskWorkspace_CreateInMemory(const Data::Structures::_UUID* uuid, IWorkspaceManager** workspace,
                                                     Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(uuid);
        Core::CheckOut(workspace);
        Core::HandOut(Core::MakeObject<WorkspaceManagerImpl>(*uuid, SharedMemoryPath(*uuid),
                                                             Vesk::Interfaces::ReadWrite, nullptr, 0),
                      workspace);
    });
}

VESK_WORKSPACE_API bool VeskWorkspace_LoadFromMemory(const void* data, uint64_t size, IWorkspaceManager** workspace,
                                                     Core::IErrorCode** error) {
    return LoadFromMemory(data, size, Vesk::Interfaces::ReadOnly, workspace, error);
}

VESK_WORKSPACE_API bool VeskWorkspace_LoadFromMemory1(const void* data, uint64_t size, int mode,
                                                      IWorkspaceManager** workspace, Core::IErrorCode** error) {
    return LoadFromMemory(data, size, mode, workspace, error);
}

VESK_WORKSPACE_API bool VeskWorkspace_GenerateDefaultSecret(IWorkspaceManager* workspace, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(workspace);
        Vesk::Workspace::GenerateDefaultSecret(workspace);
    });
}

VESK_WORKSPACE_API bool VeskWorkspace_SetLogger(Core::IObject*) {
    return true;
}
