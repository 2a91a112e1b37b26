#include "Vesk/Services/WorkspaceServicesImpl.h"

#include "Vesk/Services/WorkspaceRootServicesImpl.h"

#include <fmt/format.h>

#include <stdexcept>
#include <system_error>

#include "Core/DataObjects.h"
#include "Core/Fatal.h"
#include "Core/Guard.h"
#include "Core/Log.h"
#include "Core/StringFormat.h"
#include "Core/TableAccess.h"
#include "Platform/DeserializedFile.h"
#include "Platform/File.h"
#include "Platform/FileMetadata.h"
#include "Platform/HttpClient.h"
#include "Platform/Url.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/VeskCore.h"
#include "Vesk/Workspace/DefaultSecret.h"
#include "Vesk/Workspace/WorkspaceManagerImpl.h"

namespace Vesk::Workspace::Services::impl {

namespace {

namespace fs = std::filesystem;
using Platform::IO::PathFromUtf8;

// Fixed texts: hosts match on them.
constexpr const char* kCreateHashTable =
    "CREATE TABLE IF NOT EXISTS \"WorkspaceHash\" (\n\t\t\t\t\"Uuid\" UUID NOT NULL,\n\t\t\t\t\"Sha256\" TEXT NOT "
    "NULL,\n\t\t\t\t\"Updated\" DATETIME NOT NULL,\n\t\t\t\tPRIMARY KEY(\"Uuid\")\n\t\t\t)";
constexpr const char* kRecordHash =
    "INSERT INTO WorkspaceHash (Uuid, Sha256, Updated) VALUES (?, ?, ?) ON CONFLICT(Uuid) DO UPDATE SET "
    "Sha256=excluded.Sha256, Updated=excluded.Updated;";
constexpr const char* kUserAgent = "HttpClient/1.0";
constexpr const char* kExtension = ".veskdb";
// The storage client's code for an upload that the server refused because its file changed meanwhile.
constexpr int32_t kPreconditionFailed = 412;

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

bool Exists(const fs::path& path) {
    std::error_code error;
    const bool exists = fs::exists(path, error);
    if (error) {
        throw fs::filesystem_error("exists", path, error);
    }
    return exists;
}

void CreateFolders(const fs::path& path) {
    std::error_code error;
    fs::create_directories(path, error);
    if (error) {
        throw fs::filesystem_error("create_directories", path, error);
    }
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

Data::Uuid NewUuid() {
    Data::Uuid uuid{};
    if (!Data_NewUuid(&uuid)) {
        throw std::runtime_error("Failed to create a UUID");
    }
    return uuid;
}

Core::Ptr<Data::Interfaces::IObjectList> ListOfNames(const std::string& name) {
    Core::Ptr<Data::Interfaces::IObjectList> names;
    if (!Data_CreateObjectList(names.Receive()) || !names) {
        throw std::runtime_error("Could not create object list");
    }
    Core::ThrowIfFailed(
        [&](Core::IErrorCode** error) { return names->Append(Data::NewString(name).GetUnchecked(), error); });
    return names;
}

// The first item of a list that a storage call answered for one name.
template <class T>
Core::Ptr<T> FirstOf(const Core::Ptr<Data::Interfaces::IObjectList>& list) {
    if (!list || list->GetCount() == 0) {
        throw std::out_of_range("invalid vector subscript");
    }
    Core::Ptr<Core::IObject> item;
    Core::ThrowIfFailed([&](Core::IErrorCode** error) { return list->Get(0, item.Receive(), error); });
    Core::Ptr<T> typed = item ? item.Cast<T>() : Core::Ptr<T>();
    if (!typed) {
        throw std::runtime_error("The storage client answered with an object of another kind");
    }
    return typed;
}

Core::Ptr<Data::Interfaces::IDateTime> TimeOf(Platform::Interfaces::IFileMetadata& metadata) {
    Core::Ptr<Data::Interfaces::IDateTime> time;
    metadata.GetTimeModified(time.Receive());
    return time;
}

}  // namespace

Core::Ptr<WorkspaceServicesImpl> WorkspaceServicesImpl::Open(const std::string& url, const std::string& localFolder,
                                                             Core::Ptr<Data::Interfaces::ISecureString> apiKey) {
    WorkspaceDescription unknown;
    unknown.uuid = NewUuid();
    auto services = Core::MakeObject<WorkspaceServicesImpl>(Platform::Network::Http::OpenHttpClient(url, kUserAgent),
                                                            url, localFolder, std::move(apiKey), std::move(unknown));
    Core::Ptr<Platform::Interfaces::IHttpRequest> request = CreateGetRequest(
        *services->httpClient_, services->url_->GetPath(), "application/json", services->apiKey_.GetUnchecked());
    Core::Ptr<Platform::Interfaces::IAsyncTask> task;
    Core::ThrowIfFailed([&](Core::IErrorCode** error) {
        return Platform_ReceiveSuccessfulHttpResponse(request.GetUnchecked(), &BodyAsText, task.Receive(), error);
    });
    services->description_ = ParseWorkspaceJson(AwaitTask(*task).Text());
    return services;
}

WorkspaceServicesImpl::WorkspaceServicesImpl(Core::Ptr<Platform::Interfaces::IHttpClient> client,
                                             const std::string& url, const std::string& localFolder,
                                             Core::Ptr<Data::Interfaces::ISecureString> apiKey,
                                             WorkspaceDescription description)
    : description_(std::move(description)),
      localFolder_(localFolder),
      filesFolder_(PathFromUtf8(localFolder + "/Files")),
      changesDbPath_(localFolder + "/Changes.db"),
      httpClient_(std::move(client)),
      urlText_(url),
      url_(Platform::Network::ParseUrl(url)),
      apiKey_(std::move(apiKey)) {}

bool WorkspaceServicesImpl::SetApiKey(Core::IObject* key, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { apiKey_ = ApiKeyFrom(key); });
}

bool WorkspaceServicesImpl::IsLocalModified(Core::IErrorCode** error) {
    bool modified = false;
    Core::AbiGuard(error, [&] { modified = LocalModified(); });
    return modified;
}

bool WorkspaceServicesImpl::IsRemoteModified(Core::IErrorCode** error) {
    bool modified = false;
    Core::AbiGuard(error, [&] {
        if (remoteFileName_.empty()) {
            modified = true;
            return;
        }
        Core::Ptr<Platform::Interfaces::IFileMetadata> metadata = RemoteMetadata(remoteFileName_);
        if (!metadata) {
            Core::RaiseFatal("VESKDB file was not found on the workspace. Local sync is not supported!");
        }
        modified = RemoteChanged(metadata->GetSha2());
    });
    return modified;
}

bool WorkspaceServicesImpl::Reload(Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { DoReload(); });
}

