#pragma once
#include <string>

#include "Core/Object.h"
#include "ServiceConnection.h"
#include "Vesk/Services/IDirectDatabaseAccessServices.h"

namespace Vesk::CoreServices::impl {

// The handle on a workspace's direct-database-access service: its URL and API key, and the one question
// whether the service answers. The platform's HTTP client has no OPTIONS verb (it would go out as GET),
// so IsAvailable asks with GET on the service URL. Safe for concurrent use: the connection guards its
// key, and each call has its own request.
class DirectDatabaseAccessClient final : public ::Core::ObjectT<Interfaces::IDirectDatabaseAccessServices> {
public:
    // The client of the service at url; throws as ServiceConnection does. Nothing is sent.
    explicit DirectDatabaseAccessClient(std::string url);

    // Keeps a reference to key (null: no key); its text is read at each later request.
    bool SetApiKey(Data::Interfaces::ISecureString* key, ::Core::IErrorCode** error) override;
    // The URL as given, owned by the client.
    const char* GetUrl() override;
    // GET on the service URL: true for a success status and for 405 (the service is there but takes
    // other methods), false for 404 and 501; fails for a transport error or any other status (a 401
    // for a missing or wrong key, say), with the server's reason in the message.
    bool IsAvailable(bool* available, ::Core::IErrorCode** error) override;

private:
    ~DirectDatabaseAccessClient() override = default;

    ServiceConnection connection_;
};

}  // namespace Vesk::CoreServices::impl
