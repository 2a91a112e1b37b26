// Reading whole files through the backend's file objects: the same on every system.
#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "Core/Guard.h"
#include "Core/Object.h"
#include "Core/StringFormat.h"
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

}  // namespace Platform::IO

bool Platform_ReadFileToArray(const char* path, Data::Interfaces::IArray** array, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(path);
        Core::CheckOut(array);
        Core::HandOut(Platform::IO::ReadFileToArray(path), array);
    });
}
