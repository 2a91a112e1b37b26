#include "Platform/File.h"

#include <winternl.h>
#include "Win32.h"

#include <algorithm>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "Core/Guard.h"
#include "Core/Object.h"
#include "Core/StringFormat.h"
#include "Platform/RichError.h"
#include "WideText.h"

namespace Platform::Windows::IO::impl {

using Interfaces::FileHandle;
using Text::Narrow;
using Text::Widen;

constexpr const char* kInvalidHandle =
    "Handle must be valid before passing it to this object. Also current object takes ownership of the handle and "
    "manages its lifetime by itself!";

// The path an open handle refers to now, in its long form.
std::string PathOfHandle(HANDLE handle) {
    const DWORD needed = GetFinalPathNameByHandleW(handle, nullptr, 0, FILE_NAME_NORMALIZED);
    if (needed == 0) {
        // Fixed text: hosts match on it.
        throw std::runtime_error("File path not found from current handle. This should not happen ever!");
    }
    std::wstring path(needed, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(handle, path.data(), needed, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= needed) {
        // Fixed text: hosts match on it.
        throw std::runtime_error("File path not found from current handle. This should not happen ever!");
    }
    path.resize(length);
    return Narrow(path);
}

// An open file. The size is taken once at open when nobody else may write to the file (no write
// sharing); otherwise it is asked for every time. Nothing here changes after construction; callers
// serialise I/O on one file, as IFile says.
template <class Interface>
class GenericFileImplT : public Core::ObjectT<Interface> {
public:
    GenericFileImplT(HANDLE handle, uint32_t access, uint32_t shareMode)
        : handle_(handle), access_(access), shareMode_(shareMode) {
        if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) {
            throw std::runtime_error(kInvalidHandle);
        }
        if ((shareMode_ & Platform::IO::kShareWrite) == 0) {
            sizeAtOpen_ = CurrentSize();
        }
    }

    uint64_t GetSize() override { return sizeAtOpen_ != 0 ? sizeAtOpen_ : CurrentSize(); }
    FileHandle GetHandle() override { return reinterpret_cast<FileHandle>(handle_); }

    uint32_t GetAttributes(Core::IErrorCode** error) override {
        uint32_t attributes = INVALID_FILE_ATTRIBUTES;
        Core::AbiGuard(error, [&] {
            const DWORD value = GetFileAttributesW(Widen(PathOfHandle(handle_)).c_str());
            if (value == INVALID_FILE_ATTRIBUTES) {
                RichError::ThrowWin32(GetLastError(), "Failed to get file attributes");
            }
            attributes = value;
        });
        return attributes;
    }

    bool SetAttributes(uint32_t attributes, Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] {
            if (!SetFileAttributesW(Widen(PathOfHandle(handle_)).c_str(), attributes)) {
                RichError::ThrowWin32(GetLastError(), "Failed to set file attributes");
            }
        });
    }

    bool Reserved(uint64_t, Core::IErrorCode**) override { return true; }
    uint32_t GetAccess() override { return access_; }
    uint32_t GetShareMode() override { return shareMode_; }

protected:
    ~GenericFileImplT() override { CloseHandle(handle_); }

    HANDLE Handle() const { return handle_; }

private:
    uint64_t CurrentSize() const {
        LARGE_INTEGER size{};
        return GetFileSizeEx(handle_, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
    }

    // All immutable after construction.
    HANDLE handle_;
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

// A file with blocking reads and writes at the handle's own position.
class SyncFileImpl final : public GenericFileImplT<Interfaces::ISynchrounousFile> {
public:
    using GenericFileImplT::GenericFileImplT;

    uint32_t Read(void* buffer, uint64_t size, Core::IErrorCode** error) override {
        uint64_t done = 0;
        Core::AbiGuard(error, [&] {
            Core::CheckNotNull(buffer);
            auto* bytes = static_cast<char*>(buffer);
            while (done < size) {
                DWORD got = 0;
                const DWORD asked = static_cast<DWORD>(std::min<uint64_t>(size - done, Platform::IO::kMaxFilePiece));
                if (!ReadFile(Handle(), bytes + done, asked, &got, nullptr)) {
                    RichError::ThrowWin32(GetLastError(), "Failed to read file");
                }
                if (got == 0) {
                    break;
                }
                done += got;
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
                DWORD put = 0;
                const DWORD asked = static_cast<DWORD>(std::min<uint64_t>(size - done, Platform::IO::kMaxFilePiece));
                if (!WriteFile(Handle(), bytes + done, asked, &put, nullptr)) {
                    RichError::ThrowWin32(GetLastError(), "Failed to write file");
                }
                if (put == 0) {
                    break;
                }
                done += put;
            }
        });
        return static_cast<uint32_t>(done);
    }

    bool SetPosition(uint64_t offset, Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] { Seek(static_cast<int64_t>(offset), FILE_BEGIN); });
    }

    bool SeekToEnd(Core::IErrorCode** error) override {
        return Core::AbiGuard(error, [&] { Seek(0, FILE_END); });
    }

    uint64_t GetPosition(Core::IErrorCode** error) override {
        uint64_t position = 0;
        Core::AbiGuard(error, [&] { position = Seek(0, FILE_CURRENT); });
        return position;
    }

