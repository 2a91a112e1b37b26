#include "Platform/FileMapping.h"

#include "Win32.h"

#include <stdexcept>
#include <string>

#include "Core/Guard.h"
#include "Core/Log.h"
#include "Core/Object.h"
#include "Core/StringFormat.h"
#include "Platform/File.h"
#include "Platform/RichError.h"
#include "WideText.h"

namespace Platform::Windows::IO {
namespace {

constexpr const char* kDestructor = "Platform::Windows::IO::FileMappingImpl::~FileMappingImpl";

FILETIME Now() {
    SYSTEMTIME system{};
    GetSystemTime(&system);
    FILETIME now{};
    SystemTimeToFileTime(&system, &now);
    return now;
}

// A whole-file mapping. All fields are immutable after construction, so the object needs no lock.
class FileMappingImpl final : public Core::ObjectT<Interfaces::IFileMapping> {
public:
    FileMappingImpl(std::string path, uint64_t size, bool readOnly) : path_(std::move(path)), readOnly_(readOnly) {
        const std::wstring wide = Text::Widen(Platform::IO::ToLongPath(path_));
        file_ = CreateFileW(wide.c_str(), readOnly_ ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE,
                            readOnly_ ? FILE_SHARE_READ | FILE_SHARE_DELETE : 0, nullptr, OPEN_ALWAYS, 0, nullptr);
        if (file_ == INVALID_HANDLE_VALUE) {
            file_ = nullptr;
            RichError::ThrowWin32(GetLastError(), "Could not create file");
        }
        try {
            Map(size);
        } catch (...) {
            Close();
            throw;
        }
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
            // A length of 0 flushes from begin to the end of the view.
            if (!FlushViewOfFile(view_ + begin, static_cast<SIZE_T>(end - begin))) {
                RichError::ThrowWin32(GetLastError(), "Could not flush view of file");
            }
            if (!skipFileFlush && !FlushFileBuffers(file_)) {
                RichError::ThrowWin32(GetLastError(), "Could not flush file buffers");
            }
            const FILETIME now = Now();
            if (!SetFileTime(file_, nullptr, &now, &now)) {
                RichError::ThrowWin32(GetLastError(), "Could not set file time");
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
            // A reader may not be allowed to set times on a file it does not own: that is no failure
            // of the mapping, so only unmapping and closing are reported.
            const FILETIME now = Now();
            SetFileTime(file_, nullptr, &now, readOnly_ ? nullptr : &now);
            if (!UnmapViewOfFile(view_)) {
                LogFailure(GetLastError());
            }
        }
        Close();
    }

    void Map(uint64_t size) {
        LARGE_INTEGER fileSize{};
        if (!GetFileSizeEx(file_, &fileSize)) {
            RichError::ThrowWin32(GetLastError(), "Could not obtain file size");
        }
        if (readOnly_ && size > static_cast<uint64_t>(fileSize.QuadPart)) {
            throw std::runtime_error(
                "When creating file mapping in read only mode, size should not be greater than file size");
        }
        size_ = size != 0 ? size : static_cast<uint64_t>(fileSize.QuadPart);
        mapping_ =
            CreateFileMappingW(file_, nullptr, readOnly_ ? PAGE_READONLY : PAGE_READWRITE,
                               static_cast<DWORD>(size_ >> 32), static_cast<DWORD>(size_ & 0xFFFFFFFFu), nullptr);
        if (mapping_ == nullptr) {
            RichError::ThrowWin32(GetLastError(), "Could not create file mapping object");
        }
        view_ =
            static_cast<uint8_t*>(MapViewOfFile(mapping_, readOnly_ ? FILE_MAP_READ : FILE_MAP_ALL_ACCESS, 0, 0, 0));
        if (view_ == nullptr) {
            RichError::ThrowWin32(GetLastError(), "Could not create mapping view");
        }
    }

    void Close() noexcept {
        if (mapping_ != nullptr && !CloseHandle(mapping_)) {
            LogFailure(GetLastError());
        }
        mapping_ = nullptr;
        if (file_ != nullptr && !CloseHandle(file_)) {
            LogFailure(GetLastError());
        }
        file_ = nullptr;
    }

    static void LogFailure(DWORD code) noexcept {
        try {
            Core::LogMessage(Core::LogError, kDestructor, __FILE__, __LINE__,
                             Core::StringFormat("Could not unmap view of file: %s",
                                                RichError::Text(RichError::Family::Win32, code).c_str())
                                 .c_str());
        } catch (...) {
        }
    }

    std::string path_;
    HANDLE file_ = nullptr;
    HANDLE mapping_ = nullptr;
    uint8_t* view_ = nullptr;
    uint64_t size_ = 0;
    bool readOnly_;
};

}  // namespace
}  // namespace Platform::Windows::IO

namespace Platform::IO {

Core::Ptr<Interfaces::IFileMapping> CreateFileMapping(Data::Interfaces::IString* path, uint64_t size, bool readOnly) {
    Core::CheckNotNull(path);
    return Core::MakeObject<Windows::IO::FileMappingImpl>(std::string(path->GetText(), path->GetLength()), size,
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
