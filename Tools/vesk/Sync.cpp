#include "Sync.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>

#include "EnumNames.h"
#include "JsonText.h"
#include "Library.h"
#include "Remotes.h"
#include "Terminal.h"

namespace VeskTool {
namespace {

namespace DI = Data::Interfaces;
namespace DS = Data::Structures;
using Vesk::Interfaces::IWorkspaceRootServices;
using Vesk::Interfaces::IWorkspaceServices;

Handle<IWorkspaceRootServices> OpenRoot(const RemoteWithKey& remote, const std::string& cacheRoot) {
    Handle<IWorkspaceRootServices> root;
    Call(
        [&](Core::IErrorCode** e) {
            return VeskWorkspace_OpenWorkspaceRootServices(remote.url.c_str(), cacheRoot.c_str(), remote.key.Get(),
                                                           root.Out(), e);
        },
        "The server could not be reached");
    return root;
}

// Waits for a task of the root services; the result record is the caller's to clear.
DS::_VARIANT Await(Platform::Interfaces::IAsyncTask* task) {
    task->WaitPumping(false);
    if (task->IsFailed() || task->IsCancelled()) {
        const char* message = task->GetErrorMessage();
        throw LibraryError(message != nullptr && *message != '\0' ? message : "The request was cancelled");
    }
    DS::_VARIANT result{};
    task->GetResult(&result);
    return result;
}

// The cached workspace file of a cache folder, or "" while there is none (before the first reload, after a
// discard). The cache keeps the server's file under its own name in Files.
std::string LocalCopyPath(const std::string& cacheFolder) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(cacheFolder + "/Files", error)) {
        const std::filesystem::path& path = entry.path();
        if (entry.is_regular_file(error) && EqualsIgnoringCase(path.extension().string(), ".veskdb")) {
            return path.string();
        }
    }
    return "";
}

Handle<IWorkspaceServices> OpenWorkspaceServices(const std::string& alias, const std::string& uuid,
                                                 const std::string& cacheFolder) {
    ParseUuid(uuid, "the workspace");
    const RemoteWithKey remote = FindRemote(alias);
    Handle<IWorkspaceServices> services;
    Call(
        [&](Core::IErrorCode** e) {
            return VeskWorkspace_OpenWorkspaceServices((remote.url + "/" + uuid).c_str(), cacheFolder.c_str(),
                                                       remote.key.Get(), services.Out(), e);
        },
        "The workspace could not be reached");
    return services;
}

// The SHA-256 recorded at the cache's last synchronisation, or "" when there is none. A new services
// object knows the server's file only after a reload, so status reads the record itself.
std::string RecordedHash(const std::string& cacheFolder) {
    const std::string path = cacheFolder + "/Changes.db";
    if (!std::filesystem::exists(std::filesystem::u8path(path))) {
        return {};
    }
    sqlite3* db = nullptr;
    std::string hash;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT Sha256 FROM WorkspaceHash", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(statement, 0);
            hash = text != nullptr ? reinterpret_cast<const char*>(text) : "";
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return hash;
}

// The SHA-256 the server announces for the workspace's one .veskdb file; "" when it has none or several.
std::string RemoteHash(IWorkspaceServices* services) {
    Handle<Vesk::Interfaces::IStorageServices> storage;
    Call([&](Core::IErrorCode** e) { return services->CreateStorageServices(storage.Out(), e); },
         "The storage service could not be reached");
    Handle<DI::IObjectList> names;
    Call([&](Core::IErrorCode** e) { return storage->ListFolder("/", nullptr, names.Out(), e); },
         "The workspace's files could not be listed");
    std::string found;
    int count = 0;
    for (uint64_t i = 0; i < names->GetCount(); ++i) {
        const std::string name = TextOf(ItemAs<DI::IString>(names.Get(), i).Get());
        if (name.size() > 7 && name.compare(name.size() - 7, 7, ".veskdb") == 0) {
            found = name;
            ++count;
        }
    }
    if (count != 1) {
        return {};
    }
    Handle<Platform::Interfaces::IFileMetadata> metadata;
    Call([&](Core::IErrorCode** e) { return storage->GetFileMetadata(found.c_str(), metadata.Out(), e); },
         "The workspace file could not be described");
    return metadata->GetSha2();
}