bool WorkspaceServicesImpl::Store(Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { DoStore(); });
}

bool WorkspaceServicesImpl::Discard(Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { DoDiscard(); });
}

bool WorkspaceServicesImpl::GetUuid(Data::Structures::_UUID* uuid, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(uuid);
        *uuid = description_.uuid;
    });
}

bool WorkspaceServicesImpl::OpenWorkspace(Interfaces::IWorkspaceManager** workspace, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(workspace);
        if (!FindLocalFile()) {
            DoReload();
        }
        const std::optional<fs::path> local = FindLocalFile();
        if (!local) {
            throw std::runtime_error("Bad optional access");
        }
        auto opened = Core::MakeObject<Workspace::impl::WorkspaceManagerImpl>(
            NewUuid(), Utf8(*local), Interfaces::ReadWritePersistent, nullptr, 0);
        opened->SetAutoSave(false);
        try {
            GenerateDefaultSecret(opened.GetUnchecked());
        } catch (const std::exception&) {
            // The workspace is usable without its default secret; only protected values need it.
        }
        Core::HandOut(Core::Ptr<Interfaces::IWorkspaceManager>(opened.GetUnchecked()), workspace);
    });
}

bool WorkspaceServicesImpl::CreateStorageServices(Interfaces::IStorageServices** storage, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(storage);
        Core::Ptr<Interfaces::IStorageServices> client = NewStorageClient();
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return client->SetApiKey(apiKey_.GetUnchecked(), e); });
        Core::HandOut(client, storage);
    });
}

