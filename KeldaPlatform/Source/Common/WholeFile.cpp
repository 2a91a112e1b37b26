// Reading whole files through the backend's file objects: the same on every system.
#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "Common/Backend.h"
#include "Core/Guard.h"
#include "Core/Object.h"
#include "Core/StringFormat.h"
#include "Core/Variant.h"
#include "Platform/File.h"
#include "Vesk/Data/KeldaData.h"

namespace Platform::IO {

std::filesystem::path PathFromUtf8(const std::string& path) {
    // The narrow constructor would read the bytes in the system's code page on Windows.
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(path.data()), path.size()));
}

void ReadFully(Interfaces::ISynchrounousFile& file, uint8_t* buffer, uint64_t size, uint64_t piece) {
    if (piece == 0 || piece > kMaxFilePiece) {
        piece = kMaxFilePiece;
    }
    uint64_t done = 0;
    while (done < size) {
        const uint64_t asked = std::min(size - done, piece);
        uint64_t got = 0;
        Core::ThrowIfFailed([&](Core::IErrorCode** error) {
            got = file.Read(buffer + done, asked, error);
            return true;
        });
        if (got == 0) {
            break;
        }
        done += got;
    }
    if (done != size) {
        throw std::runtime_error(Core::StringFormat("The file ended after %llu of %llu bytes",
                                                    static_cast<unsigned long long>(done),
                                                    static_cast<unsigned long long>(size)));
    }
}

Core::Ptr<Data::Interfaces::IArray> ReadFileToArray(const std::string& path, uint64_t piece) {
    std::error_code sizeError;
    const uint64_t size = std::filesystem::file_size(PathFromUtf8(path), sizeError);
    if (sizeError) {
        throw std::filesystem::filesystem_error("file_size", PathFromUtf8(path), sizeError);
    }
    Core::Ptr<Interfaces::ISynchrounousFile> file =
        OpenFile(path, kGenericRead, kShareRead | kShareWrite | kShareDelete, kOpenExisting)
            .Cast<Interfaces::ISynchrounousFile>();
    Core::Ptr<Data::Interfaces::IArray> array;
    if (!Data_CreateArray(array.Receive()) || !array) {
        throw std::runtime_error("Could not create array");
    }
    Core::ThrowIfFailed([&](Core::IErrorCode** error) { return array->Assign(nullptr, 1, size, error); });
    ReadFully(*file, array->GetData(), size, piece);
    return array;
}

namespace {

// Removes the temporary file unless the rename took it.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove(PathFromUtf8(path_), ignored);
        }
    }
    const std::string& Path() const { return path_; }
    void Release() { path_.clear(); }

private:
    std::string path_;
};

std::string TemporaryNameBeside(const std::string& path) {
    Data::Uuid uuid{};
    if (!Data_NewUuid(&uuid)) {
        throw std::runtime_error("Failed to create a UUID");
    }
    const std::filesystem::path target = PathFromUtf8(path);
    const std::u8string folder = target.parent_path().u8string();
    std::string name = ".vesk-" + Data::UuidToText(uuid) + ".part";
    if (folder.empty()) {
        return name;
    }
    return std::string(reinterpret_cast<const char*>(folder.data()), folder.size()) + "/" + name;
}

}  // namespace

void ReplaceFileAtomically(const std::string& path, const void* data, uint64_t size) {
    TemporaryFile temporary(TemporaryNameBeside(path));
    {
        Core::Ptr<Interfaces::ISynchrounousFile> file =
            OpenFile(temporary.Path(), kGenericWrite, kShareRead | kShareDelete, kCreateNew)
                .Cast<Interfaces::ISynchrounousFile>();
        const auto* bytes = static_cast<const uint8_t*>(data);
        uint64_t done = 0;
        while (done < size) {
            uint32_t written = 0;
            Core::ThrowIfFailed([&](Core::IErrorCode** error) {
                written = file->Write(bytes + done, std::min(size - done, kMaxFilePiece), error);
                return true;
            });
            if (written == 0) {
                throw std::runtime_error(Core::StringFormat("Failed to write %s", temporary.Path().c_str()));
            }
            done += written;
        }
        if (!Backend::FlushFile(file->GetHandle())) {
            throw std::runtime_error(Core::StringFormat(
                "Failed to flush %s: %s", temporary.Path().c_str(),
                Backend::SystemMessage(Backend::ErrorFamily(), static_cast<uint32_t>(Backend::LastError())).c_str()));
        }
    }
    int error = 0;
    if (!Backend::RenameReplacing(temporary.Path(), path, error)) {
        throw std::runtime_error(
            Core::StringFormat("Failed to replace %s: %s", path.c_str(),
                               Backend::SystemMessage(Backend::ErrorFamily(), static_cast<uint32_t>(error)).c_str()));
    }
    temporary.Release();
}

}  // namespace Platform::IO

bool Platform_ReadFileToArray(const char* path, Data::Interfaces::IArray** array, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(path);
        Core::CheckOut(array);
        Core::HandOut(Platform::IO::ReadFileToArray(path), array);
    });
}
