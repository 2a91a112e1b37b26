#include "Platform/FileMapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>

#include "Common/Backend.h"
#include "Core/Guard.h"
#include "Core/Log.h"
#include "Core/Object.h"
#include "Core/StringFormat.h"
#include "Descriptors.h"
#include "Platform/RichError.h"

namespace Platform::Posix::IO {
namespace {

constexpr const char* kDestructor = "Platform::Posix::IO::FileMappingImpl::~FileMappingImpl";

// Stamps the file's last access, and its last modification too when asked, with the time now.
bool StampTimes(int fd, bool modified) {
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_NOW;
    times[1].tv_sec = 0;
    times[1].tv_nsec = modified ? UTIME_NOW : UTIME_OMIT;
    return futimens(fd, times) == 0;
}

class FileMappingImpl final : public Core::ObjectT<Interfaces::IFileMapping> {
public:
    FileMappingImpl(std::string path, uint64_t size, bool readOnly) : path_(std::move(path)), readOnly_(readOnly) {
        if (!file_.Open(path_, (readOnly_ ? O_RDONLY : O_RDWR) | O_CREAT, 0666)) {
            RichError::ThrowErrno(errno, "Could not create file");
        }
        struct stat info {};
        if (fstat(file_.Get(), &info) != 0) {
            RichError::ThrowErrno(errno, "Could not obtain file size");
        }
        const uint64_t fileSize = static_cast<uint64_t>(info.st_size);
        if (readOnly_ && size > fileSize) {
            throw std::runtime_error(
                "When creating file mapping in read only mode, size should not be greater than file size");
        }
        size_ = size != 0 ? size : fileSize;
        // Nothing can be mapped of an empty file.
        if (size_ == 0) {
            RichError::ThrowErrno(EINVAL, "Could not create file mapping object");
        }
        if (!readOnly_ && size_ > fileSize && ftruncate(file_.Get(), static_cast<off_t>(size_)) != 0) {
            RichError::ThrowErrno(errno, "Could not create file mapping object");
        }
        void* view = mmap(nullptr, size_, readOnly_ ? PROT_READ : PROT_READ | PROT_WRITE, MAP_SHARED, file_.Get(), 0);
        if (view == MAP_FAILED) {
            RichError::ThrowErrno(errno, "Could not create mapping view");
        }
        view_ = static_cast<uint8_t*>(view);
    }

    bool Flush(uint64_t begin, uint64_t end, bool skipFileFlush, Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] {
            if (readOnly_) {
                return;
            }
            if (view_ == nullptr) {
                throw std::runtime_error("Mapping file not opened");
            }
            if (end < begin || end > size_) {
                throw std::runtime_error("Invalid offsets");
            }
            // An empty range asks, as on the suite's other platform, for everything from begin to
            // the end of the view. The system flushes whole pages: start at the page that holds begin.
            const uint64_t stop = end == begin ? size_ : end;
            const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
            const uint64_t start = begin - begin % page;
            if (stop > start && msync(view_ + start, stop - start, MS_SYNC) != 0) {
                RichError::ThrowErrno(errno, "Could not flush view of file");
            }
            if (!skipFileFlush && fsync(file_.Get()) != 0) {
                RichError::ThrowErrno(errno, "Could not flush file buffers");
            }
            if (!StampTimes(file_.Get(), true)) {
                RichError::ThrowErrno(errno, "Could not set file time");
            }
        });
    }

    bool IsReadOnly() override { return readOnly_; }
    uint8_t* GetData() override { return view_; }
    const uint8_t* GetData() const override { return view_; }
    uint64_t GetSize() override { return size_; }

private:
    ~FileMappingImpl() override {
        if (view_ != nullptr) {
            // Only unmapping and closing are worth a report: a file opened for reading may refuse
            // new times to a reader who does not own it, and that is no failure of the mapping.
            StampTimes(file_.Get(), !readOnly_);
            if (munmap(view_, size_) != 0) {
                LogUnmapFailure(errno);
            }
        }
        // The descriptor goes back through the table that knows whether it may be closed yet.
    }

    static void LogUnmapFailure(int code) {
        try {
            Core::LogMessage(
                Core::LogError, kDestructor, __FILE__, __LINE__,
                Core::StringFormat("Could not unmap view of file: %s",
                                   RichError::Text(RichError::Family::Errno, static_cast<uint32_t>(code)).c_str())
                    .c_str());
        } catch (...) {
        }
    }

    // All immutable after construction, so the object needs no lock.
    std::string path_;
    RegisteredDescriptor file_;
    uint8_t* view_ = nullptr;
    uint64_t size_ = 0;
    bool readOnly_;
};

}  // namespace
}  // namespace Platform::Posix::IO

namespace Platform::IO {

Core::Ptr<Interfaces::IFileMapping> CreateFileMapping(Data::Interfaces::IString* path, uint64_t size, bool readOnly) {
    Core::CheckNotNull(path);
    return Core::MakeObject<Posix::IO::FileMappingImpl>(std::string(path->GetText(), path->GetLength()), size,
                                                        readOnly);
}

}  // namespace Platform::IO

bool Platform_CreateFileMapping(Data::Interfaces::IString* path, uint64_t size, bool readOnly,
                                Platform::Interfaces::IFileMapping** mapping, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(path);
        Core::CheckOut(mapping);
        Core::HandOut(Platform::IO::CreateFileMapping(path, size, readOnly), mapping);
    });
}