bool WorkspaceServicesImpl::Reserved1(Core::IObject*, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [] { throw std::runtime_error("Function not implemented"); });
}

bool WorkspaceServicesImpl::Reserved2(Core::IObject*, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [] { throw std::runtime_error("Function not implemented"); });
}

bool WorkspaceServicesImpl::CreateDirectDatabaseAccess(Interfaces::IDirectDatabaseAccessServices** client,
                                                       Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::Ptr<Interfaces::IDirectDatabaseAccessServices> made;
        Core::ThrowIfFailed([&](Core::IErrorCode** e) {
            return VeskCore_CreateDirectDatabaseAccessServiceClient(
                Core::StringFormat("%s/services/dda", urlText_.c_str()).c_str(), made.Receive(), e);
        });
        made->SetApiKey(apiKey_.GetUnchecked(), nullptr);
        Core::CheckOut(client);
        Core::HandOut(made, client);
    });
}

bool WorkspaceServicesImpl::LocalModified() {
    const std::optional<fs::path> local = FindLocalFile();
    if (!local) {
        return false;
    }
    // Shared for writing too: the host may have the cached workspace open.
    return LocalModified(
        Platform::IO::HashFileSha2(Utf8(*local), Platform::IO::kShareRead | Platform::IO::kShareWrite));
}

bool WorkspaceServicesImpl::LocalModified(const std::string& localSha2) {
    Core::Ptr<Data::SQLite::impl::SQLiteImpl> connection = ChangesConnection();
    if (!connection->ContainsTable("WorkspaceHash")) {
        return false;
    }
    return localSha2 != ReadStoredHash(connection);
}

bool WorkspaceServicesImpl::RemoteChanged(const std::string& remoteSha2) {
    if (!FindLocalFile()) {
        return true;
    }
    Core::Ptr<Data::SQLite::impl::SQLiteImpl> connection = ChangesConnection();
    if (!connection->ContainsTable("WorkspaceHash")) {
        return true;
    }
    return ReadStoredHash(connection) != remoteSha2;
}

void WorkspaceServicesImpl::DoReload() {
    Core::Log(Core::LogInfo, fmt::format("Reloading workspace [{}] in [{}] from [{}]", description_.name,
                                         FilesFolderText(), urlText_));
    if (LocalModified()) {
        Core::RaiseFatal(
            "Local workspace (.veskdb) file was modified and might be out of sync with the remote. Call Store() or "
            "Discard() in order to save the changes to the remote workspace or discard them locally");
    }
    Storage();
    const RemoteFile remote = FindRemoteFile();
    remoteFileName_ = remote.name;
    const fs::path localPath = filesFolder_ / PathFromUtf8(remote.name);
    if (Exists(localPath)) {
        Core::Ptr<Platform::Interfaces::IFileMetadata> local = Platform::IO::CreateFileMetadata(Utf8(localPath));
        if (remote.sha2 == local->GetSha2()) {
            Core::Log(Core::LogInfo, fmt::format("Local file '{}' is same as 'ss://{}/{}'", Utf8(localPath),
                                                 description_.name, remote.name));
            return;
        }
        Core::Ptr<Data::Interfaces::IDateTime> remoteTime = TimeOf(*remote.metadata);
        Core::Ptr<Data::Interfaces::IDateTime> localTime = TimeOf(*local);
        if (remoteTime && localTime && remoteTime->Compare(localTime.GetUnchecked()) == 0) {
            Core::Log(Core::LogWarn,
                      fmt::format("Local file '{}' has same modification date as 'ss://{}/{}' but hashes do not match!",
                                  Utf8(localPath), description_.name, remote.name));
        } else {
            Core::Log(Core::LogInfo, fmt::format("Local file '{}' is older than 'ss://{}/{}'", Utf8(localPath),
                                                 description_.name, remote.name));
        }
    } else {
        CreateFolders(filesFolder_);
    }
    DownloadInto(localPath, remote.name);
    ReadDescriptionFrom(localPath);
}

