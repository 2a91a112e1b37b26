#pragma once
#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Platform/IAsyncTask.h"

namespace Vesk::Interfaces {

// The library's handle on one workspace server: whether it answers, and the workspaces it holds. The
// tasks it hands out end on the calling thread, during its pumping waits (WaitPumping). Owner thread
// only; the tasks and the objects they hand out may be used from other threads.
struct IWorkspaceRootServices : Core::IObject {
    // Replaces the API key (an ISecureString, or null for none); objects handed out before keep theirs.
    virtual bool SetApiKey(Core::IObject* key, Core::IErrorCode** error) = 0;
    // A task (owned by the caller) whose result is the health check's HTTP status as an Int32; a status
    // of 400 or more fails it.
    virtual bool CheckHealth(Platform::Interfaces::IAsyncTask** task, Core::IErrorCode** error) = 0;
    // A task (owned by the caller) whose result is an object list of IWorkspaceServices, one per
    // workspace on the server, in the server's order.
    virtual bool GetWorkspaces(Platform::Interfaces::IAsyncTask** task, Core::IErrorCode** error) = 0;
};

}  // namespace Vesk::Interfaces
