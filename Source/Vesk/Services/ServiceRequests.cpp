#include "Vesk/Services/ServiceRequests.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <stdexcept>

#include "Core/Guard.h"
#include "Core/StringFormat.h"
#include "Platform/AsyncTask.h"
#include "Platform/HttpClient.h"

namespace Vesk::Workspace::Services {

namespace {

// Descriptions of workspaces are small; an answer beyond this is not one.
constexpr uint64_t kMaxJsonAnswer = 64ull << 20;

std::string TextMember(const rapidjson::Value& object, const char* name) {
    const auto member = object.FindMember(name);
    if (member == object.MemberEnd() || !member->value.IsString()) {
        throw std::runtime_error(
            Core::StringFormat("The server's description of a workspace has no text \"%s\"", name));
    }
    return std::string(member->value.GetString(), member->value.GetStringLength());
}

Data::Uuid UuidMember(const rapidjson::Value& object) {
    const std::string text = TextMember(object, "uuid");
    try {
        return Data::UuidFromText(text);
    } catch (const std::exception&) {
        throw std::runtime_error(Core::StringFormat(
            "The server's description of a workspace has a \"uuid\" that is no UUID: %s", text.c_str()));
    }
}

ServiceEntry ReadService(const rapidjson::Value& value) {
    if (!value.IsObject()) {
        throw std::runtime_error("A service of a workspace is not a JSON object");
    }
    ServiceEntry entry;
    entry.uuid = UuidMember(value);
    entry.name = TextMember(value, "name");
    entry.description = TextMember(value, "description");
    return entry;
}

WorkspaceDescription ReadWorkspace(const rapidjson::Value& value) {
    if (!value.IsObject()) {
        throw std::runtime_error("The server's description of a workspace is not a JSON object");
    }
    WorkspaceDescription description;
    const auto services = value.FindMember("services");
    if (services != value.MemberEnd() && services->value.IsArray()) {
        for (const rapidjson::Value& service : services->value.GetArray()) {
            description.services.push_back(ReadService(service));
        }
    }
    description.uuid = UuidMember(value);
    description.description = TextMember(value, "description");
    description.name = TextMember(value, "name");
    return description;
}

rapidjson::Document ParseJson(const std::string& json) {
    rapidjson::Document document;
    document.Parse(json.data(), json.size());
    if (document.HasParseError()) {
        throw std::runtime_error(Core::StringFormat("The server's answer is not JSON: %s (at byte %zu)",
                                                    rapidjson::GetParseError_En(document.GetParseError()),
                                                    document.GetErrorOffset()));
    }
    return document;
}

}  // namespace

Core::Ptr<Platform::Interfaces::IHttpRequest> CreateGetRequest(Platform::Interfaces::IHttpClient& client,
                                                               const std::string& path, const std::string& acceptType,
                                                               Data::Interfaces::ISecureString* key) {
    namespace Http = Platform::Network::Http;
    Core::Ptr<Platform::Interfaces::IAcceptTypes> accept = Http::CreateAcceptTypes();
    if (!acceptType.empty()) {
        accept->Add(acceptType.c_str());
    }
    Core::Ptr<Platform::Interfaces::IHttpRequest> request;
    if (!client.CreateRequest(path.c_str(), accept.GetUnchecked(), Platform::Interfaces::HttpGet, request.Receive(),
                              nullptr) ||
        !request) {
        throw std::runtime_error("Request failed");
    }
    Core::Ptr<Platform::Interfaces::IHttpHeaders> headers = Http::CreateHttpHeaders();
    if (key != nullptr) {
        const char* text = key->GetText();
        headers->Set("x-api-key", text != nullptr ? text : "");
    }
    request->SetHeaders(headers.GetUnchecked());
    return request;
}

Data::Variant AwaitTask(Platform::Interfaces::IAsyncTask& task) {
    task.WaitPumping(false);
    if (task.IsFailed() || task.IsCancelled()) {
        const char* message = task.GetErrorMessage();
        throw std::runtime_error(message != nullptr && *message != '\0' ? message : "Request was cancelled!");
    }
    Data::Variant result;
    task.GetResult(result.Receive());
    return result;
}

void BodyAsText(Platform::Interfaces::IHttpRequest*, Platform::Interfaces::IHttpResponse* response,
                Data::Structures::_VARIANT* result, Core::IErrorCode** error) {
    Core::AbiGuard(error, [&] {
        if (response->GetBodySize() > kMaxJsonAnswer) {
            throw std::runtime_error(Core::StringFormat("The server's answer of %llu bytes is larger than %llu bytes",
                                                        static_cast<unsigned long long>(response->GetBodySize()),
                                                        static_cast<unsigned long long>(kMaxJsonAnswer)));
        }
        const char* body = static_cast<const char*>(response->GetBody());
        const Data::Variant text =
            Data::Variant::FromString(body != nullptr ? std::string_view(body, response->GetBodySize()) : "");
        Data::Structures::VariantCopy(result, &text.Raw());
    });
}

bool IsPlainFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    for (const char c : name) {
        if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20) {
            return false;
        }
    }
    return true;
}

WorkspaceDescription ParseWorkspaceJson(const std::string& json) {
    return ReadWorkspace(ParseJson(json));
}

std::vector<WorkspaceDescription> ParseWorkspaceListJson(const std::string& json) {
    const rapidjson::Document document = ParseJson(json);
    if (!document.IsArray()) {
        // Fixed text: hosts match on it.
        throw std::runtime_error(
            "Received json is not of json array type. Make sure that correct endpoint was called!");
    }
    std::vector<WorkspaceDescription> list;
    for (const rapidjson::Value& element : document.GetArray()) {
        list.push_back(ReadWorkspace(element));
    }
    return list;
}

}  // namespace Vesk::Workspace::Services
