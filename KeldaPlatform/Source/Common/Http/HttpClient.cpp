// The client: one session, one server, and the requests made for it; and the task functions that
// turn a request into a result on the caller's thread.
#include <cstdlib>
#include <iterator>
#include <stdexcept>

#include "Common/Http/HttpImpl.h"
#include "Core/Guard.h"
#include "Core/Log.h"
#include "Core/StringFormat.h"
#include "Core/Variant.h"
#include "Platform/AsyncTaskStatusCallback.h"

namespace Platform::Network::Http {

const char* MethodName(uint32_t method) {
    static const char* const kNames[] = {"Get",     "Post",  "Head",  "Put",      "Delete", "Connect",
                                         "Options", "Trace", "Patch", "Propfind", "Mkcol"};
    return method < std::size(kNames) ? kNames[method] : "";
}

const char* MethodVerb(uint32_t method) {
    static const char* const kVerbs[] = {"GET", "POST", "HEAD",  "PUT",      "DELETE", "",
                                         "",    "",     "PATCH", "PROPFIND", "MKCOL"};
    return method < std::size(kVerbs) ? kVerbs[method] : "";
}

HttpClientImpl::~HttpClientImpl() {
    Disconnect();
    Close();
}

bool HttpClientImpl::Open(const char* userAgent, uint32_t accessType) {
    Transport::SessionSettings settings;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        settings_.userAgent = userAgent != nullptr ? userAgent : "";
        // Unknown access types use no proxy.
        settings_.accessType = accessType <= 2 ? accessType : 0;
        settings = settings_;
    }
    Close();
    try {
        std::shared_ptr<Transport::Session> session = Transport::OpenSession(settings);
        std::lock_guard<std::mutex> lock(mutex_);
        session_ = std::move(session);
        return true;
    } catch (const std::exception& e) {
        Core::Log(Core::LogError, e.what());
        return false;
    }
}

void HttpClientImpl::Close() {
    std::shared_ptr<Transport::Session> session;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        session = std::move(session_);
    }
    if (session) {
        session->Close();
    }
}

bool HttpClientImpl::Connect(const char* host, uint32_t port) {
    std::lock_guard<std::mutex> lock(mutex_);
    host_ = host != nullptr ? host : "";
    port_ = port;
    RebuildBaseUrl();
    connected_ = false;
    if (!session_ || host_.empty()) {
        return false;
    }
    connected_ = true;
    return true;
}

bool HttpClientImpl::ConnectUrl(const char* url) {
    std::string rest = url != nullptr ? url : "";
    uint32_t port = 80;
    bool secure = false;
    if (rest.rfind("http://", 0) == 0) {
        rest.erase(0, 7);
    } else if (rest.rfind("https://", 0) == 0) {
        rest.erase(0, 8);
        port = 443;
        secure = true;
    }
    // The server is all that is kept: a path after the authority belongs to the requests.
    const size_t slash = rest.find('/');
    if (slash != std::string::npos) {
        rest.erase(slash);
    }
    const size_t colon = rest.find(':');
    if (colon != std::string::npos) {
        port = static_cast<uint32_t>(std::atoi(rest.c_str() + colon + 1));
        rest.erase(colon);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        secure_ = secure;
    }
    return Connect(rest.c_str(), port);
}

void HttpClientImpl::Disconnect() {
    std::lock_guard<std::mutex> lock(mutex_);
    connected_ = false;
}

void HttpClientImpl::SetSecure(bool secure) {
    std::lock_guard<std::mutex> lock(mutex_);
    secure_ = secure;
    RebuildBaseUrl();
}

bool HttpClientImpl::IsSecure() {
    std::lock_guard<std::mutex> lock(mutex_);
    return secure_;
}

void HttpClientImpl::RebuildBaseUrl() {
    const char* scheme = secure_ ? "https" : "http";
    baseUrl_ = port_ != 80 && port_ != 443 ? Core::StringFormat("%s://%s:%d", scheme, host_.c_str(), int(port_))
                                           : Core::StringFormat("%s://%s", scheme, host_.c_str());
}

