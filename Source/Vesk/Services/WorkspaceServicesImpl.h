#pragma once
#include <filesystem>
#include <optional>
#include <string>

#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Private/Data/SQLite.h"
#include "Vesk/Services/IWorkspaceServices.h"
#include "Vesk/Services/ServiceRequests.h"

namespace Vesk::Workspace::Services::impl {

// One remote workspace and its local cache (see IWorkspaceServices). Owner thread only: it takes no
// lock, and calls on one object must not overlap. Other objects and processes may share the cache
// folder: "Changes.db" runs in write-ahead-log mode and the cached file is replaced in one step.
class WorkspaceServicesImpl final : public Core::ObjectT<Interfaces::IWorkspaceServices> {
public:
    // Asks the server at url for the workspace's description; throws what the request or the answer
    // fails with.
    static Core::Ptr<WorkspaceServicesImpl> Open(const std::string& url, const std::string& localFolder,
                                                 Core::Ptr<Data::Interfaces::ISecureString> apiKey);

    // A workspace of a server's listing: everything is given and nothing is sent.
    WorkspaceServicesImpl(Core::Ptr<Platform::Interfaces::IHttpClient> client, const std::string& url,
                          const std::string& localFolder, Core::Ptr<Data::Interfaces::ISecureString> apiKey,
                          WorkspaceDescription description);

    bool SetApiKey(Core::IObject* key, Core::IErrorCode** error) override;
    bool IsLocalModified(Core::IErrorCode** error) override;
    bool IsRemoteModified(Core::IErrorCode** error) override;
    bool Reload(Core::IErrorCode** error) override;
    bool Store(Core::IErrorCode** error) override;
    bool Discard(Core::IErrorCode** error) override;
    bool GetUuid(Data::Structures::_UUID* uuid, Core::IErrorCode** error) override;
    const char* GetName() override { return description_.name.c_str(); }
    const char* GetDescription() override { return description_.description.c_str(); }
    Platform::Interfaces::IUrl* GetUrl() override { return url_.GetUnchecked(); }
    bool OpenWorkspace(Interfaces::IWorkspaceManager** workspace, Core::IErrorCode** error) override;
    bool CreateStorageServices(Interfaces::IStorageServices** storage, Core::IErrorCode** error) override;
    bool Reserved1(Core::IObject* argument, Core::IErrorCode** error) override;
    bool Reserved2(Core::IObject* argument, Core::IErrorCode** error) override;
    bool CreateDirectDatabaseAccess(Interfaces::IDirectDatabaseAccessServices** client,
                                    Core::IErrorCode** error) override;

    const std::vector<ServiceEntry>& Services() const { return description_.services; }

private:
    ~WorkspaceServicesImpl() override = default;

    // What the server says of the one remote workspace file.
    struct RemoteFile {
        std::string name;
        std::string sha2;
        Core::Ptr<Platform::Interfaces::IFileMetadata> metadata;
    };

    // The cached file's bytes, read once, and their SHA-256.
    struct LocalCopy {
        Core::Ptr<Data::Interfaces::IArray> content;
        std::string sha2;
    };

    // Whether the cached file differs from what was last synchronised (false without a cached file).
    bool LocalModified();
    // The same for a cached file whose hash is known.
    bool LocalModified(const std::string& localSha2);
    static LocalCopy ReadLocalCopy(const std::filesystem::path& path);
    bool RemoteChanged(const std::string& remoteSha2);
    void DoReload();
    void DoStore();
    void DoDiscard();

    std::optional<std::filesystem::path> FindLocalFile() const;
    Core::Ptr<Data::SQLite::impl::SQLiteImpl> ChangesConnection();
    Core::Ptr<Data::SQLite::impl::SQLiteImpl> KeptChangesConnection();
    std::string ReadStoredHash(const Core::Ptr<Data::SQLite::impl::SQLiteImpl>& connection);
    void RecordHash(const std::string& sha2);
    Interfaces::IStorageServices& Storage();
    Core::Ptr<Interfaces::IStorageServices> NewStorageClient();
    RemoteFile FindRemoteFile();
    Core::Ptr<Platform::Interfaces::IFileMetadata> RemoteMetadata(const std::string& name);
    void ReadDescriptionFrom(const std::filesystem::path& file);
    void DownloadInto(const std::filesystem::path& localPath, const std::string& name);
    std::string FilesFolderText() const;

    WorkspaceDescription description_;
    std::string localFolder_;
    std::filesystem::path filesFolder_;
    std::string changesDbPath_;
    std::string remoteFileName_;
    Core::Ptr<Platform::Interfaces::IHttpClient> httpClient_;
    std::string urlText_;
    Core::Ptr<Platform::Interfaces::IUrl> url_;
    Core::Ptr<Data::Interfaces::ISecureString> apiKey_;
    Core::Ptr<Interfaces::IStorageServices> storage_;
    Core::Ptr<Data::SQLite::impl::SQLiteImpl> changesDb_;
};

}  // namespace Vesk::Workspace::Services::impl
