#pragma once
// The few operating-system services the server needs beyond the C++ standard library. Everything
// that names a system header lives in SystemPosix.cpp, so another backend replaces one file.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace VeskServer::System {

enum class FileKind { Missing, File, Folder, Link, Other };

// What the server needs to know about one directory entry without following symbolic links.
struct FileStatus {
    FileKind kind = FileKind::Missing;
    std::uint64_t size = 0;
    std::int64_t modifiedNanoseconds = 0;  // since 1970-01-01 UTC
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

// Status of path without following a final symbolic link; kind Missing when it does not exist.
// Throws std::runtime_error for other failures (permissions, I/O).
FileStatus Status(const std::filesystem::path& path);

// An open file descriptor, closed by the destructor. Owner thread only, except ReadAt, which is safe
// for concurrent use because it never moves a shared file offset.
class NativeFile {
public:
    NativeFile() = default;
    ~NativeFile();
    NativeFile(NativeFile&& other) noexcept;
    NativeFile& operator=(NativeFile&& other) noexcept;
    NativeFile(const NativeFile&) = delete;
    NativeFile& operator=(const NativeFile&) = delete;

    // Opens an existing regular file for reading, refusing a symbolic link; throws on failure.
    static NativeFile OpenForReading(const std::filesystem::path& path);
    // Creates a new file (it must not exist) for writing, mode 0644; throws on failure.
    static NativeFile CreateNew(const std::filesystem::path& path);

    // Reads up to size bytes at offset; returns the count (0 at the end); throws on failure.
    std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size) const;
    // Writes all size bytes at the current offset; throws on failure.
    void Write(const char* data, std::size_t size);
    // Flushes the file's data to the device; throws on failure.
    void Sync();
    // Status of the open file itself.
    FileStatus Status() const;
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

private:
    explicit NativeFile(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// Flushes a folder's entries (after a rename into it) to the device; failures are ignored because
// some file systems refuse to sync a directory and the data itself is already safe.
void SyncFolder(const std::filesystem::path& folder) noexcept;

// Blocks SIGINT and SIGTERM in the calling thread and every thread it starts afterwards, so that
// only WaitForTerminationSignal sees them. Call before starting any thread.
void BlockTerminationSignals();
// Waits until SIGINT or SIGTERM arrives and returns its number.
int WaitForTerminationSignal();

}  // namespace VeskServer::System
