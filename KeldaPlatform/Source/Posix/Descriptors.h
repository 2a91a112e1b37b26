#pragma once
// Every descriptor the platform layer opens on a file goes through one process-wide table.
//
// Closing any descriptor of a file drops every POSIX record lock that the process holds on that
// file, whichever descriptor took it. A database engine in the same process locks its files that
// way, so hashing or reading a database file must not simply open and close it. The table closes a
// descriptor of ours only when no descriptor of the same file (device and inode) other than ours is
// open in the process; otherwise it keeps the descriptor open ("parked") and closes it later, once
// the other descriptors are gone. A parked descriptor is handed out again to the next compatible
// open of the same file, so parking does not grow without bound. Descriptors of ours never take
// record locks.
#include <sys/types.h>

#include <cstdint>
#include <string>

namespace Platform::Posix::IO {

struct FileKey {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileKey& other) const { return device == other.device && inode == other.inode; }
};

// An open descriptor registered in the table; giving it up goes through the table. Owner thread
// only; the table behind it is safe for concurrent use.
class RegisteredDescriptor {
public:
    RegisteredDescriptor() = default;
    ~RegisteredDescriptor() { Reset(); }
    RegisteredDescriptor(RegisteredDescriptor&& other) noexcept;
    RegisteredDescriptor& operator=(RegisteredDescriptor&& other) noexcept;
    RegisteredDescriptor(const RegisteredDescriptor&) = delete;
    RegisteredDescriptor& operator=(const RegisteredDescriptor&) = delete;

    // Opens path with the open(2) flags and mode; reuses a parked descriptor of the same file when
    // the flags allow. Returns false with errno set on failure.
    bool Open(const std::string& path, int flags, mode_t mode);

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    const FileKey& Key() const { return key_; }
    void Reset() noexcept;

private:
    int fd_ = -1;
    FileKey key_;
};

// Closes the parked descriptors that no longer need to stay open; gives how many remain parked.
size_t SweepParkedDescriptors();

}  // namespace Platform::Posix::IO