void HttpClientImpl::SetResolveTimeout(uint32_t ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    settings_.resolveTimeoutMs = ms;
}
void HttpClientImpl::SetConnectTimeout(uint32_t ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    settings_.connectTimeoutMs = ms;
}
void HttpClientImpl::SetSendTimeout(uint32_t ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    settings_.sendTimeoutMs = ms;
}
void HttpClientImpl::SetReceiveTimeout(uint32_t ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    settings_.receiveTimeoutMs = ms;
}
uint32_t HttpClientImpl::GetResolveTimeout() {
    std::lock_guard<std::mutex> lock(mutex_);
    return settings_.resolveTimeoutMs;
}
uint32_t HttpClientImpl::GetConnectTimeout() {
    std::lock_guard<std::mutex> lock(mutex_);
    return settings_.connectTimeoutMs;
}
uint32_t HttpClientImpl::GetSendTimeout() {
    std::lock_guard<std::mutex> lock(mutex_);
    return settings_.sendTimeoutMs;
}
uint32_t HttpClientImpl::GetReceiveTimeout() {
    std::lock_guard<std::mutex> lock(mutex_);
    return settings_.receiveTimeoutMs;
}
const char* HttpClientImpl::GetUserAgent() {
    std::lock_guard<std::mutex> lock(mutex_);
    return settings_.userAgent.c_str();
}
const char* HttpClientImpl::GetBaseUrl() {
    std::lock_guard<std::mutex> lock(mutex_);
    return baseUrl_.c_str();
}

std::shared_ptr<Transport::Transfer> HttpClientImpl::OpenTransfer(const char* path,
                                                                  Interfaces::IAcceptTypes* acceptTypes,
                                                                  uint32_t method) {
    std::shared_ptr<Transport::Session> session;
    Transport::SessionSettings settings;
    std::string host;
    uint32_t port = 0;
    bool secure = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!session_) {
            throw std::runtime_error("Invalid session");
        }
        if (!connected_) {
            throw std::runtime_error("Invalid connection handle");
        }
        session = session_;
        settings = settings_;
        host = host_;
        port = port_;
        secure = secure_;
    }
    auto* types = dynamic_cast<impl::AcceptTypesImpl*>(acceptTypes);
    if (types == nullptr) {
        Core::CheckNotNull<Interfaces::IAcceptTypes>(nullptr);
    }
    const std::string pathText = path != nullptr ? path : "";
    const std::string portSuffix = port != 80 && port != 443 ? Core::StringFormat(":%d", int(port)) : "";
    const std::string url = std::string(secure ? "https://" : "http://") + host + portSuffix +
                            (pathText.empty() || pathText.front() != '/' ? "/" : "") + pathText;
    std::shared_ptr<Transport::Transfer> transfer = session->OpenRequest(MethodVerb(method), url, settings);
    if (!types->Types().empty()) {
        std::string accept = "Accept: ";
        for (size_t i = 0; i < types->Types().size(); ++i) {
            accept += (i == 0 ? "" : ", ") + types->Types()[i];
        }
        transfer->AddHeaders(accept + "\r\n");
    }
    Core::LogMessage(Core::LogTrace, "Platform::Network::Http::HttpClientImpl::CreateRequest", __FILE__, __LINE__,
                     Core::StringFormat("%s: %s%s/%s%s", MethodName(method), secure ? "https://" : "http://",
                                        host.c_str(), portSuffix.c_str(), pathText.c_str())
                         .c_str());
    return transfer;
}

bool HttpClientImpl::CreateRequest(const char* path, Interfaces::IAcceptTypes* acceptTypes, uint32_t method,
                                   Interfaces::IHttpRequest** request, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(request);
        std::shared_ptr<Transport::Transfer> transfer = OpenTransfer(path, acceptTypes, method);
        auto created = Core::MakeObject<HttpRequestImpl>(std::move(transfer), method, Core::Ptr<HttpClientImpl>(this));
        *request = Core::Ptr<Interfaces::IHttpRequest>(std::move(created)).Detach();
    });
}

bool HttpClientImpl::CreateStreamRequest(const char* path, Interfaces::IAcceptTypes* acceptTypes, uint32_t method,
                                         Interfaces::IHttpRequestStream** request, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(request);
        std::shared_ptr<Transport::Transfer> transfer = OpenTransfer(path, acceptTypes, method);
        auto created =
            Core::MakeObject<HttpRequestStreamImpl>(std::move(transfer), method, Core::Ptr<HttpClientImpl>(this));
        *request = Core::Ptr<Interfaces::IHttpRequestStream>(std::move(created)).Detach();
    });
}

Core::Ptr<Interfaces::IHttpClient> CreateHttpClient() {
    return Core::MakeObject<HttpClientImpl>();
}

Core::Ptr<Interfaces::IHttpClient> OpenHttpClient(const std::string& url, const std::string& userAgent) {
    Core::Ptr<Interfaces::IHttpClient> client = CreateHttpClient();
    if (!client->Open(userAgent.c_str(), Interfaces::HttpAccessDefaultProxy)) {
        throw std::runtime_error("Session creation failed");
    }
    if (!client->ConnectUrl(url.c_str())) {
        throw std::runtime_error("Cannot connect to the specified server");
    }
    client->SetSecure(url.size() >= 5 && url.compare(0, 5, "https") == 0);
    return client;
}

