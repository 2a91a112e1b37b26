#include "Vesk/Services/WorkspaceRootServicesImpl.h"

#include <fmt/format.h>

#include <stdexcept>

#include "Core/Guard.h"
#include "Core/StringFormat.h"
#include "Core/Variant.h"
#include "Platform/HttpClient.h"
#include "Platform/Url.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Services/ServiceRequests.h"
#include "Vesk/Services/WorkspaceServicesImpl.h"

namespace Vesk::Workspace::Services::impl {

namespace {

void StatusAsInt32(Platform::Interfaces::IHttpRequest*, Platform::Interfaces::IHttpResponse* response,
                   Data::Structures::_VARIANT* result, Core::IErrorCode** error) {
    Core::AbiGuard(error, [&] {
        const Data::Variant status = Data::Variant::FromInt32(static_cast<int32_t>(response->GetStatusCode()));
        Data::Structures::VariantCopy(result, &status.Raw());
    });
}

void ListWorkspaces(Platform::Interfaces::IHttpRequest* request, Platform::Interfaces::IHttpResponse* response,
                    const Data::Structures::_VARIANT* root, Data::Structures::_VARIANT* result,
                    Core::IErrorCode** error) {
    Core::AbiGuard(error, [&] {
        Data::Variant body;
        Core::ErrorCode bodyError;
        BodyAsText(request, response, body.Receive(), bodyError.Receive());
        if (bodyError) {
            throw std::runtime_error(std::string(bodyError.Message()));
        }
        auto* owner =
            dynamic_cast<WorkspaceRootServicesImpl*>(Data::Variant(*root).AsObject<Core::IObject>().GetUnchecked());
        if (owner == nullptr) {
            throw std::runtime_error("The listing lost its root services object");
        }
        const Data::Variant list =
            Data::Variant::FromObject(owner->WorkspacesOf(body.Text()), Data::Structures::VT_ObjectList);
        Data::Structures::VariantCopy(result, &list.Raw());
    });
}

}  // namespace

std::string HealthCheckPath(const std::string& listingPath) {
    std::string path;
    size_t from = 0;
    for (size_t found = listingPath.find("/ws"); found != std::string::npos; found = listingPath.find("/ws", from)) {
        path.append(listingPath, from, found - from);
        path += "/healthcheck";
        from = found + 3;
    }
    path.append(listingPath, from, std::string::npos);
    return path;
}

std::string ServerBaseAddress(Platform::Interfaces::IUrl& url) {
    const std::string scheme = url.GetScheme();
    std::string host;
    if (scheme != "file") {
        host = url.IsDefaultPort() ? std::string(url.GetHost())
                                   : Core::StringFormat("%s:%d", url.GetHost(), static_cast<int>(url.GetPort()));
    }
    return Core::StringFormat("%s://%s", scheme.c_str(), host.c_str());
}

Core::Ptr<Data::Interfaces::ISecureString> ApiKeyFrom(Core::IObject* key) {
    if (key == nullptr) {
        return {};
    }
    Core::Ptr<Data::Interfaces::ISecureString> secure =
        Core::Ptr<Core::IObject>(key).Cast<Data::Interfaces::ISecureString>();
    if (!secure) {
        throw std::runtime_error("The API key must be a secure string");
    }
    return secure;
}

WorkspaceRootServicesImpl::WorkspaceRootServicesImpl(const std::string& url, const std::string& localFolder,
                                                     Core::Ptr<Data::Interfaces::ISecureString> apiKey)
    : localFolder_(localFolder),
      urlText_(url),
      url_(Platform::Network::ParseUrl(url)),
      httpClient_(Platform::Network::Http::OpenHttpClient(ServerBaseAddress(*url_), "HttpClient/1.0")),
      apiKey_(std::move(apiKey)) {}

bool WorkspaceRootServicesImpl::SetApiKey(Core::IObject* key, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { apiKey_ = ApiKeyFrom(key); });
}

bool WorkspaceRootServicesImpl::CheckHealth(Platform::Interfaces::IAsyncTask** task, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(task);
        Core::Ptr<Platform::Interfaces::IHttpRequest> request =
            CreateGetRequest(*httpClient_, HealthCheckPath(url_->GetPath()), "", apiKey_.GetUnchecked());
        Core::ThrowIfFailed([&](Core::IErrorCode** e) {
            return Platform_ReceiveSuccessfulHttpResponse(request.GetUnchecked(), &StatusAsInt32, task, e);
        });
    });
}

bool WorkspaceRootServicesImpl::GetWorkspaces(Platform::Interfaces::IAsyncTask** task, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(task);
        Core::Ptr<Platform::Interfaces::IHttpRequest> request =
            CreateGetRequest(*httpClient_, url_->GetPath(), "application/json", apiKey_.GetUnchecked());
        const Data::Variant self = Data::Variant::FromObject(this, Data::Structures::VT_IObject);
        Core::ThrowIfFailed([&](Core::IErrorCode** e) {
            return Platform_ReceiveSuccessfulHttpResponse2(request.GetUnchecked(), &ListWorkspaces, &self.Raw(), task,
                                                           e);
        });
    });
}

Core::Ptr<Data::Interfaces::IObjectList> WorkspaceRootServicesImpl::WorkspacesOf(const std::string& json) {
    const std::vector<WorkspaceDescription> workspaces = ParseWorkspaceListJson(json);
    Core::Ptr<Data::Interfaces::IObjectList> list;
    if (!Data_CreateObjectList(list.Receive()) || !list) {
        throw std::runtime_error("Could not create object list");
    }
    for (const WorkspaceDescription& workspace : workspaces) {
        const std::string uuid = Data::UuidToText(workspace.uuid);
        auto services =
            Core::MakeObject<WorkspaceServicesImpl>(httpClient_, fmt::format("{}/{}", urlText_, uuid),
                                                    fmt::format("{}/{}", localFolder_, uuid), apiKey_, workspace);
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return list->Append(services.GetUnchecked(), e); });
    }
    return list;
}

}  // namespace Vesk::Workspace::Services::impl
