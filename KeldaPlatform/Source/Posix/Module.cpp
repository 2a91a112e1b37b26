#include "Platform/Module.h"

#include <dlfcn.h>

#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "Core/Guard.h"
#include "Core/Log.h"
#include "Core/Object.h"
#include "Core/StringFormat.h"

namespace Platform::Module {
namespace impl {

class DllImpl final : public Core::ObjectT<Interfaces::IDll> {
public:
    explicit DllImpl(std::string path);

    const char* GetPath() override { return path_.c_str(); }
    void* GetHandle() override { return handle_; }
    void* GetProcAddress(const char* name, Core::IErrorCode** error) override;
    bool HasProc(const char* name) override;

private:
    ~DllImpl() override;
    void* Lookup(const char* name);

    void* handle_ = nullptr;
    std::string path_;
    bool owned_ = false;
    std::mutex cacheMutex_;
    std::unordered_map<std::string, void*> cache_;
};

DllImpl::DllImpl(std::string path) : path_(std::move(path)) {
    const std::string native = NativeModuleName(path_);
    // A module already in the process is used as it is and not owned: the reference that dlopen
    // with RTLD_NOLOAD counts is given back at once, so that its owner can still unload it.
    handle_ = dlopen(native.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle_ != nullptr) {
        dlclose(handle_);
        return;
    }
    handle_ = dlopen(native.c_str(), RTLD_NOW);
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        throw std::runtime_error("Failed to load library: " + path_ + " (" + (reason ? reason : "unknown") + ")");
    }
    owned_ = true;
}

DllImpl::~DllImpl() {
    if (owned_ && handle_ != nullptr) {
        dlclose(handle_);
    }
}

void* DllImpl::Lookup(const char* name) {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    if (auto it = cache_.find(name); it != cache_.end()) {
        return it->second;
    }
    dlerror();
    void* address = dlsym(handle_, name);
    if (address != nullptr) {
        cache_.emplace(name, address);
    }
    return address;
}

void* DllImpl::GetProcAddress(const char* name, Core::IErrorCode** error) {
    void* address = nullptr;
    Core::AbiGuard(error, [&] {
        Core::CheckNotNull(name);
        address = Lookup(name);
        if (address == nullptr) {
            throw std::runtime_error(Core::StringFormat("Procedure %s not found in %s", name, path_.c_str()));
        }
    });
    return address;
}

bool DllImpl::HasProc(const char* name) {
    return name != nullptr && Lookup(name) != nullptr;
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
