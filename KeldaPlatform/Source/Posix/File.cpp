#include "Platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "Common/Backend.h"
#include "Core/Guard.h"
#include "Core/Object.h"
#include "Core/StringFormat.h"
#include "Descriptors.h"
#include "Platform/RichError.h"
#include "Vesk/Data/KeldaData.h"

namespace Platform::Posix::IO::impl {

using Interfaces::FileHandle;

// The largest piece one read or write asks for, as the file functions of the suite's other platform
// count bytes in 32 bits.
constexpr uint64_t kMaxPiece = 0xFFFFFFFFull;
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;
constexpr const char* kInvalidHandle =
    "Handle must be valid before passing it to this object. Also current object takes ownership of the handle and "
    "manages its lifetime by itself!";

// The path an open descriptor refers to now.
std::string PathOfDescriptor(int fd) {
    std::vector<char> buffer(4096);
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = readlink(link.c_str(), buffer.data(), buffer.size());
    if (length <= 0 || static_cast<size_t>(length) >= buffer.size()) {
        // Fixed text: hosts match on it.
        throw std::runtime_error("File path not found from current handle. This should not happen ever!");
    }
    return std::string(buffer.data(), static_cast<size_t>(length));
}

// An open file. The size is taken once at open when nobody else may write to the file (no write
// sharing); otherwise it is asked for every time. Nothing here changes after construction; callers
// serialise I/O on one file, as IFile says.
template <class Interface>
class GenericFileImplT : public Core::ObjectT<Interface> {
public:
    GenericFileImplT(RegisteredDescriptor descriptor, uint32_t access, uint32_t shareMode)
        : descriptor_(std::move(descriptor)), access_(access), shareMode_(shareMode) {
        if (!descriptor_.IsOpen()) {
            throw std::runtime_error(kInvalidHandle);
        }
        if ((shareMode_ & Platform::IO::kShareWrite) == 0) {
            sizeAtOpen_ = CurrentSize();
        }
    }

    uint64_t GetSize() override { return sizeAtOpen_ != 0 ? sizeAtOpen_ : CurrentSize(); }
    FileHandle GetHandle() override { return descriptor_.Get(); }

    uint32_t GetAttributes(Core::IErrorCode** error) override {
        uint32_t attributes = kInvalidAttributes;
        Core::AbiGuard(error, [&] {
            struct stat info {};
            if (fstat(descriptor_.Get(), &info) != 0) {
                RichError::ThrowErrno(errno, "Failed to get file attributes");
            }
            uint32_t value = 0;
            if (S_ISDIR(info.st_mode)) {
                value |= Platform::IO::kAttributeDirectory;
            }
            if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
                value |= Platform::IO::kAttributeReadOnly;
            }
            const std::string name = std::filesystem::path(PathOfDescriptor(descriptor_.Get())).filename().string();
            if (!name.empty() && name[0] == '.') {
                value |= Platform::IO::kAttributeHidden;
            }
            attributes = value == 0 ? Platform::IO::kAttributeNormal : value;
        });
        return attributes;
    }

    bool SetAttributes(uint32_t attributes, Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] {
            struct stat info {};
            if (fstat(descriptor_.Get(), &info) != 0) {
                RichError::ThrowErrno(errno, "Failed to set file attributes");
            }
            // Read-only is the one attribute with a meaning here: nobody may write.
            mode_t mode = info.st_mode & 07777;
            if ((attributes & Platform::IO::kAttributeReadOnly) != 0) {
                mode &= static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
            } else {
                mode |= S_IWUSR;
            }
            if (fchmod(descriptor_.Get(), mode) != 0) {
                RichError::ThrowErrno(errno, "Failed to set file attributes");
            }
        });
    }

    bool Reserved(uint64_t, Core::IErrorCode**) override { return true; }
    uint32_t GetAccess() override { return access_; }
    uint32_t GetShareMode() override { return shareMode_; }

protected:
    ~GenericFileImplT() override = default;

    int Descriptor() const { return descriptor_.Get(); }

private:
    uint64_t CurrentSize() const {
        struct stat info {};
        return fstat(descriptor_.Get(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
    }

    // All immutable after construction.
    RegisteredDescriptor descriptor_;
    uint32_t access_;
    uint32_t shareMode_;
    uint64_t sizeAtOpen_ = 0;
};

class GenericFileImpl final : public GenericFileImplT<Interfaces::IFile> {
public:
    using GenericFileImplT::GenericFileImplT;

private:
    ~GenericFileImpl() override = default;
};

// A file with blocking reads and writes at the descriptor's own position.
class SyncFileImpl final : public GenericFileImplT<Interfaces::ISynchrounousFile> {
public:
    using GenericFileImplT::GenericFileImplT;

    uint32_t Read(void* buffer, uint64_t size, Core::IErrorCode** error) override {
        uint64_t done = 0;
        Core::AbiGuard(error, [&] {
            Core::CheckNotNull(buffer);
            auto* bytes = static_cast<char*>(buffer);
            while (done < size) {
                const ssize_t got = ::read(Descriptor(), bytes + done, std::min(size - done, kMaxPiece));
                if (got < 0) {
                    if (errno == EINTR) {
                        continue;
                    }
                    RichError::ThrowErrno(errno, "Failed to read file");
                }
                if (got == 0) {
                    break;
                }
                done += static_cast<uint64_t>(got);
            }
        });
        return static_cast<uint32_t>(done);
    }

    uint32_t Write(const void* data, uint64_t size, Core::IErrorCode** error) override {
        uint64_t done = 0;
        Core::AbiGuard(error, [&] {
            Core::CheckNotNull(data);
            const auto* bytes = static_cast<const char*>(data);
            while (done < size) {
                const ssize_t put = ::write(Descriptor(), bytes + done, std::min(size - done, kMaxPiece));
                if (put < 0) {
                    if (errno == EINTR) {
                        continue;
                    }
                    RichError::ThrowErrno(errno, "Failed to write file");
                }
                if (put == 0) {
                    break;
                }
                done += static_cast<uint64_t>(put);
            }
        });
        return static_cast<uint32_t>(done);
    }

    bool SetPosition(uint64_t offset, Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] { Seek(static_cast<off_t>(offset), SEEK_SET); });
    }

    bool SeekToEnd(Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] { Seek(0, SEEK_END); });
    }

    uint64_t GetPosition(Core::IErrorCode** error) override {
        uint64_t position = 0;
        Core::AbiGuard(error, [&] { position = static_cast<uint64_t>(Seek(0, SEEK_CUR)); });
        return position;
    }

