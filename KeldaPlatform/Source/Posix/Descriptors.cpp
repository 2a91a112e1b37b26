#include "Descriptors.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

namespace Platform::Posix::IO {
namespace {

struct KeyLess {
    bool operator()(const FileKey& a, const FileKey& b) const {
        return a.device != b.device ? a.device < b.device : a.inode < b.inode;
    }
};

// Closes once, never again on EINTR: a close interrupted by a signal has still released the descriptor
// on the systems we run on, and a second close could hit a descriptor another thread just opened.
int CloseOnce(int fd) {
    return ::close(fd);
}

// Safe for concurrent use: every operation runs under the table's mutex.
class DescriptorTable {
public:
    static DescriptorTable& Instance() {
        // Never destroyed: file objects may be released from static destructors of other parts,
        // after this table would otherwise be gone.
        static DescriptorTable* table = new DescriptorTable;
        return *table;
    }

    void Register(int fd) {
        std::lock_guard<std::mutex> lock(mutex_);
        ours_.insert(fd);
        SweepLocked();
    }

    int TakeParked(const FileKey& key, int accessMode) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = parked_.find(key);
        if (it == parked_.end()) {
            return -1;
        }
        std::vector<int>& fds = it->second;
        for (auto fd = fds.begin(); fd != fds.end(); ++fd) {
            const int flags = fcntl(*fd, F_GETFL);
            if (flags >= 0 && (flags & O_ACCMODE) == accessMode && (flags & O_APPEND) == 0) {
                const int taken = *fd;
                fds.erase(fd);
                if (fds.empty()) {
                    parked_.erase(it);
                }
                return taken;
            }
        }
        return -1;
    }

    void Release(int fd, const FileKey& key) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (ForeignDescriptorOpen(key)) {
            parked_[key].push_back(fd);
        } else {
            ours_.erase(fd);
            CloseOnce(fd);
        }
        SweepLocked();
    }

    size_t Sweep() {
        std::lock_guard<std::mutex> lock(mutex_);
        SweepLocked();
        size_t count = 0;
        for (const auto& entry : parked_) {
            count += entry.second.size();
        }
        return count;
    }

private:
    void SweepLocked() {
        for (auto it = parked_.begin(); it != parked_.end();) {
            if (ForeignDescriptorOpen(it->first)) {
                ++it;
                continue;
            }
            for (int fd : it->second) {
                ours_.erase(fd);
                CloseOnce(fd);
            }
            it = parked_.erase(it);
        }
    }

    // Whether a descriptor that is not ours refers to the file: only such a one can hold locks.
    bool ForeignDescriptorOpen(const FileKey& key) const {
        DIR* dir = opendir("/proc/self/fd");
        if (dir == nullptr) {
            dir = opendir("/dev/fd");
        }
        if (dir == nullptr) {
            // Without a list of descriptors, assume the worst: keeping one open is harmless.
            return true;
        }
        const int own = dirfd(dir);
        bool found = false;
        while (dirent* entry = readdir(dir)) {
            char* end = nullptr;
            const long fd = std::strtol(entry->d_name, &end, 10);
            if (end == entry->d_name || *end != '\0' || fd == own || ours_.count(static_cast<int>(fd)) != 0) {
                continue;
            }
            struct stat info {};
            if (fstat(static_cast<int>(fd), &info) == 0 && info.st_dev == key.device && info.st_ino == key.inode) {
                found = true;
                break;
            }
        }
        closedir(dir);
        return found;
    }

    std::mutex mutex_;
    std::set<int> ours_;                                   // guarded by mutex_
    std::map<FileKey, std::vector<int>, KeyLess> parked_;  // guarded by mutex_
};

}  // namespace

RegisteredDescriptor::RegisteredDescriptor(RegisteredDescriptor&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), key_(other.key_) {}

RegisteredDescriptor& RegisteredDescriptor::operator=(RegisteredDescriptor&& other) noexcept {
    if (this != &other) {
        Reset();
        fd_ = std::exchange(other.fd_, -1);
        key_ = other.key_;
    }
    return *this;
}

bool RegisteredDescriptor::Open(const std::string& path, int flags, mode_t mode) {
    Reset();
    DescriptorTable& table = DescriptorTable::Instance();
    // Only plain opens of an existing file may take a parked descriptor: creation and truncation
    // must reach the file system.
    if ((flags & (O_EXCL | O_TRUNC)) == 0) {
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            const FileKey key{info.st_dev, info.st_ino};
            const int parked = table.TakeParked(key, flags & O_ACCMODE);
            if (parked >= 0) {
                if (lseek(parked, 0, SEEK_SET) >= 0) {
                    fd_ = parked;
                    key_ = key;
                    return true;
                }
                table.Release(parked, key);
            }
        }
    }
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return false;
    }
    fd_ = fd;
    key_ = FileKey{info.st_dev, info.st_ino};
    table.Register(fd_);
    return true;
}

void RegisteredDescriptor::Reset() noexcept {
    if (fd_ >= 0) {
        DescriptorTable::Instance().Release(std::exchange(fd_, -1), key_);
    }
}

size_t SweepParkedDescriptors() {
    return DescriptorTable::Instance().Sweep();
}

}  // namespace Platform::Posix::IO