bool Ask(IWorkspaceServices* services, bool (IWorkspaceServices::*question)(Core::IErrorCode**)) {
    Handle<Core::IErrorCode> error;
    const bool answer = (services->*question)(error.Out());
    if (error) {
        ThrowIfFailed(false, error, "The cache could not be read");
    }
    return answer;
}

// The library's refusals speak of its own calls ("Call Reload()"); this says which vesk commands help,
// judged from the cache's state after the refusal (arguments: " ALIAS UUID [--cache DIR]"). Empty when the
// state suggests nothing.
std::string WhatToDoAfter(const std::string& action, const std::string& arguments, const std::string& cacheFolder,
                          IWorkspaceServices* services) {
    try {
        const bool local = Ask(services, &IWorkspaceServices::IsLocalModified);
        const std::string recorded = RecordedHash(cacheFolder);
        const bool remote = !recorded.empty() && RemoteHash(services) != recorded;
        if (action == "store" && local && remote) {
            return "\nhint: someone stored a newer copy since your last reload. Keep your changed file elsewhere if "
                   "you need it, then run 'vesk sync discard" +
                   arguments + "' and 'vesk sync reload" + arguments + "', and make your change again";
        }
        if (action == "store" && !local) {
            return "\nhint: your copy has no changes to store";
        }
        if (action == "reload" && local) {
            return "\nhint: your copy has changes of its own: store them with 'vesk sync store" + arguments +
                   "', or throw them away with 'vesk sync discard" + arguments + "'";
        }
    } catch (const std::exception&) {
        // The state could not be read (the server went away, say): the refusal speaks for itself.
    }
    return "";
}

}  // namespace

std::string DefaultCacheRoot(const std::string& alias) {
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && *cache != '\0') {
        return std::string(cache) + "/vesk/" + alias;
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return std::string(home) + "/.cache/vesk/" + alias;
    }
    if (const char* local = std::getenv("LOCALAPPDATA"); local != nullptr && *local != '\0') {
        return std::string(local) + "/vesk/" + alias;
    }
    throw LibraryError("no cache folder: set XDG_CACHE_HOME or HOME, or give --cache DIR");
}

int RemoteHealth(const std::string& alias, bool json, std::ostream& out) {
    const RemoteWithKey remote = FindRemote(alias);
    Handle<IWorkspaceRootServices> root = OpenRoot(remote, DefaultCacheRoot(alias));
    Handle<Platform::Interfaces::IAsyncTask> task;
    Call([&](Core::IErrorCode** e) { return root->CheckHealth(task.Out(), e); }, "The health check failed");
    DS::_VARIANT status = Await(task.Get());
    if (json) {
        out << "{\"alias\":\"" << alias << "\",\"status\":" << status.i32 << "}\n";
    } else {
        out << alias << " (" << remote.url << ") answers: HTTP " << status.i32 << "\n";
    }
    DS::VariantClear(&status);
    return 0;
}