// The bytes go to a temporary file beside the cached one, flushed, then renamed over it: a broken transfer
// or a crash leaves the previous file and its recorded hash as they were. The hash recorded is the one
// the storage client checked the downloaded bytes against, which is the remote hash unless the remote
// file changed since its metadata was read.
void WorkspaceServicesImpl::DownloadInto(const fs::path& localPath, const std::string& name) {
    Core::Ptr<Data::Interfaces::IObjectList> files;
    Core::ThrowIfFailed([&](Core::IErrorCode** error) {
        return Storage().DownloadFiles(ListOfNames(name).GetUnchecked(), files.Receive(), error);
    });
    Core::Ptr<Interfaces::IDeserializedFile> file = FirstOf<Interfaces::IDeserializedFile>(files);
    Core::Ptr<Data::Interfaces::IArray> content;
    Core::ThrowIfFailed([&](Core::IErrorCode** error) { return file->GetContent(content.Receive(), error); });
    Core::Ptr<Platform::Interfaces::IFileMetadata> metadata;
    Core::ThrowIfFailed([&](Core::IErrorCode** error) { return file->GetMetadata(metadata.Receive(), error); });
    const std::string sha2 = metadata->GetSha2();
    if (sha2.empty()) {
        throw std::runtime_error(fmt::format("The server sent {} without its SHA-256", name));
    }
    Platform::IO::ReplaceFileAtomically(Utf8(localPath), content->GetData(), content->GetByteSize());
    RecordHash(sha2);
}

void WorkspaceServicesImpl::DoStore() {
    Core::Log(Core::LogInfo,
              fmt::format("Storing workspace [{}] in [{}] to [{}]", description_.name, FilesFolderText(), urlText_));
    // One read gives both the bytes and the hash that decides, is uploaded and is recorded, so a change
    // written to the file meanwhile cannot slip between them, and a large file is read and hashed once.
    const std::optional<fs::path> cached = FindLocalFile();
    LocalCopy local;
    if (cached) {
        local = ReadLocalCopy(*cached);
    }
    if (!cached || !LocalModified(local.sha2)) {
        Core::RaiseFatal(fmt::format(
            "Local workspace [{}] contains no modifications since last synchronization. To prevent accidental "
            "overwrites you must manually upload .veskdb file from [{}] to the [{}]. To avoid this exception, call "
            "IsLocalModified() in order to determine if changes can be stored to the remote server. To ensure that "
            "local workspace is up to date, call Reload().",
            description_.name, FilesFolderText(), urlText_));
    }
    Storage();
    const RemoteFile remote = FindRemoteFile();
    const std::string remoteModified = fmt::format(
        "Remote workspace [{}] was modified since last reload. Call Reload() to update. If you have unsaved changes "
        "you must first call Discard(). Manually merge .veskdb files if you don't want to discard anything. Merge() "
        "(automatic) will be implemented later...",
        description_.name);
    if (RemoteChanged(remote.sha2)) {
        Core::RaiseFatal(remoteModified);
    }
    const fs::path localPath = filesFolder_ / PathFromUtf8(remote.name);
    if (!Exists(localPath)) {
        // Fixed text: hosts match on it.
        Core::RaiseFatal(fmt::format("Failed to store workspace to the remote location since file {} does not exists",
                                     Utf8(localPath)));
    }
    if (localPath != *cached) {
        local = ReadLocalCopy(localPath);
    }
    if (local.sha2 == remote.sha2) {
        Core::Log(Core::LogInfo, fmt::format("Local file '{}' is same as 'ss://{}/{}'", Utf8(localPath),
                                             description_.name, remote.name));
        return;
    }
    Core::Ptr<Platform::Interfaces::IFileMetadata> described =
        Platform::IO::CreateFileMetadata(Utf8(localPath), /*computeHash=*/false);
    auto upload = Core::MakeObject<Platform::IO::DeserializedFile>(
        Core::MakeObject<Platform::IO::impl::FileMetadataImpl>(remote.name, Utf8(localPath), local.sha2,
                                                               local.content->GetByteSize(), TimeOf(*described)),
        local.content, remote.sha2);
    Core::ErrorCode error;
    if (!Storage().UploadFile(upload.GetUnchecked(), Interfaces::StorageReplace, error.Receive())) {
        if (error.Code() == kPreconditionFailed) {
            Core::RaiseFatal(remoteModified);
        }
        throw std::runtime_error(error ? std::string(error.Message()) : std::string("Upload failed"));
    }
    RecordHash(local.sha2);
    ReadDescriptionFrom(localPath);
}

