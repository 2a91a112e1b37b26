// The server's only contact with POSIX; see System.h.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "System.h"

namespace VeskServer::System {
namespace {

[[noreturn]] void ThrowErrno(const char* what, const std::filesystem::path& path) {
    throw std::system_error(errno, std::generic_category(), std::string(what) + " " + path.string());
}

FileStatus FromStat(const struct stat& st) {
    FileStatus status;
    if (S_ISREG(st.st_mode)) {
        status.kind = FileKind::File;
    } else if (S_ISDIR(st.st_mode)) {
        status.kind = FileKind::Folder;
    } else if (S_ISLNK(st.st_mode)) {
        status.kind = FileKind::Link;
    } else {
        status.kind = FileKind::Other;
    }
    status.size = static_cast<std::uint64_t>(st.st_size);
    status.modifiedNanoseconds =
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + static_cast<std::int64_t>(st.st_mtim.tv_nsec);
    status.device = static_cast<std::uint64_t>(st.st_dev);
    status.inode = static_cast<std::uint64_t>(st.st_ino);
    return status;
}

}  // namespace

FileStatus Status(const std::filesystem::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return {};
        }
        ThrowErrno("lstat", path);
    }
    return FromStat(st);
}

NativeFile::~NativeFile() {
    Close();
}

NativeFile::NativeFile(NativeFile&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

NativeFile& NativeFile::operator=(NativeFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

NativeFile NativeFile::OpenForReading(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        ThrowErrno("open", path);
    }
    return NativeFile(fd);
}

NativeFile NativeFile::CreateNew(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        ThrowErrno("create", path);
    }
    return NativeFile(fd);
}

std::size_t NativeFile::ReadAt(std::uint64_t offset, char* buffer, std::size_t size) const {
    for (;;) {
        const ssize_t n = ::pread(fd_, buffer, size, static_cast<off_t>(offset));
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        if (errno != EINTR) {
            ThrowErrno("read", "");
        }
    }
}

void NativeFile::Write(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ThrowErrno("write", "");
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void NativeFile::Sync() {
    if (::fsync(fd_) != 0) {
        ThrowErrno("fsync", "");
    }
}

FileStatus NativeFile::Status() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        ThrowErrno("fstat", "");
    }
    return FromStat(st);
}

void NativeFile::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void SyncFolder(const std::filesystem::path& folder) noexcept {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

namespace {
sigset_t TerminationSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}
}  // namespace

void BlockTerminationSignals() {
    const sigset_t set = TerminationSignals();
    if (::pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) {
        throw std::runtime_error("pthread_sigmask failed");
    }
    // A peer that hangs up mid-answer must not kill the process.
    ::signal(SIGPIPE, SIG_IGN);
}

int WaitForTerminationSignal() {
    const sigset_t set = TerminationSignals();
    int signal = 0;
    while (::sigwait(&set, &signal) != 0) {
    }
    return signal;
}

}  // namespace VeskServer::System