int RemoteWorkspaces(const std::string& alias, bool json, std::ostream& out) {
    const RemoteWithKey remote = FindRemote(alias);
    Handle<IWorkspaceRootServices> root = OpenRoot(remote, DefaultCacheRoot(alias));
    Handle<Platform::Interfaces::IAsyncTask> task;
    Call([&](Core::IErrorCode** e) { return root->GetWorkspaces(task.Out(), e); }, "The listing failed");
    DS::_VARIANT result = Await(task.Get());
    auto* list = dynamic_cast<DI::IObjectList*>(result.object);
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartArray();
    for (uint64_t i = 0; list != nullptr && i < list->GetCount(); ++i) {
        Handle<IWorkspaceServices> workspace = ItemAs<IWorkspaceServices>(list, i);
        DS::_UUID uuid{};
        Call([&](Core::IErrorCode** e) { return workspace->GetUuid(&uuid, e); }, "The listing could not be read");
        if (json) {
            writer.StartObject();
            WriteJsonMember(writer, "uuid", UuidText(uuid));
            WriteJsonMember(writer, "name", workspace->GetName());
            WriteJsonMember(writer, "description", workspace->GetDescription());
            writer.EndObject();
        } else {
            out << UuidText(uuid) << "  " << workspace->GetName();
            if (*workspace->GetDescription() != '\0') {
                out << "  (" << workspace->GetDescription() << ")";
            }
            out << "\n";
        }
    }
    writer.EndArray();
    if (json) {
        out << buffer.GetString() << "\n";
    }
    DS::VariantClear(&result);
    return 0;
}

int SyncWorkspace(const std::string& action, const std::string& alias, const std::string& uuid,
                  const std::string& cacheRoot, bool json, std::ostream& out) {
    const std::string cacheFolder = (cacheRoot.empty() ? DefaultCacheRoot(alias) : cacheRoot) + "/" + uuid;
    Handle<IWorkspaceServices> services = OpenWorkspaceServices(alias, uuid, cacheFolder);
    const std::string name = services->GetName();
    if (action == "status") {
        const bool local = Ask(services.Get(), &IWorkspaceServices::IsLocalModified);
        const std::string recorded = RecordedHash(cacheFolder);
        const bool remote = recorded.empty() || RemoteHash(services.Get()) != recorded;
        if (json) {
            rapidjson::StringBuffer buffer;
            rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
            writer.StartObject();
            WriteJsonMember(writer, "name", name);
            writer.Key("localModified");
            writer.Bool(local);
            writer.Key("remoteModified");
            writer.Bool(remote);
            WriteJsonMember(writer, "file", LocalCopyPath(cacheFolder));
            writer.EndObject();
            out << buffer.GetString() << "\n";
        } else {
            out << name << ": local copy " << (local ? "has changes to store" : "has no changes of its own")
                << "; the server's copy "
                << (remote ? "differs from the last synchronised one (or was never loaded)"
                           : "is the one last synchronised")
                << "\n";
            const std::string file = LocalCopyPath(cacheFolder);
            out << "local copy: " << (file.empty() ? "none (run vesk sync reload)" : file) << "\n";
        }
        return 0;
    }
    using Operation = bool (IWorkspaceServices::*)(Core::IErrorCode**);
    const Operation operation = action == "reload"    ? &IWorkspaceServices::Reload
                                : action == "store"   ? &IWorkspaceServices::Store
                                : action == "discard" ? &IWorkspaceServices::Discard
                                                      : nullptr;
    if (operation == nullptr) {
        throw UsageError("unknown sync action '" + action + "': use status, reload, store or discard");
    }
    try {
        ActivityIndicator indicator(action + " " + name);
        Call([&](Core::IErrorCode** e) { return (services.Get()->*operation)(e); }, "The synchronisation failed");
    } catch (const LibraryError& refusal) {
        const std::string arguments = " " + alias + " " + uuid + (cacheRoot.empty() ? "" : " --cache " + cacheRoot);
        throw LibraryError(std::string(refusal.what()) + WhatToDoAfter(action, arguments, cacheFolder, services.Get()));
    }
    if (json) {
        rapidjson::StringBuffer buffer;
        rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
        writer.StartObject();
        WriteJsonMember(writer, "name", services->GetName());
        WriteJsonMember(writer, "done", action);
        WriteJsonMember(writer, "file", LocalCopyPath(cacheFolder));
        writer.EndObject();
        out << buffer.GetString() << "\n";
    } else {
        out << services->GetName() << ": " << action << " done\n";
        const std::string file = LocalCopyPath(cacheFolder);
        if (!file.empty()) {
            out << "local copy: " << file << "\n";
        }
    }
    return 0;
}

}  // namespace VeskTool
