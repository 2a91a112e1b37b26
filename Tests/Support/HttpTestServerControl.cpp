// The test server as the tests see it, wherever it runs: in this process, or in a native server
// process whose control URL the environment names. The control protocol is plain HTTP spoken with
// the library's own client (the one under test): a client that cannot make these calls fails every
// test anyway.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "Core/ErrorCode.h"
#include "HttpTestServer.h"
#include "Platform/HttpClient.h"
#include "Platform/IHttp.h"

namespace VeskTest {
namespace {

bool EqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

void AppendField(std::string& out, const std::string& field) {
    out += std::to_string(field.size());
    out += ':';
    out += field;
}

std::string TakeField(const std::string& text, size_t& at) {
    const size_t colon = text.find(':', at);
    if (colon == std::string::npos || colon == at) {
        throw std::runtime_error("malformed request list");
    }
    size_t length = 0;
    for (size_t i = at; i < colon; ++i) {
        if (text[i] < '0' || text[i] > '9' || length > text.size()) {
            throw std::runtime_error("malformed request list");
        }
        length = length * 10 + static_cast<size_t>(text[i] - '0');
    }
    if (length > text.size() - colon - 1) {
        throw std::runtime_error("malformed request list");
    }
    at = colon + 1 + length;
    return text.substr(colon + 1, length);
}

size_t TakeCount(const std::string& text, size_t& at) {
    const std::string field = TakeField(text, at);
    if (field.empty() || field.size() > 9 || field.find_first_not_of("0123456789") != std::string::npos) {
        throw std::runtime_error("malformed request list");
    }
    return static_cast<size_t>(std::stoul(field));
}

// A server of the external process, reached through its control URL. Safe for concurrent use (the
// client is).
class RemoteServer final : public HttpTestServer::Backend {
public:
    RemoteServer(const std::string& control, HttpTestServer::Security security)
        : client_(Platform::Network::Http::OpenHttpClient(control, "VeskTestControl/1.0")) {
        const std::string port =
            Call(Platform::Interfaces::HttpPost, std::string("/servers?security=") + SecurityName(security));
        port_ = static_cast<uint16_t>(std::stoul(port));
    }
    ~RemoteServer() override {
        try {
            Call(Platform::Interfaces::HttpDelete, "/servers/" + std::to_string(port_));
        } catch (const std::exception& e) {
            ADD_FAILURE() << "the test server was not removed: " << e.what();
        }
    }
    uint16_t Port() const override { return port_; }
    std::vector<ReceivedRequest> Requests() const override {
        return DecodeRequests(Call(Platform::Interfaces::HttpGet, "/servers/" + std::to_string(port_) + "/requests"));
    }
    void Stop() override { Call(Platform::Interfaces::HttpPost, "/servers/" + std::to_string(port_) + "/stop"); }

    // The body of a successful answer to method on path; throws otherwise.
    static std::string Call(Platform::Interfaces::IHttpClient* client, uint32_t method, const std::string& path,
                            const std::string& body = {}) {
        Core::Ptr<Platform::Interfaces::IAcceptTypes> types = Platform::Network::Http::CreateAcceptTypes();
        Core::Ptr<Platform::Interfaces::IHttpRequest> request;
        Core::ErrorCode error;
        if (!client->CreateRequest(path.c_str(), types.GetUnchecked(), method, request.Receive(), error.Receive())) {
            throw std::runtime_error("test server control: " + std::string(error.Message()));
        }
        if (!body.empty()) {
            request->SetBody(body.data(), body.size());
        }
        auto response = Core::Ptr<Platform::Interfaces::IHttpResponse>::Adopt(request->GetResponse(true));
        if (!response || response->GetStatusCode() != 200) {
            throw std::runtime_error("test server control: no answer to " + path);
        }
        const char* answer = static_cast<const char*>(response->GetBody());
        return answer != nullptr ? std::string(answer, response->GetBodySize()) : std::string();
    }

private:
    std::string Call(uint32_t method, const std::string& path) const {
        return Call(client_.GetUnchecked(), method, path);
    }

