// The workspace store on a local folder: one subfolder per workspace, uploads through temporary
// files renamed into place, and a cache of file hashes keyed by what changes when a file changes.

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>

#include "Hashing.h"
#include "System.h"
#include "WorkspaceStore.h"

namespace VeskServer {
namespace {

namespace fs = std::filesystem;
using System::FileKind;
using System::FileStatus;

constexpr std::size_t kChunk = 256 * 1024;
constexpr std::size_t kLockStripes = 64;
constexpr std::size_t kMaxCachedHashes = 100000;

}  // namespace

bool IsWorkspaceUuid(const std::string& name) {
    if (name.size() != 36) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-') {
                return false;
            }
        } else if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

namespace {

std::string RandomHex(std::size_t bytes) {
    std::vector<unsigned char> random(bytes);
    if (RAND_bytes(random.data(), static_cast<int>(random.size())) != 1) {
        throw std::runtime_error("RAND_bytes failed");
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned char b : random) {
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    return text;
}

// SQLite URI file names take the path percent-encoded where it has URI delimiters.
std::string SqliteUri(const fs::path& file) {
    std::string uri = "file:";
    for (unsigned char c : file.string()) {
        if (c == '%' || c == '?' || c == '#' || c < 0x20 || c >= 0x7f) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        } else {
            uri += static_cast<char>(c);
        }
    }
    return uri + "?immutable=1";
}

std::optional<WorkspaceLabel> ReadLabel(const fs::path& database) {
    sqlite3* db = nullptr;
    std::optional<WorkspaceLabel> label;
    if (sqlite3_open_v2(SqliteUri(database).c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT Name, Description FROM Workspaces LIMIT 1", -1, &statement, nullptr) ==
                SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            const auto text = [&](int column) {
                const auto* value = sqlite3_column_text(statement, column);
                return value ? std::string(reinterpret_cast<const char*>(value)) : std::string();
            };
            if (sqlite3_column_type(statement, 0) != SQLITE_NULL) {
                label = WorkspaceLabel{text(0), text(1)};
            }
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return label;
}

StoreEntry EntryOf(std::string name, const FileStatus& status) {
    StoreEntry entry;
    entry.name = std::move(name);
    entry.isFolder = status.kind == FileKind::Folder;
    entry.size = entry.isFolder ? 0 : status.size;
    entry.modifiedSeconds = status.modifiedNanoseconds / 1000000000;
    return entry;
}

class FolderReader final : public StoreReader {
public:
    FolderReader(System::NativeFile file, StoreEntry entry) : file_(std::move(file)), entry_(std::move(entry)) {}
    const StoreEntry& Entry() const override { return entry_; }
    std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size) const override {
        return file_.ReadAt(offset, buffer, size);
    }

private:
    System::NativeFile file_;
    StoreEntry entry_;
};

// The root as an absolute path without links, so that every path below it can be checked against it.
fs::path CanonicalRoot(const std::string& root) {
    std::error_code error;
    fs::path canonical = fs::canonical(root, error);
    if (error) {
        throw std::runtime_error("The storage root " + root + " cannot be used: " + error.message());
    }
    return canonical;
}

class FolderStore;

class FolderUpload final : public StoreUpload {
public:
    FolderUpload(FolderStore& store, fs::path target, fs::path temporary)
        : store_(store),
          target_(std::move(target)),
          temporary_(std::move(temporary)),
          file_(System::NativeFile::CreateNew(temporary_)) {}
    ~FolderUpload() override {
        file_.Close();
        if (!committed_) {
            std::error_code ignored;
            fs::remove(temporary_, ignored);
        }
    }
    void Append(const char* data, std::size_t size) override {
        file_.Write(data, size);
        hasher_.Update(data, size);
        size_ += size;
    }
    std::uint64_t Size() const override { return size_; }
    Sha256 Digest() override {
        if (!digest_) {
            digest_ = hasher_.Finish();
        }
        return *digest_;
    }
    CommitOutcome Commit(const Precondition& precondition) override;

private:
    FolderStore& store_;
    fs::path target_;
    fs::path temporary_;
    System::NativeFile file_;
    Sha256Hasher hasher_;
    std::optional<Sha256> digest_;
    std::uint64_t size_ = 0;
    bool committed_ = false;
};

class FolderStore final : public WorkspaceStore {
public:
    explicit FolderStore(const std::string& root) : root_(CanonicalRoot(root)) {
        if (System::Status(root_).kind != FileKind::Folder) {
            throw std::runtime_error("The storage root is no folder: " + root);
        }
    }

    std::vector<std::string> ListWorkspaces() override {
        std::vector<std::string> names;
        for (const auto& item : fs::directory_iterator(root_)) {
            const std::string name = item.path().filename().string();
            if (IsWorkspaceUuid(name) && System::Status(item.path()).kind == FileKind::Folder) {
                names.push_back(name);
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::optional<WorkspaceLabel> DescribeWorkspace(const std::string& workspace) override {
        if (!IsWorkspaceUuid(workspace)) {
            return std::nullopt;
        }
        const fs::path folder = root_ / workspace;
        if (System::Status(folder).kind != FileKind::Folder) {
            return std::nullopt;
        }
        std::vector<fs::path> databases;
        std::error_code error;
        for (const auto& item : fs::directory_iterator(folder, error)) {
            if (item.path().extension() == ".veskdb" && System::Status(item.path()).kind == FileKind::File) {
                databases.push_back(item.path());
            }
        }
        // Only a single database names the workspace; with none or several the UUID stands in.
        if (databases.size() == 1) {
            if (auto label = ReadLabel(databases.front())) {
                return label;
            }
        }
        return WorkspaceLabel{workspace, ""};
    }

    std::optional<StoreEntry> Stat(const StorePath& path) override {
        const auto [full, status] = Resolve(path);
        if (status.kind == FileKind::Missing) {
            return std::nullopt;
        }
        StoreEntry entry = EntryOf(path.IsRoot() ? std::string() : path.segments.back(), status);
        if (!entry.isFolder) {
            // The hash belongs to the file that was opened, so the size and time come from it too.
            const auto file = System::NativeFile::OpenForReading(full);
            const FileStatus opened = file.Status();
            entry = EntryOf(entry.name, opened);
            entry.sha256 = HashOf(full, file, opened);
        }
        return entry;
    }

    std::vector<StoreEntry> List(const StorePath& folder) override {
        const auto [full, status] = Resolve(folder);
        if (status.kind == FileKind::Missing) {
            throw StoreError(StoreFault::NotFound, "Not found");
        }
        if (status.kind != FileKind::Folder) {
            throw StoreError(StoreFault::NotFolder, "Not a folder");
        }
        std::vector<StoreEntry> entries;
        for (const auto& item : fs::directory_iterator(full)) {
            std::string name = item.path().filename().string();
            if (name.rfind(kReservedPrefix, 0) == 0) {
                continue;
            }
            const FileStatus member = System::Status(item.path());
            if (member.kind == FileKind::File || member.kind == FileKind::Folder) {
                entries.push_back(EntryOf(std::move(name), member));
            }
        }
        std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
        return entries;
    }

    std::unique_ptr<StoreReader> Open(const StorePath& path) override {
        const auto [full, status] = Resolve(path);
        if (status.kind == FileKind::Missing) {
            throw StoreError(StoreFault::NotFound, "Not found");
        }
        if (status.kind == FileKind::Folder) {
            throw StoreError(StoreFault::IsFolder, "Is a folder");
        }
        auto file = System::NativeFile::OpenForReading(full);
        const FileStatus opened = file.Status();
        StoreEntry entry = EntryOf(path.segments.empty() ? std::string() : path.segments.back(), opened);
        entry.sha256 = HashOf(full, file, opened);
        return std::make_unique<FolderReader>(std::move(file), std::move(entry));
    }

    std::unique_ptr<StoreUpload> BeginUpload(const StorePath& path) override {
        if (path.IsRoot()) {
            throw StoreError(StoreFault::IsFolder, "The storage root is a folder");
        }
        // The first upload to a workspace shares it: its folder comes into being here.
        const fs::path workspace = root_ / CheckedWorkspace(path);
        if (System::Status(workspace).kind == FileKind::Missing) {
            std::error_code ignored;
            fs::create_directory(workspace, ignored);
        }
        StorePath parent = path;
        parent.segments.pop_back();
        const auto [parentFull, parentStatus] = Resolve(parent);
        if (parentStatus.kind != FileKind::Folder) {
            throw StoreError(StoreFault::ParentMissing, "The parent folder does not exist");
        }
        const auto [full, status] = Resolve(path);
        if (status.kind == FileKind::Folder) {
            throw StoreError(StoreFault::IsFolder, "The target is a folder");
        }
        return std::make_unique<FolderUpload>(*this, full,
                                              parentFull / (std::string(kReservedPrefix) + "upload-" + RandomHex(12)));
    }

    void MakeFolder(const StorePath& path) override {
        if (!path.IsRoot()) {
            StorePath parent = path;
            parent.segments.pop_back();
            if (Resolve(parent).second.kind != FileKind::Folder) {
                throw StoreError(StoreFault::ParentMissing, "The parent folder does not exist");
            }
        }
        const auto [full, status] = Resolve(path);
        std::error_code error;
        if (status.kind != FileKind::Missing || !fs::create_directory(full, error)) {
            if (error) {
                throw std::system_error(error, "create_directory");
            }
            throw StoreError(StoreFault::Exists, "The resource exists");
        }
    }

    void Delete(const StorePath& path) override {
        if (path.IsRoot()) {
            throw StoreError(StoreFault::Forbidden, "The storage root cannot be deleted");
        }
        const auto [full, status] = Resolve(path);
        if (status.kind == FileKind::Missing) {
            throw StoreError(StoreFault::NotFound, "Not found");
        }
        fs::remove_all(full);
        std::lock_guard lock(cacheMutex_);
        const std::string prefix = full.string();
        for (auto it = hashes_.lower_bound(prefix); it != hashes_.end() && it->first.rfind(prefix, 0) == 0;) {
            it = hashes_.erase(it);
        }
    }

    // Serialises check-and-replace of one path against other uploads of it.
    std::mutex& LockFor(const fs::path& target) {
        return stripes_[std::hash<std::string>{}(target.string()) % stripes_.size()];
    }

    // SHA-256 of the file open in file whose status is status, from the cache when it is unchanged.
    Sha256 HashOf(const fs::path& full, const System::NativeFile& file, const FileStatus& status) {
        {
            std::lock_guard lock(cacheMutex_);
            const auto it = hashes_.find(full.string());
            if (it != hashes_.end() && Same(it->second.status, status)) {
                return it->second.sha256;
            }
        }
        Sha256Hasher hasher;
        std::vector<char> buffer(kChunk);
        std::uint64_t offset = 0;
        while (const std::size_t n = file.ReadAt(offset, buffer.data(), buffer.size())) {
            hasher.Update(buffer.data(), n);
            offset += n;
        }
        const Sha256 sha = hasher.Finish();
        Remember(full, status, sha);
        return sha;
    }

    void Remember(const fs::path& full, const FileStatus& status, const Sha256& sha) {
        std::lock_guard lock(cacheMutex_);
        if (hashes_.size() >= kMaxCachedHashes) {
            hashes_.clear();
        }
        hashes_[full.string()] = CachedHash{status, sha};
    }

private:
    struct CachedHash {
        FileStatus status;
        Sha256 sha256;
    };

    static bool Same(const FileStatus& a, const FileStatus& b) {
        return a.size == b.size && a.modifiedNanoseconds == b.modifiedNanoseconds && a.inode == b.inode &&
               a.device == b.device;
    }

    static const std::string& CheckedWorkspace(const StorePath& path) {
        if (!IsWorkspaceUuid(path.workspace)) {
            throw StoreError(StoreFault::NotFound, "Unknown workspace");
        }
        return path.workspace;
    }

    // The full path and its status. Every existing step below the root must be a real folder (the
    // last may be a file): a symbolic link could lead out of the root, so none is followed.
    std::pair<fs::path, FileStatus> Resolve(const StorePath& path) const {
        fs::path full = root_ / CheckedWorkspace(path);
        FileStatus status = System::Status(full);
        for (const auto& segment : path.segments) {
            if (status.kind == FileKind::Missing) {
                full /= segment;
                continue;
            }
            if (status.kind == FileKind::File) {
                // Nothing can exist below a file: the rest of the path is missing.
                status = FileStatus{};
                full /= segment;
                continue;
            }
            if (status.kind != FileKind::Folder) {
                throw StoreError(StoreFault::Forbidden, "The path does not lead through folders");
            }
            full /= segment;
            status = System::Status(full);
        }
        if (status.kind == FileKind::Link || status.kind == FileKind::Other) {
            throw StoreError(StoreFault::Forbidden, "Not a plain file or folder");
        }
        return {full, status};
    }

    const fs::path root_;
    std::array<std::mutex, kLockStripes> stripes_;
    std::mutex cacheMutex_;
    std::map<std::string, CachedHash> hashes_;  // guarded by cacheMutex_
};

CommitOutcome FolderUpload::Commit(const Precondition& precondition) {
    Digest();
    file_.Sync();
    file_.Close();
    std::lock_guard lock(store_.LockFor(target_));
    const FileStatus current = System::Status(target_);
    if (current.kind == FileKind::Folder) {
        throw StoreError(StoreFault::IsFolder, "The target is a folder");
    }
    if (current.kind != FileKind::Missing && current.kind != FileKind::File) {
        throw StoreError(StoreFault::Forbidden, "Not a plain file");
    }
    const bool exists = current.kind == FileKind::File;
    switch (precondition.kind) {
        case Precondition::Kind::None:
            break;
        case Precondition::Kind::MustExist:
            if (!exists) {
                throw StoreError(StoreFault::PreconditionFailed, "The file does not exist");
            }
            break;
        case Precondition::Kind::MustNotExist:
            if (exists) {
                throw StoreError(StoreFault::PreconditionFailed, "The file exists");
            }
            break;
        case Precondition::Kind::MatchSha256: {
            if (!exists) {
                throw StoreError(StoreFault::PreconditionFailed, "The file does not exist");
            }
            const auto file = System::NativeFile::OpenForReading(target_);
            if (store_.HashOf(target_, file, file.Status()) != precondition.expected) {
                throw StoreError(StoreFault::PreconditionFailed, "The file was modified");
            }
            break;
        }
    }
    fs::rename(temporary_, target_);
    committed_ = true;
    System::SyncFolder(target_.parent_path());
    store_.Remember(target_, System::Status(target_), *digest_);
    return exists ? CommitOutcome::Replaced : CommitOutcome::Created;
}

}  // namespace

std::unique_ptr<WorkspaceStore> MakeFolderStore(const std::string& root) {
    return std::make_unique<FolderStore>(root);
}

}  // namespace VeskServer
