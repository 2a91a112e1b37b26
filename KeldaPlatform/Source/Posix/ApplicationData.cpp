#include "Platform/ApplicationData.h"

#include <dlfcn.h>
#include <link.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "Core/DataObjects.h"
#include "Core/Guard.h"

namespace Platform::IO {
namespace {

// The full file name of a module (a handle from the module loader), or of the executable for null.
std::filesystem::path ModuleFileName(void* module) {
    if (module != nullptr) {
        link_map* map = nullptr;
        if (dlinfo(module, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr &&
            *map->l_name != '\0') {
            return std::filesystem::path(map->l_name);
        }
    }
    std::vector<char> buffer(32768);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) {
        throw std::runtime_error("The executable's file name could not be obtained");
    }
    return std::filesystem::path(std::string(buffer.data(), static_cast<size_t>(length)));
}

// A module's name as the suite knows it on every system: a shared library "lib<name>.so" (with or
// without version numbers after ".so") is <name>, as "<name>.dll" is elsewhere; any other file is
// its stem.
std::string ModuleName(const std::filesystem::path& file) {
    const std::string name = file.filename().string();
    const size_t suffix = name.find(".so");
    const bool sharedLibrary =
        suffix != std::string::npos && (suffix + 3 == name.size() || name.compare(suffix + 3, 1, ".") == 0);
    if (sharedLibrary && name.rfind("lib", 0) == 0 && suffix > 3) {
        return name.substr(3, suffix - 3);
    }
    return file.stem().string();
}

// The user's data folder: $XDG_DATA_HOME when it names an absolute folder, else ~/.local/share;
// empty when the user has no home.
std::filesystem::path UserDataFolder() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
        return std::filesystem::path(xdg);
    }
    std::string home;
    if (const char* value = std::getenv("HOME"); value != nullptr && *value != '\0') {
        home = value;
    } else {
        passwd entry{};
        passwd* found = nullptr;
        std::vector<char> buffer(16384);
        if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
            found->pw_dir != nullptr) {
            home = found->pw_dir;
        }
    }
    if (home.empty()) {
        return {};
    }
    return std::filesystem::path(home) / ".local" / "share";
}

}  // namespace

std::string GetApplicationDataFolder(void* module) {
    const std::filesystem::path moduleFile = ModuleFileName(module);
    const std::filesystem::path userFolder = UserDataFolder();
    const std::filesystem::path folder =
        userFolder.empty() ? moduleFile.parent_path() / "Data" : userFolder / ModuleName(moduleFile);
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
    return folder.string();
}

}  // namespace Platform::IO

bool Platform_GetApplicationDataFolder(void* module, Data::Interfaces::IString** folder, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(folder);
        Core::HandOut(Data::NewString(Platform::IO::GetApplicationDataFolder(module)), folder);
    });
}
