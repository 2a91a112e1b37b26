#pragma once
#include <string>

#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Platform/IHttp.h"
#include "Vesk/Services/IWorkspaceRootServices.h"
#include "Vesk/Services/IWorkspaceServices.h"

namespace Vesk::Workspace::Services::impl {

// The library's handle on one workspace server (see IWorkspaceRootServices). Owner thread only: it
// takes no lock. Its tasks end on the thread that waits for them and only read its fields there.
class WorkspaceRootServicesImpl final : public Core::ObjectT<Interfaces::IWorkspaceRootServices> {
public:
    // Parses url and opens the HTTP client for its scheme, host and port; throws "Session creation
    // failed", "Cannot connect to the specified server" or the URL's parse error.
    WorkspaceRootServicesImpl(const std::string& url, const std::string& localFolder,
                              Core::Ptr<Data::Interfaces::ISecureString> apiKey);

    bool SetApiKey(Core::IObject* key, Core::IErrorCode** error) override;
    bool CheckHealth(Platform::Interfaces::IAsyncTask** task, Core::IErrorCode** error) override;
    bool GetWorkspaces(Platform::Interfaces::IAsyncTask** task, Core::IErrorCode** error) override;

    // The workspaces of a listing body, sharing this object's client and key; throws as the listing fails.
    Core::Ptr<Data::Interfaces::IObjectList> WorkspacesOf(const std::string& json);

private:
    ~WorkspaceRootServicesImpl() override = default;

    std::string localFolder_;
    std::string urlText_;
    Core::Ptr<Platform::Interfaces::IUrl> url_;
    Core::Ptr<Platform::Interfaces::IHttpClient> httpClient_;
    Core::Ptr<Data::Interfaces::ISecureString> apiKey_;
};

// The path of a server's health check: every "/ws" of the listing path, left to right, becomes
// "/healthcheck".
std::string HealthCheckPath(const std::string& listingPath);

// The address that requests of the server at url go to: "scheme://host", with ":port" when the port is
// not the scheme's own, and no host for "file".
std::string ServerBaseAddress(Platform::Interfaces::IUrl& url);

// An ISecureString from a key object that may be null; throws for an object of another kind.
Core::Ptr<Data::Interfaces::ISecureString> ApiKeyFrom(Core::IObject* key);

}  // namespace Vesk::Workspace::Services::impl
