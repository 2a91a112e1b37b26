#pragma once
#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Data/IString.h"

namespace Vesk::Interfaces {

// The client of a workspace's direct-database-access service: a handle that carries the service's URL
// and API key to the host component that talks to the service. The workspace library creates it and
// hands it on; it sends nothing by itself except when asked whether the service answers. Safe for
// concurrent use.
struct IDirectDatabaseAccessServices : Core::IObject {
    // Later requests carry key in the "x-api-key" header; null sends none. The client keeps a reference.
    virtual bool SetApiKey(Data::Interfaces::ISecureString* key, Core::IErrorCode** error) = 0;
    // The service's URL, owned by the client.
    virtual const char* GetUrl() = 0;
    // Asks the service (GET on its URL) whether it answers: true for a success status or 405, false for
    // 404 or 501; fails for a transport error or another status.
    virtual bool IsAvailable(bool* available, Core::IErrorCode** error) = 0;
};

}  // namespace Vesk::Interfaces
