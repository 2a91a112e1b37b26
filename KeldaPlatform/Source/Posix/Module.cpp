#include "Platform/Module.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "Core/Guard.h"
#include "Core/Log.h"
#include "Core/Object.h"
#include "Core/StringFormat.h"
#include "Platform/ErrorRecord.h"
#include "Platform/RichError.h"

namespace Platform::Module {
namespace impl {
namespace {

constexpr const char* kConstructor = "Platform::Module::impl::DllImpl::DllImpl";

std::string LastLoaderError() {
    const char* reason = dlerror();
    return reason != nullptr ? reason : "unknown reason";
}

// The loader's failures carry its own text; there is no error number to look up.
[[noreturn]] void RaiseLoaderError(const char* function, const std::string& message, int line) {
    ErrorRecord record = ErrorRecord::FromMessage(message);
    record.function = function;
    record.file = __FILE__;
    record.line = line;
    RichError::Raise(record);
}

bool IsExistingFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

// The folder this library was loaded from: where the suite's modules lie beside each other.
std::string OwnFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnFolder), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    std::error_code ignored;
    const std::filesystem::path self = std::filesystem::absolute(info.dli_fname, ignored);
    return self.parent_path().string();
}

}  // namespace

// Safe for concurrent use: only the procedure cache changes, under its mutex.
class DllImpl final : public Core::ObjectT<Interfaces::IDll> {
public:
    explicit DllImpl(std::string path);

    const char* GetPath() override { return path_.c_str(); }
    void* GetHandle() override { return handle_; }
    void* GetProcAddress(const char* name, Core::IErrorCode** error) override;
    bool HasProc(const char* name) override;

private:
    ~DllImpl() override;
    void* Lookup(const char* name, std::string* reason);

    void* handle_ = nullptr;  // immutable after construction
    std::string path_;        // immutable after construction
    bool owned_ = false;      // immutable after construction
    std::mutex cacheMutex_;
    std::unordered_map<std::string, void*> cache_;  // guarded by cacheMutex_
};

DllImpl::DllImpl(std::string path) : path_(std::move(path)) {
    const std::string native = NativeModuleName(path_);
    // A module already in the process is used as it is and not owned: the reference that the query
    // counted is given back at once, so that its owner can still unload it.
    handle_ = dlopen(native.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle_ != nullptr) {
        dlclose(handle_);
        return;
    }
    handle_ = dlopen(native.c_str(), RTLD_NOW);
    if (handle_ == nullptr) {
        // A bare name is searched in the library path only; the suite keeps its modules together,
        // so the next place to look is the folder this library came from.
        Core::LogMessage(
            Core::LogDebug, kConstructor, __FILE__, __LINE__,
            Core::StringFormat("Failed to load dll [%s] directly. Trying with LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR",
                               path_.c_str())
                .c_str());
        const std::string folder = OwnFolder();
        if (!folder.empty() && native.find('/') == std::string::npos) {
            handle_ = dlopen((folder + "/" + native).c_str(), RTLD_NOW);
        }
    }
    if (handle_ == nullptr && IsExistingFile(native)) {
        // A relative name that exists from the current folder is what the caller meant: load it by
        // its full path.
        Core::LogMessage(
            Core::LogDebug, kConstructor, __FILE__, __LINE__,
            Core::StringFormat("Failed to load dll [%s] on 2nd attempt. Trying with LOAD_WITH_ALTERED_SEARCH_PATH",
                               path_.c_str())
                .c_str());
        std::error_code ignored;
        const std::string full = std::filesystem::absolute(native, ignored).string();
        handle_ = dlopen(full.c_str(), RTLD_NOW);
    }
    if (handle_ == nullptr) {
        RaiseLoaderError(kConstructor, "Failed to load library: " + path_ + "::" + LastLoaderError(), __LINE__);
    }
    owned_ = true;
}

DllImpl::~DllImpl() {
    if (owned_ && handle_ != nullptr) {
        dlclose(handle_);
    }
}

void* DllImpl::Lookup(const char* name, std::string* reason) {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    if (auto it = cache_.find(name); it != cache_.end()) {
        return it->second;
    }
    dlerror();
    void* address = dlsym(handle_, name);
    if (address != nullptr) {
        cache_.emplace(name, address);
    } else if (reason != nullptr) {
        *reason = LastLoaderError();
    }
    return address;
}

void* DllImpl::GetProcAddress(const char* name, Core::IErrorCode** error) {
    void* address = nullptr;
    Core::AbiGuard(error, [&] {
        Core::CheckNotNull(name);
        std::string reason;
        address = Lookup(name, &reason);
        if (address == nullptr) {
            RaiseLoaderError(
                "Platform::Module::impl::DllImpl::GetProcAddress",
                Core::StringFormat("Failed to find procedure %s in %s::%s", name, path_.c_str(), reason.c_str()),
                __LINE__);
        }
    });
    return address;
}

bool DllImpl::HasProc(const char* name) {
    return name != nullptr && Lookup(name, nullptr) != nullptr;
}

}  // namespace impl

std::string NativeModuleName(const std::string& name) {
    static const std::string suffix = ".dll";
    if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        const auto slash = name.find_last_of("/\\");
        const std::string folder = slash == std::string::npos ? "" : name.substr(0, slash + 1);
        const std::string stem = name.substr(folder.size(), name.size() - folder.size() - suffix.size());
        return folder + "lib" + stem + ".so";
    }
    return name;
}

Core::Ptr<Interfaces::IDll> LoadDll(const std::string& path) {
    return Core::MakeObject<impl::DllImpl>(path);
}

bool IsModuleLoaded(const std::string& path) {
    void* handle = dlopen(NativeModuleName(path).c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) {
        return false;
    }
    dlclose(handle);
    return true;
}

}  // namespace Platform::Module

bool Platform_CreateDll(const char* path, Platform::Interfaces::IDll** dll, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(path);
        Core::CheckOut(dll);
        Core::HandOut(Platform::Module::LoadDll(path), dll);
    });
}
