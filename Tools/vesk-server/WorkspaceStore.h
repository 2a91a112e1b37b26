#pragma once
// The storage behind the server: workspaces, each a tree of folders and files. The HTTP layer sees
// only this interface, so a store with conditional writes (an object store) can replace the folder.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace VeskServer {

using Sha256 = std::array<unsigned char, 32>;

// One file or folder inside one workspace: the workspace UUID (lower-case text) and the path
// segments below its root, each already checked by the caller (no "." or "..", no separators).
struct StorePath {
    std::string workspace;
    std::vector<std::string> segments;

    bool IsRoot() const { return segments.empty(); }
};

struct StoreEntry {
    std::string name;  // last path segment; empty for a workspace root
    bool isFolder = false;
    std::uint64_t size = 0;
    std::int64_t modifiedSeconds = 0;  // since 1970-01-01 UTC
    std::optional<Sha256> sha256;      // files only
};

struct WorkspaceLabel {
    std::string name;
    std::string description;
};

// Why an operation was refused; the HTTP layer maps each to a status.
enum class StoreFault { NotFound, IsFolder, NotFolder, Exists, ParentMissing, PreconditionFailed, Forbidden };

class StoreError : public std::runtime_error {
public:
    StoreError(StoreFault fault, const std::string& message) : std::runtime_error(message), fault_(fault) {}
    StoreFault Fault() const { return fault_; }

private:
    StoreFault fault_;
};

// An open file for streaming out. Safe for concurrent use (reads carry their own offset).
class StoreReader {
public:
    virtual ~StoreReader() = default;
    // The opened file as it was when opened: size, time and the SHA-256 of exactly these bytes.
    virtual const StoreEntry& Entry() const = 0;
    // Reads up to size bytes at offset into buffer; returns the count; throws on I/O failure.
    virtual std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size) const = 0;
};

// What must hold for an upload to be committed.
struct Precondition {
    enum class Kind { None, MustExist, MatchSha256, MustNotExist } kind = Kind::None;
    Sha256 expected{};
};

enum class CommitOutcome { Created, Replaced };

// An upload in progress: bytes go to a temporary place and replace the target only on Commit.
// Owner thread only. Destroying an uncommitted upload discards its bytes.
class StoreUpload {
public:
    virtual ~StoreUpload() = default;
    // Appends bytes; throws on I/O failure.
    virtual void Append(const char* data, std::size_t size) = 0;
    // Bytes appended so far.
    virtual std::uint64_t Size() const = 0;
    // SHA-256 of everything appended so far; call once all bytes are in.
    virtual Sha256 Digest() = 0;
    // Makes the bytes durable, checks the precondition and replaces the target in one step against
    // other uploads of the same path. Throws StoreError PreconditionFailed (target untouched),
    // IsFolder or ParentMissing.
    virtual CommitOutcome Commit(const Precondition& precondition) = 0;
};

// Safe for concurrent use by the server's worker threads.
class WorkspaceStore {
public:
    virtual ~WorkspaceStore() = default;
    // UUIDs of the workspaces, sorted.
    virtual std::vector<std::string> ListWorkspaces() = 0;
    // Name and description of a workspace; nullopt when it does not exist.
    virtual std::optional<WorkspaceLabel> DescribeWorkspace(const std::string& workspace) = 0;
    // The entry at path with its SHA-256 for a file; nullopt when missing.
    virtual std::optional<StoreEntry> Stat(const StorePath& path) = 0;
    // Members of a folder, sorted by name, without the store's own temporary files (no SHA-256).
    // Throws StoreError NotFound or NotFolder.
    virtual std::vector<StoreEntry> List(const StorePath& folder) = 0;
    // Opens a file for reading. Throws StoreError NotFound or IsFolder.
    virtual std::unique_ptr<StoreReader> Open(const StorePath& path) = 0;
    // Starts an upload to path, creating a missing workspace root. Throws StoreError ParentMissing,
    // IsFolder or Forbidden (the root itself).
    virtual std::unique_ptr<StoreUpload> BeginUpload(const StorePath& path) = 0;
    // Creates a folder. Throws StoreError Exists or ParentMissing.
    virtual void MakeFolder(const StorePath& path) = 0;
    // Deletes a file or a folder with everything in it. Throws StoreError NotFound or Forbidden (root).
    virtual void Delete(const StorePath& path) = 0;
};

// Whether name is a workspace UUID in its lower-case hyphenated text form.
bool IsWorkspaceUuid(const std::string& name);

// A store on a local folder that holds one subfolder per workspace; throws when root is no folder.
std::unique_ptr<WorkspaceStore> MakeFolderStore(const std::string& root);

// Prefix of the store's temporary files, which no client path may use.
inline constexpr const char* kReservedPrefix = ".vesk-";

}  // namespace VeskServer
