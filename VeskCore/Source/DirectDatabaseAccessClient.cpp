#include "DirectDatabaseAccessClient.h"

#include "Core/Guard.h"

namespace Vesk::CoreServices::impl {

DirectDatabaseAccessClient::DirectDatabaseAccessClient(std::string url) : connection_(std::move(url)) {}

bool DirectDatabaseAccessClient::SetApiKey(Data::Interfaces::ISecureString* key, ::Core::IErrorCode** error) {
    return ::Core::AbiGuard(error, [&] { connection_.SetApiKey(::Core::Ptr<Data::Interfaces::ISecureString>(key)); });
}

const char* DirectDatabaseAccessClient::GetUrl() {
    return connection_.Url().c_str();
}

bool DirectDatabaseAccessClient::IsAvailable(bool* available, ::Core::IErrorCode** error) {
    return ::Core::AbiGuard(error, [&] {
        ::Core::CheckNotNull(available);
        const std::string what = "GET '" + connection_.Url() + "'";
        const std::string path = connection_.BasePath().empty() ? "/" : connection_.BasePath();
        ::Core::Ptr<Platform::Interfaces::IHttpResponse> answer =
            connection_.Send(Platform::Interfaces::HttpGet, path, {}, nullptr, 0, what);
        const uint32_t status = answer->GetStatusCode();
        if (status == 404 || status == 501) {
            *available = false;
        } else if ((status >= 200 && status < 300) || status == 405) {
            *available = true;
        } else {
            throw std::runtime_error(StatusFailure(what, answer.GetUnchecked()));
        }
    });
}

}  // namespace Vesk::CoreServices::impl