private:
    ~SyncFileImpl() override = default;

    uint64_t Seek(int64_t offset, DWORD method) {
        LARGE_INTEGER distance{};
        distance.QuadPart = offset;
        LARGE_INTEGER position{};
        if (!SetFilePointerEx(Handle(), distance, &position, method)) {
            RichError::ThrowWin32(GetLastError(), "Failed to set file position");
        }
        return static_cast<uint64_t>(position.QuadPart);
    }
};

namespace {

using NtQueryAttributesFileFunction = NTSTATUS(NTAPI*)(POBJECT_ATTRIBUTES, PFILE_BASIC_INFORMATION);

// Resolved once per process from ntdll, which every process has loaded.
NtQueryAttributesFileFunction NtQueryAttributes() {
    static std::once_flag once;
    static NtQueryAttributesFileFunction function = nullptr;
    std::call_once(once, [] {
        if (HMODULE ntdll = LoadLibraryW(L"ntdll.dll")) {
            function = reinterpret_cast<NtQueryAttributesFileFunction>(
                reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryAttributesFile")));
        }
    });
    return function;
}

bool IsAbsolute(const std::string& path) {
    const bool drive = path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                       path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    return drive;
}

}  // namespace
}  // namespace Platform::Windows::IO::impl

namespace Platform::IO {

std::string ToLongPath(const std::string& path) {
    // Only drive paths are prefixed: the prefix turns off the system's own clean-up of the path, so
    // their separators become backslashes here; relative, UNC and device paths stay as given.
    if (path.rfind("\\\\?\\", 0) == 0 || !Windows::IO::impl::IsAbsolute(path)) {
        return path;
    }
    std::string normal = path;
    std::replace(normal.begin(), normal.end(), '/', '\\');
    return "\\\\?\\" + normal;
}

Core::Ptr<Interfaces::IFile> OpenFile(const std::string& path, uint32_t access, uint32_t shareMode,
                                      uint32_t creationDisposition, uint32_t flagsAndAttributes) {
    if ((flagsAndAttributes & kFlagOverlapped) != 0) {
        throw std::runtime_error("Support for async files not yet implemented");
    }
    const std::wstring wide = Windows::Text::Widen(ToLongPath(path));
    HANDLE handle =
        CreateFileW(wide.c_str(), access, shareMode, nullptr, creationDisposition, flagsAndAttributes, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        RichError::ThrowWin32(GetLastError(),
                              Core::StringFormat("Failed to open or create file at location %s", path.c_str()));
    }
    if (access == 0) {
        return Core::MakeObject<Windows::IO::impl::GenericFileImpl>(handle, access, shareMode);
    }
    return Core::MakeObject<Windows::IO::impl::SyncFileImpl>(handle, access, shareMode);
}

bool FileExists(const std::string& path) {
    if (path.empty()) {
        throw std::runtime_error("Invalid ObjectName");
    }
    const auto query = Windows::IO::impl::NtQueryAttributes();
    std::string longPath = ToLongPath(path);
    if (query == nullptr || longPath.rfind("\\\\?\\", 0) != 0) {
        // Relative paths have no NT form of their own: the system resolves them.
        const DWORD attributes = GetFileAttributesW(Windows::Text::Widen(longPath).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }
    std::wstring ntPath = L"\\??\\" + Windows::Text::Widen(longPath.substr(4));
    if (ntPath.size() * sizeof(wchar_t) > 0xFFFE) {
        throw std::runtime_error("Invalid ObjectName");
    }
    UNICODE_STRING name{};
    name.Buffer = ntPath.data();
    name.Length = static_cast<USHORT>(ntPath.size() * sizeof(wchar_t));
    name.MaximumLength = name.Length;
    OBJECT_ATTRIBUTES object{};
    InitializeObjectAttributes(&object, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    FILE_BASIC_INFORMATION info{};
    return query(&object, &info) >= 0 && (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

size_t ClosePendingDescriptors() {
    // Closing a handle drops no lock that another handle took, so no handle is ever kept back.
    return 0;
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
