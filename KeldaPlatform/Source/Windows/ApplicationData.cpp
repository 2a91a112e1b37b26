#include "Platform/ApplicationData.h"

#include "Win32.h"
// The known-folder functions need the definitions of windows.h first.
#include <knownfolders.h>
#include <shlobj.h>

#include <filesystem>
#include <stdexcept>
#include <vector>

#include "Core/DataObjects.h"
#include "Core/Guard.h"
#include "WideText.h"

namespace Platform::IO {
namespace {

// The full file name of a module, or of the executable for null.
std::wstring ModuleFileName(void* module) {
    std::vector<wchar_t> buffer(32768);
    const DWORD length =
        GetModuleFileNameW(static_cast<HMODULE>(module), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) {
        throw std::runtime_error("The module's file name could not be obtained");
    }
    return std::wstring(buffer.data(), length);
}

// The user's local application-data folder; empty when the system has none for this user.
std::wstring LocalAppDataFolder() {
    wchar_t* path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path)) && path != nullptr) {
        folder = path;
    }
    CoTaskMemFree(path);
    return folder;
}

}  // namespace

std::string GetApplicationDataFolder(void* module) {
    const std::filesystem::path moduleFile(ModuleFileName(module));
    const std::wstring known = LocalAppDataFolder();
    const std::filesystem::path folder =
        known.empty() ? moduleFile.parent_path() / L"Data" : std::filesystem::path(known) / moduleFile.stem();
    // Failures carry the name of the operation that failed.
    std::error_code error;
    const bool exists = std::filesystem::exists(folder, error);
    if (error) {
        throw std::filesystem::filesystem_error("exists", folder, error);
    }
    if (!exists) {
        std::filesystem::create_directories(folder, error);
        if (error) {
            throw std::filesystem::filesystem_error("create_directories", folder, error);
        }
    }
    return Windows::Text::Narrow(folder.wstring());
}

}  // namespace Platform::IO

bool Platform_GetApplicationDataFolder(void* module, Data::Interfaces::IString** folder, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(folder);
        Core::HandOut(Data::NewString(Platform::IO::GetApplicationDataFolder(module)), folder);
    });
}
