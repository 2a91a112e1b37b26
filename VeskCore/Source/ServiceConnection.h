#pragma once
// The HTTP side that the service clients share: one platform client connected to the service's
// server, the service's path on it and its API key; and the error that carries an HTTP status to the
// caller's error object.
#include <cstdint>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Core/ErrorCode.h"
#include "Core/Guard.h"
#include "Core/Ptr.h"
#include "Platform/IHttp.h"
#include "Vesk/Data/IString.h"

namespace Vesk::CoreServices::impl {

// A failure whose error object carries a code of its own (an HTTP status) instead of the usual 2, so
// that a caller can tell it apart from other failures without reading the message.
class CodedError : public std::runtime_error {
public:
    CodedError(int32_t code, const std::string& message) : std::runtime_error(message), code_(code) {}
    int32_t Code() const noexcept { return code_; }

private:
    int32_t code_;
};

// Core::AbiGuard that also hands on the code of a CodedError.
template <class Body>
bool CodedGuard(::Core::IErrorCode** error, Body&& body) noexcept {
    try {
        body();
        return true;
    } catch (const CodedError& e) {
        ::Core::StoreError(error, e.Code(), e.what());
    } catch (const std::exception& e) {
        ::Core::StoreError(error, ::Core::kErrorCodeException, e.what());
    } catch (...) {
        ::Core::StoreError(error, ::Core::kErrorCodeUnknown, "Uncaught exception");
    }
    return false;
}

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// One service on one server. Safe for concurrent use: keyMutex_ guards the key, and the platform
// client is itself safe for concurrent use.
class ServiceConnection {
public:
    // Parses url ("http[s]://host[:port]/path") and opens a client for its server with the user agent
    // "HttpClient/1.0"; nothing is sent. Throws for another scheme, a URL without a host and a bad port.
    explicit ServiceConnection(std::string url);

    // The URL as given.
    const std::string& Url() const { return url_; }
    // The URL's path without a trailing "/" ("" for a service at the server's root).
    const std::string& BasePath() const { return basePath_; }

    // Later requests carry the key's text, read at each request, in "x-api-key"; null sends none.
    void SetApiKey(::Core::Ptr<Data::Interfaces::ISecureString> key);

    // Sends one request for path and waits on the calling thread for its whole answer, running work
    // posted to the thread meanwhile. Returns the response (the caller's) whatever its status. Throws
    // when no whole answer came (no connection, a body cut short, a time-out), with what (say
    // "GET 'a.txt'") leading the message.
    ::Core::Ptr<Platform::Interfaces::IHttpResponse> Send(uint32_t method, const std::string& path,
                                                          const HeaderList& headers, const void* body,
                                                          uint64_t bodySize, const std::string& what);

private:
    std::string url_;
    std::string basePath_;
    ::Core::Ptr<Platform::Interfaces::IHttpClient> client_;
    ::Core::Ptr<Platform::Interfaces::IAcceptTypes> acceptAny_;
    std::mutex keyMutex_;
    ::Core::Ptr<Data::Interfaces::ISecureString> key_;  // guarded by keyMutex_
};

// The value of a response header, in any letter case; nullopt when absent.
std::optional<std::string> HeaderOf(Platform::Interfaces::IHttpResponse* response, std::string_view name);

// The message for a refused request: "<what> failed with status <code>", then ": " and the server's
// reason: the "error" text of a JSON body, else the start of the body when there is one.
std::string StatusFailure(const std::string& what, Platform::Interfaces::IHttpResponse* response);

}  // namespace Vesk::CoreServices::impl