WorkspaceServicesImpl::LocalCopy WorkspaceServicesImpl::ReadLocalCopy(const fs::path& path) {
    LocalCopy copy;
    copy.content = Platform::IO::ReadFileToArray(Utf8(path));
    copy.sha2 = Data::Sha256Hex(copy.content->GetData(), copy.content->GetByteSize());
    return copy;
}

void WorkspaceServicesImpl::DoDiscard() {
    if (const std::optional<fs::path> local = FindLocalFile()) {
        Core::Ptr<Data::SQLite::impl::SQLiteImpl> connection = ChangesConnection();
        std::error_code removeError;
        fs::remove(*local, removeError);
        if (removeError) {
            Core::RaiseFatal(
                Core::StringFormat("Failed to discard and remove local copy of the remote workspace file "
                                   "[%s] due file probably being in use. Error: %d: %s",
                                   Utf8(*local).c_str(), removeError.value(), removeError.message().c_str()));
        }
        auto statement = Data::SQLite::CreateStatement(connection, "DELETE FROM \"WorkspaceHash\" WHERE Uuid = ?");
        statement->Bind(1, Data::Variant::FromUuid(description_.uuid));
        statement->Execute();
    }
    if (!Exists(filesFolder_)) {
        return;
    }
    Core::Log(Core::LogInfo,
              fmt::format("Removing all workspace [{}] local data at {}", description_.name, FilesFolderText()));
    std::error_code removeError;
    fs::remove_all(filesFolder_, removeError);
    if (removeError) {
        throw fs::filesystem_error("remove_all", filesFolder_, removeError);
    }
    CreateFolders(filesFolder_);
}

std::optional<fs::path> WorkspaceServicesImpl::FindLocalFile() const {
    if (!Exists(filesFolder_)) {
        return std::nullopt;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(filesFolder_)) {
        if (entry.is_regular_file() && entry.path().extension() == kExtension) {
            return entry.path();
        }
    }
    return std::nullopt;
}

Core::Ptr<Data::SQLite::impl::SQLiteImpl> WorkspaceServicesImpl::ChangesConnection() {
    if (changesDb_) {
        return changesDb_;
    }
    Core::Ptr<Data::SQLite::impl::SQLiteImpl> connection = Data::SQLite::CreateConnection(changesDbPath_);
    connection->EnableWal();
    Data::SQLite::CreateStatement(connection, kCreateHashTable)->Execute();
    return connection;
}

Core::Ptr<Data::SQLite::impl::SQLiteImpl> WorkspaceServicesImpl::KeptChangesConnection() {
    if (!changesDb_) {
        changesDb_ = ChangesConnection();
    }
    return changesDb_;
}

std::string WorkspaceServicesImpl::ReadStoredHash(const Core::Ptr<Data::SQLite::impl::SQLiteImpl>& connection) {
    Core::Ptr<Data::Interfaces::ITable> table = Data::SQLite::ExecuteToTable(connection, "SELECT * FROM WorkspaceHash");
    if (table->GetRowCount() != 1) {
        Core::RaiseFatal(
            "Cached database does not contain any record (or contains more than 1) of the original workspace hash. "
            "This is probably caused by the bug. Call Discard on the WorkspaceServices to restore the state!");
    }
    return Data::CellNamed(Data::RowAt(table, 0), "Sha256").Text();
}

void WorkspaceServicesImpl::RecordHash(const std::string& sha2) {
    auto statement = Data::SQLite::CreateStatement(KeptChangesConnection(), kRecordHash);
    statement->Bind(1, Data::Variant::FromUuid(description_.uuid));
    statement->Bind(2, Data::Variant::FromString(sha2));
    statement->Bind(3, Data::Variant::FromString(Data::CurrentDateTime().ToString()));
    statement->Execute();
}

Core::Ptr<Interfaces::IStorageServices> WorkspaceServicesImpl::NewStorageClient() {
    Core::Ptr<Interfaces::IStorageServices> client;
    Core::ThrowIfFailed([&](Core::IErrorCode** error) {
        return VeskCore_CreateHttpStorageClientInstance(
            Data::NewString(Core::StringFormat("%s/services/storage", urlText_.c_str())).GetUnchecked(),
            client.Receive(), error);
    });
    return client;
}