namespace {

using Threading::AsyncTask;
using Threading::impl::AsyncTaskImpl;

void FailOuter(const Core::Ptr<AsyncTaskImpl>& outer, const std::string& message) {
    outer->SetError(ErrorRecord::FromMessage(message));
    outer->SetState(Interfaces::TaskFailed);
    outer->Signal();
}

// The common body of both task functions: onResponse turns a successful response into the result,
// reporting a failure through the error object it is given.
using ResultMaker = std::function<void(Interfaces::IHttpRequest*, Interfaces::IHttpResponse*,
                                       Data::Structures::_VARIANT*, Core::IErrorCode**)>;

Core::Ptr<Interfaces::IAsyncTask> ReceiveSuccessful(Interfaces::IHttpRequest* request, ResultMaker onResponse) {
    Core::CheckNotNull(request);
    auto outer = Core::MakeObject<AsyncTaskImpl>();
    Core::Ptr<Interfaces::IHttpRequest> keptRequest(request);

    auto completed = [outer, keptRequest, onResponse](AsyncTask, Data::Variant result) {
        try {
            Core::Ptr<Interfaces::IHttpResponse> response = Threading::TaskResultAs<Interfaces::IHttpResponse>(result);
            const uint32_t status = response->GetStatusCode();
            if (status >= 400) {
                const char* body = static_cast<const char*>(response->GetBody());
                const std::string text = body != nullptr ? std::string(body, response->GetBodySize()) : std::string();
                FailOuter(outer, Core::StringFormat("Request failed with status code %d and message: %s", int(status),
                                                    text.c_str()));
                return;
            }
            Data::Variant made;
            Core::ErrorCode error;
            onResponse(keptRequest.GetUnchecked(), response.GetUnchecked(), made.Receive(), error.Receive());
            if (error) {
                FailOuter(outer, std::string(error.Message()));
                return;
            }
            outer->SetResult(&made.Raw());
            outer->SetState(Interfaces::TaskCompleted);
            outer->Signal();
        } catch (const std::exception& e) {
            FailOuter(outer, e.what());
        }
    };
    auto failed = [outer](AsyncTask, Core::ErrorCode error) { FailOuter(outer, std::string(error.Message())); };
    auto cancelled = [outer](AsyncTask) { FailOuter(outer, "Request was cancelled!"); };
    auto callback = Core::MakeObject<Threading::impl::AsyncTaskStatusCallbackImpl>(failed, completed, cancelled);

    Core::Ptr<Interfaces::IAsyncTask> inner;
    if (auto* own = dynamic_cast<HttpRequestImpl*>(request)) {
        // Our own requests take the callback before they go out, so that no outcome can pass unseen.
        inner = own->StartResponseTask(callback.GetUnchecked());
    } else {
        Interfaces::IAsyncTask* raw = nullptr;
        if (request->GetResponseAsync(&raw)) {
            inner = Core::Ptr<Interfaces::IAsyncTask>::Adopt(raw);
            inner->SetStatusCallback(callback.GetUnchecked());
        }
    }
    if (!inner) {
        throw std::runtime_error("Failed to create response!");
    }
    return outer;
}

}  // namespace

}  // namespace Platform::Network::Http

bool Platform_ReceiveSuccessfulHttpResponse(Platform::Interfaces::IHttpRequest* request,
                                            HttpResponseFunction onResponse, Platform::Interfaces::IAsyncTask** task,
                                            Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(task);
        Core::CheckNotNull(reinterpret_cast<const void*>(onResponse));
        auto made = Platform::Network::Http::ReceiveSuccessful(
            request, [onResponse](Platform::Interfaces::IHttpRequest* r, Platform::Interfaces::IHttpResponse* response,
                                  Data::Structures::_VARIANT* result,
                                  Core::IErrorCode** e) { onResponse(r, response, result, e); });
        *task = made.Detach();
    });
}

bool Platform_ReceiveSuccessfulHttpResponse2(Platform::Interfaces::IHttpRequest* request,
                                             HttpResponseFunction2 onResponse,
                                             const Data::Structures::_VARIANT* userData,
                                             Platform::Interfaces::IAsyncTask** task, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(task);
        Core::CheckNotNull(reinterpret_cast<const void*>(onResponse));
        Data::Variant data = userData != nullptr ? Data::Variant(*userData) : Data::Variant();
        auto made = Platform::Network::Http::ReceiveSuccessful(
            request,
            [onResponse, data](Platform::Interfaces::IHttpRequest* r, Platform::Interfaces::IHttpResponse* response,
                               Data::Structures::_VARIANT* result,
                               Core::IErrorCode** e) { onResponse(r, response, &data.Raw(), result, e); });
        *task = made.Detach();
    });
}