private:
    ~SyncFileImpl() override = default;

    off_t Seek(off_t offset, int whence) {
        const off_t position = lseek(Descriptor(), offset, whence);
        if (position < 0) {
            RichError::ThrowErrno(errno, "Failed to set file position");
        }
        return position;
    }
};

namespace {

int AccessFlags(uint32_t access) {
    constexpr uint32_t kGenericAll = 0x10000000u;
    constexpr uint32_t kReadData = 0x1u;
    constexpr uint32_t kWriteData = 0x2u;
    constexpr uint32_t kAppendData = 0x4u;
    const bool read = (access & (Platform::IO::kGenericRead | kGenericAll | kReadData)) != 0;
    const bool write = (access & (Platform::IO::kGenericWrite | kGenericAll | kWriteData | kAppendData)) != 0;
    if (read && write) {
        return O_RDWR;
    }
    return write ? O_WRONLY : O_RDONLY;
}

// The open(2) flags of a creation disposition; -1 for a disposition that does not exist.
int CreationFlags(uint32_t disposition) {
    switch (disposition) {
        case Platform::IO::kCreateNew:
            return O_CREAT | O_EXCL;
        case Platform::IO::kCreateAlways:
            return O_CREAT | O_TRUNC;
        case Platform::IO::kOpenAlways:
            return O_CREAT;
        case Platform::IO::kTruncateExisting:
            return O_TRUNC;
        case Platform::IO::kOpenExisting:
            return 0;
        default:
            return -1;
    }
}

}  // namespace
}  // namespace Platform::Posix::IO::impl

namespace Platform::IO {

using Posix::IO::RegisteredDescriptor;

std::string ToLongPath(const std::string& path) {
    return path;
}

Core::Ptr<Interfaces::IFile> OpenFile(const std::string& path, uint32_t access, uint32_t shareMode,
                                      uint32_t creationDisposition, uint32_t flagsAndAttributes) {
    if ((flagsAndAttributes & kFlagOverlapped) != 0) {
        throw std::runtime_error("Support for async files not yet implemented");
    }
    const std::string longPath = ToLongPath(path);
    const int creation = Posix::IO::impl::CreationFlags(creationDisposition);
    const int accessFlags = Posix::IO::impl::AccessFlags(access);
    const mode_t mode = (flagsAndAttributes & kAttributeReadOnly) != 0 ? 0444 : 0666;
    const auto refuse = [&](int error) {
        RichError::ThrowErrno(error, Core::StringFormat("Failed to open or create file at location %s", path.c_str()));
    };
    // An unknown disposition is a bad argument of the open itself, reported like any failed open.
    // So is truncating an existing file without write access, which the suite's other platform
    // refuses and this system would carry out all the same.
    if (creation < 0 || (creationDisposition == kTruncateExisting && (accessFlags & O_ACCMODE) == O_RDONLY)) {
        refuse(EINVAL);
    }
    RegisteredDescriptor descriptor;
    if (!descriptor.Open(longPath, accessFlags | creation, mode)) {
        refuse(errno);
    }
    // A folder opens for reading here, but is no file: refuse it now rather than at the first read.
    struct stat info {};
    if (fstat(descriptor.Get(), &info) != 0) {
        refuse(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        refuse(EISDIR);
    }
    if (access == 0) {
        return Core::MakeObject<Posix::IO::impl::GenericFileImpl>(std::move(descriptor), access, shareMode);
    }
    return Core::MakeObject<Posix::IO::impl::SyncFileImpl>(std::move(descriptor), access, shareMode);
}

bool FileExists(const std::string& path) {
    if (path.empty()) {
        throw std::runtime_error("Invalid ObjectName");
    }
    Backend::FileStatus status;
    int error = 0;
    return Backend::QueryFileStatus(ToLongPath(path), status, error) && !status.isDirectory;
}

size_t ClosePendingDescriptors() {
    return Posix::IO::SweepParkedDescriptors();
}

}  // namespace Platform::IO

bool Platform_OpenFile(const char* path, uint32_t access, uint32_t shareMode, uint32_t creationDisposition,
                       uint32_t flagsAndAttributes, Platform::Interfaces::IFile** file, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(path);
        Core::CheckOut(file);
        Core::HandOut(Platform::IO::OpenFile(path, access, shareMode, creationDisposition, flagsAndAttributes), file);
    });
}
