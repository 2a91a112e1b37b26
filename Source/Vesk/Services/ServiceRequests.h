#pragma once
// The requests that the workspace services send to a workspace server, and the descriptions of
// workspaces that come back.
#include <string>
#include <string_view>
#include <vector>

#include "Core/Ptr.h"
#include "Core/Variant.h"
#include "Platform/IHttp.h"
#include "Vesk/Data/IString.h"

namespace Vesk::Workspace::Services {

// One service that a workspace offers, as a server lists it.
struct ServiceEntry {
    Data::Uuid uuid{};
    std::string name;
    std::string description;
    bool flag = false;
};

// What a server says of one workspace.
struct WorkspaceDescription {
    Data::Uuid uuid{};
    std::string name;
    std::string description;
    std::vector<ServiceEntry> services;
};

// A GET request for path with the accept type (none when empty) and, when key is set, the key's plain
// text in "x-api-key". Throws "Request failed" when the client cannot make it.
Core::Ptr<Platform::Interfaces::IHttpRequest> CreateGetRequest(Platform::Interfaces::IHttpClient& client,
                                                               const std::string& path, const std::string& acceptType,
                                                               Data::Interfaces::ISecureString* key);

// Waits for task, running the work posted to this thread meanwhile, and gives its result; throws the
// task's message when it failed or was cancelled.
Data::Variant AwaitTask(Platform::Interfaces::IAsyncTask& task);

// A response handler that makes the body the result, as a String.
void BodyAsText(Platform::Interfaces::IHttpRequest* request, Platform::Interfaces::IHttpResponse* response,
                Data::Structures::_VARIANT* result, Core::IErrorCode** error);

// Whether a name that a server gave for a file is a plain file name that stays in the folder it is
// joined to: not empty, not "." or "..", and without "/", "\\", ":" or control characters.
bool IsPlainFileName(std::string_view name);

// Reads one workspace object of a server's JSON ("uuid", "name", "description" as texts and an optional
// "services" array of such objects). Throws, naming the member, when one is missing or not a text, or
// when "uuid" is no UUID.
WorkspaceDescription ParseWorkspaceJson(const std::string& json);

// Reads a JSON array of workspace objects; throws "Received json is not of json array type. Make sure
// that correct endpoint was called!" when the root is not an array.
std::vector<WorkspaceDescription> ParseWorkspaceListJson(const std::string& json);

}  // namespace Vesk::Workspace::Services