Interfaces::IStorageServices& WorkspaceServicesImpl::Storage() {
    if (!storage_) {
        CreateFolders(PathFromUtf8(localFolder_));
        Core::Ptr<Interfaces::IStorageServices> client = NewStorageClient();
        if (apiKey_) {
            Core::ThrowIfFailed(
                [&](Core::IErrorCode** error) { return client->SetApiKey(apiKey_.GetUnchecked(), error); });
        }
        storage_ = std::move(client);
    }
    return *storage_;
}

WorkspaceServicesImpl::RemoteFile WorkspaceServicesImpl::FindRemoteFile() {
    Core::Ptr<Data::Interfaces::IObjectList> names;
    Core::ThrowIfFailed(
        [&](Core::IErrorCode** error) { return Storage().ListFolder("/", nullptr, names.Receive(), error); });
    std::vector<std::string> workspaces;
    for (uint64_t i = 0; names && i < names->GetCount(); ++i) {
        Core::Ptr<Core::IObject> item;
        Core::ThrowIfFailed([&](Core::IErrorCode** error) { return names->Get(i, item.Receive(), error); });
        Core::Ptr<Data::Interfaces::IString> name = item ? item.Cast<Data::Interfaces::IString>() : nullptr;
        if (name && EndsWith(name->GetText(), kExtension)) {
            workspaces.emplace_back(name->GetText(), name->GetLength());
        }
    }
    if (workspaces.empty()) {
        throw std::runtime_error(Core::StringFormat(
            "No .veskdb (Veskora Workspace) file found on the remote workspace %s", description_.name.c_str()));
    }
    if (workspaces.size() > 1) {
        // Fixed text: hosts match on it.
        throw std::runtime_error(
            Core::StringFormat("Multiple .veskdb files found. Aborting... Remote workspace [%s] "
                               "should have single .veskdb file in the root foolder",
                               description_.name.c_str()));
    }
    Core::Ptr<Data::Interfaces::IObjectList> metadata;
    Core::ThrowIfFailed([&](Core::IErrorCode** error) {
        return Storage().GetFilesMetadata(ListOfNames(workspaces.front()).GetUnchecked(), metadata.Receive(), error);
    });
    RemoteFile remote;
    remote.metadata = FirstOf<Platform::Interfaces::IFileMetadata>(metadata);
    remote.name = remote.metadata->GetName();
    remote.sha2 = remote.metadata->GetSha2();
    // The name becomes a path in the cache: a server must not steer a download out of its folder.
    if (!IsPlainFileName(remote.name)) {
        throw std::runtime_error(fmt::format(
            "The server names the workspace file '{}', which is not a plain file name; nothing was downloaded",
            remote.name));
    }
    return remote;
}

Core::Ptr<Platform::Interfaces::IFileMetadata> WorkspaceServicesImpl::RemoteMetadata(const std::string& name) {
    Core::Ptr<Data::Interfaces::IObjectList> metadata;
    Core::ThrowIfFailed([&](Core::IErrorCode** error) {
        return Storage().GetFilesMetadata(ListOfNames(name).GetUnchecked(), metadata.Receive(), error);
    });
    if (!metadata || metadata->GetCount() == 0) {
        return {};
    }
    return FirstOf<Platform::Interfaces::IFileMetadata>(metadata);
}

void WorkspaceServicesImpl::ReadDescriptionFrom(const fs::path& file) {
    auto workspace = Core::MakeObject<Workspace::impl::WorkspaceManagerImpl>(NewUuid(), Utf8(file),
                                                                             Interfaces::ReadOnly, nullptr, 0);
    description_.name = workspace->Name();
    Core::Ptr<Data::Interfaces::IString> text;
    Core::ThrowIfFailed([&](Core::IErrorCode** error) { return workspace->GetDescription(text.Receive(), error); });
    description_.description = text ? std::string(text->GetText(), text->GetLength()) : std::string();
}

std::string WorkspaceServicesImpl::FilesFolderText() const {
    return Utf8(filesFolder_);
}

}  // namespace Vesk::Workspace::Services::impl
