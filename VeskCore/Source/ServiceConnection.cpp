#include "ServiceConnection.h"

#include <rapidjson/document.h>

#include "Core/AsciiCase.h"
#include "Core/Crypto.h"
#include "Platform/AsyncTask.h"
#include "Platform/HttpClient.h"
#include "Platform/Url.h"

namespace Vesk::CoreServices::impl {

namespace {

using Platform::Interfaces::IHttpResponse;

constexpr size_t kMaxReasonBytes = 300;

// The header line of the API key, wiped when it goes so that the key lingers in as few places as the
// platform client allows.
class KeyHeader {
public:
    explicit KeyHeader(Data::Interfaces::ISecureString* key) {
        if (key != nullptr && key->GetText() != nullptr) {
            value_.assign(key->GetText(), key->GetLength());
        }
    }
    ~KeyHeader() { ::Core::Crypto::Cleanse(value_.data(), value_.size()); }
    KeyHeader(const KeyHeader&) = delete;
    KeyHeader& operator=(const KeyHeader&) = delete;
    const std::string& Value() const { return value_; }

private:
    std::string value_;
};

}  // namespace

ServiceConnection::ServiceConnection(std::string url) : url_(std::move(url)) {
    const Platform::Network::UrlParts parts = Platform::Network::ParseUrlParts(url_);
    if (parts.scheme != "http" && parts.scheme != "https") {
        throw std::runtime_error("The service URL '" + url_ + "' is neither http nor https");
    }
    if (parts.host.empty()) {
        throw std::runtime_error("The service URL '" + url_ + "' names no host");
    }
    basePath_ = parts.path;
    while (!basePath_.empty() && basePath_.back() == '/') {
        basePath_.pop_back();
    }
    client_ = Platform::Network::Http::OpenHttpClient(url_, "HttpClient/1.0");
    acceptAny_ = Platform::Network::Http::CreateAcceptTypes();
}

void ServiceConnection::SetApiKey(::Core::Ptr<Data::Interfaces::ISecureString> key) {
    std::lock_guard<std::mutex> lock(keyMutex_);
    key_ = std::move(key);
}

::Core::Ptr<IHttpResponse> ServiceConnection::Send(uint32_t method, const std::string& path, const HeaderList& headers,
                                                   const void* body, uint64_t bodySize, const std::string& what) {
    ::Core::Ptr<Platform::Interfaces::IHttpRequest> request;
    ::Core::ErrorCode created;
    if (!client_->CreateRequest(path.c_str(), acceptAny_.GetUnchecked(), method, request.Receive(),
                                created.Receive())) {
        throw std::runtime_error(what + " could not be created: " + std::string(created.Message()));
    }
    ::Core::Ptr<Platform::Interfaces::IHttpHeaders> set = Platform::Network::Http::CreateHttpHeaders();
    for (const auto& [name, value] : headers) {
        set->Set(name.c_str(), value.c_str());
    }
    ::Core::Ptr<Data::Interfaces::ISecureString> key;
    {
        std::lock_guard<std::mutex> lock(keyMutex_);
        key = key_;
    }
    const KeyHeader keyHeader(key.GetUnchecked());
    if (key) {
        set->Set("x-api-key", keyHeader.Value().c_str());
    }
    if (set->GetCount() > 0 && !request->SetHeaders(set.GetUnchecked())) {
        throw std::runtime_error(what + ": the request headers were refused");
    }
    if (body != nullptr) {
        request->SetBody(body, bodySize);
    }

    Platform::Interfaces::IAsyncTask* started = nullptr;
    if (!request->GetResponseAsync(&started) || started == nullptr) {
        throw std::runtime_error(what + " could not be sent");
    }
    const Platform::Threading::AsyncTask task(::Core::Ptr<Platform::Interfaces::IAsyncTask>::Adopt(started));
    task->WaitPumping(false);
    if (task->IsFailed()) {
        throw std::runtime_error(what + " failed: " + task->GetErrorMessage());
    }
    if (task->GetState() != Platform::Interfaces::TaskCompleted) {
        throw std::runtime_error(what + " was cancelled");
    }
    return task.ResultAs<IHttpResponse>();
}

std::optional<std::string> HeaderOf(IHttpResponse* response, std::string_view name) {
    const std::string exact(name);
    if (const char* value = response->GetHeader(exact.c_str())) {
        return std::string(value);
    }
    // HTTP/2 sends names in lower case, and servers spell them as they like.
    auto* full = dynamic_cast<Platform::Interfaces::IHttpResponse2*>(response);
    if (full == nullptr) {
        return std::nullopt;
    }
    ::Core::Ptr<Platform::Interfaces::IHttpResponseStream> head;
    ::Core::Ptr<Platform::Interfaces::IHttpHeaders> headers;
    if (!full->GetHead(head.Receive(), nullptr) || !head->GetHeaders(headers.Receive(), nullptr)) {
        return std::nullopt;
    }
    for (uint64_t i = 0; i < headers->GetCount(); ++i) {
        const char* candidate = headers->GetName(i);
        if (candidate != nullptr && ::Core::EqualsIgnoringAsciiCase(candidate, name)) {
            return std::string(headers->Get(candidate));
        }
    }
    return std::nullopt;
}

std::string StatusFailure(const std::string& what, IHttpResponse* response) {
    std::string message = what + " failed with status " + std::to_string(response->GetStatusCode());
    const auto* bytes = static_cast<const char*>(response->GetBody());
    const std::string_view body = bytes != nullptr ? std::string_view(bytes, response->GetBodySize()) : "";
    if (body.empty()) {
        return message;
    }
    rapidjson::Document json;
    json.Parse(body.data(), body.size());
    if (!json.HasParseError() && json.IsObject() && json.HasMember("error") && json["error"].IsString()) {
        return message + ": " + std::string(json["error"].GetString(), json["error"].GetStringLength());
    }
    return message + ": " + std::string(body.substr(0, kMaxReasonBytes));
}

}  // namespace Vesk::CoreServices::impl