    Core::Ptr<Platform::Interfaces::IHttpClient> client_;
    uint16_t port_ = 0;
};

}  // namespace

std::string ReceivedRequest::Header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (EqualsNoCase(key, name)) {
            return value;
        }
    }
    return {};
}

bool ReceivedRequest::HasHeader(const std::string& name) const {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& entry) { return EqualsNoCase(entry.first, name); });
}

HttpTestServer::HttpTestServer(Security security, const TestCertificates* certificates) {
    const std::string control = ExternalControlUrl();
    if (control.empty()) {
        backend_ = StartLocalHttpTestServer(security, certificates);
    } else {
        backend_ = std::make_unique<RemoteServer>(control, security);
    }
    port_ = backend_->Port();
    secure_ = security != Security::Plain;
}

HttpTestServer::~HttpTestServer() = default;

void HttpTestServer::Stop() {
    backend_->Stop();
}

std::string HttpTestServer::BaseUrl() const {
    return std::string(secure_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

std::vector<ReceivedRequest> HttpTestServer::Requests() const {
    return backend_->Requests();
}

ReceivedRequest HttpTestServer::LastRequest() const {
    std::vector<ReceivedRequest> requests = backend_->Requests();
    if (requests.empty()) {
        ADD_FAILURE() << "the server received no request";
        return {};
    }
    return requests.back();
}

std::string HttpTestServer::ExternalControlUrl() {
    const char* url = std::getenv("VESK_HTTP_TEST_SERVER");
    return url != nullptr ? std::string(url) : std::string();
}

std::string HttpTestServer::ExternalAuthorityFile() {
    const std::string control = ExternalControlUrl();
    if (control.empty()) {
        return {};
    }
    Core::Ptr<Platform::Interfaces::IHttpClient> client =
        Platform::Network::Http::OpenHttpClient(control, "VeskTestControl/1.0");
    return RemoteServer::Call(client.GetUnchecked(), Platform::Interfaces::HttpGet, "/authority");
}

struct ScriptedTestServer::Remote {
    Core::Ptr<Platform::Interfaces::IHttpClient> client;
    std::string Call(uint32_t method, const std::string& path, const std::string& body = {}) const {
        return RemoteServer::Call(client.GetUnchecked(), method, path, body);
    }
};

ScriptedTestServer::ScriptedTestServer(Script script, std::string reply) {
    const std::string control = HttpTestServer::ExternalControlUrl();
    if (control.empty()) {
        local_ = std::make_unique<RawTestServer>(Responder(script, std::move(reply)), ReadsBody(script));
        port_ = local_->Port();
        return;
    }
    remote_ = std::make_unique<Remote>();
    remote_->client = Platform::Network::Http::OpenHttpClient(control, "VeskTestControl/1.0");
    port_ = static_cast<uint16_t>(std::stoul(
        remote_->Call(Platform::Interfaces::HttpPost, std::string("/raw?script=") + ScriptName(script), reply)));
}

ScriptedTestServer::~ScriptedTestServer() {
    if (remote_) {
        try {
            remote_->Call(Platform::Interfaces::HttpDelete, "/raw/" + std::to_string(port_));
        } catch (const std::exception& e) {
            ADD_FAILURE() << "the scripted server was not removed: " << e.what();
        }
    }
}

std::string ScriptedTestServer::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

std::vector<std::string> ScriptedTestServer::Received() const {
    if (local_) {
        return local_->Received();
    }
    return DecodeStrings(remote_->Call(Platform::Interfaces::HttpGet, "/raw/" + std::to_string(port_) + "/received"));
}

RawTestServer::Responder ScriptedTestServer::Responder(Script script, std::string reply) {
    switch (script) {
        case Script::Reply:
            return
                [reply](const RawTestServer::Connection& connection, const std::string&) { connection.Write(reply); };
        case Script::Deaf:
            return [](const RawTestServer::Connection& connection, const std::string&) {
                for (int i = 0; i < 400 && !connection.Stopping(); ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(25));
                }
            };
        case Script::EndlessHead:
            return [](const RawTestServer::Connection& connection, const std::string&) {
                if (!connection.Write("HTTP/1.1 200 OK\r\n")) {
                    return;
                }
                const std::string filler = "X-Filler: " + std::string(1000, 'f') + "\r\n";
                // At most 16 MiB: far beyond any limit, and the client hangs up long before.
                for (int i = 0; i < 16 * 1024 && connection.Write(filler); ++i) {
                }
            };
    }
    return {};
}

namespace {
const std::pair<ScriptedTestServer::Script, const char*> kScriptNames[] = {
    {ScriptedTestServer::Script::Reply, "reply"},
    {ScriptedTestServer::Script::Deaf, "deaf"},
    {ScriptedTestServer::Script::EndlessHead, "endless-head"}};
const std::pair<HttpTestServer::Security, const char*> kSecurityNames[] = {
    {HttpTestServer::Security::Plain, "plain"},
    {HttpTestServer::Security::Tls, "tls"},
    {HttpTestServer::Security::TlsOtherHost, "tls-other-host"},
    {HttpTestServer::Security::TlsUntrusted, "tls-untrusted"},
    {HttpTestServer::Security::TlsOnly11, "tls11"}};

// The value of name in a table of names; false when there is none.
template <class T, size_t N>
bool FromName(const std::pair<T, const char*> (&names)[N], const std::string& name, T& value) {
    for (const auto& [candidate, text] : names) {
        if (name == text) {
            value = candidate;
            return true;
        }
    }
    return false;
}

template <class T, size_t N>
const char* NameOf(const std::pair<T, const char*> (&names)[N], T value) {
    for (const auto& [candidate, text] : names) {
        if (candidate == value) {
            return text;
        }
    }
    return "";
}
}  // namespace

bool ScriptedTestServer::ScriptFromName(const std::string& name, Script& script) {
    return FromName(kScriptNames, name, script);
}

const char* ScriptedTestServer::ScriptName(Script script) {
    return NameOf(kScriptNames, script);
}

std::string EncodeStrings(const std::vector<std::string>& strings) {
    std::string out;
    AppendField(out, std::to_string(strings.size()));
    for (const std::string& text : strings) {
        AppendField(out, text);
    }
    return out;
}

std::vector<std::string> DecodeStrings(const std::string& text) {
    size_t at = 0;
    const size_t count = TakeCount(text, at);
    std::vector<std::string> strings;
    for (size_t i = 0; i < count; ++i) {
        strings.push_back(TakeField(text, at));
    }
    if (at != text.size()) {
        throw std::runtime_error("malformed string list");
    }
    return strings;
}

std::string EncodeRequests(const std::vector<ReceivedRequest>& requests) {
    std::string out;
    AppendField(out, std::to_string(requests.size()));
    for (const ReceivedRequest& request : requests) {
        AppendField(out, request.method);
        AppendField(out, request.path);
        AppendField(out, std::to_string(request.headers.size()));
        for (const auto& [name, value] : request.headers) {
            AppendField(out, name);
            AppendField(out, value);
        }
        AppendField(out, request.body);
    }
    return out;
}

std::vector<ReceivedRequest> DecodeRequests(const std::string& text) {
    size_t at = 0;
    const size_t count = TakeCount(text, at);
    std::vector<ReceivedRequest> requests;
    for (size_t i = 0; i < count; ++i) {
        ReceivedRequest request;
        request.method = TakeField(text, at);
        request.path = TakeField(text, at);
        const size_t headers = TakeCount(text, at);
        for (size_t h = 0; h < headers; ++h) {
            std::string name = TakeField(text, at);
            request.headers.emplace(std::move(name), TakeField(text, at));
        }
        request.body = TakeField(text, at);
        requests.push_back(std::move(request));
    }
    if (at != text.size()) {
        throw std::runtime_error("malformed request list");
    }
    return requests;
}

bool SecurityFromName(const std::string& name, HttpTestServer::Security& security) {
    return FromName(kSecurityNames, name, security);
}

const char* SecurityName(HttpTestServer::Security security) {
    return NameOf(kSecurityNames, security);
}

}  // namespace VeskTest
