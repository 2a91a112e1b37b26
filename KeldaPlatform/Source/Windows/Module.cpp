#include "Platform/Module.h"

#include "Win32.h"

#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "Core/Guard.h"
#include "Core/Log.h"
#include "Core/Object.h"
#include "Core/StringFormat.h"
#include "Platform/RichError.h"
#include "WideText.h"

namespace Platform::Module {
namespace impl {
namespace {

constexpr const char* kConstructor = "Platform::Windows::Module::impl::DllImpl::DllImpl";

bool IsExistingFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
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
    void* Lookup(const char* name, DWORD* code);

    HMODULE handle_ = nullptr;  // immutable after construction
    std::string path_;          // immutable after construction
    bool owned_ = false;        // immutable after construction
    std::mutex cacheMutex_;
    std::unordered_map<std::string, void*> cache_;  // guarded by cacheMutex_
};

DllImpl::DllImpl(std::string path) : path_(std::move(path)) {
    const std::wstring wide = Windows::Text::Widen(path_);
    // A module already in the process is used as it is and not owned: its load count stays as it was.
    handle_ = GetModuleHandleW(wide.c_str());
    if (handle_ != nullptr) {
        return;
    }
    handle_ = LoadLibraryW(wide.c_str());
    if (handle_ == nullptr) {
        Core::LogMessage(
            Core::LogDebug, kConstructor, __FILE__, __LINE__,
            Core::StringFormat("Failed to load dll [%s] directly. Trying with LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR",
                               path_.c_str())
                .c_str());
        handle_ = LoadLibraryExW(wide.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR);
    }
    if (handle_ == nullptr && IsExistingFile(wide)) {
        Core::LogMessage(
            Core::LogDebug, kConstructor, __FILE__, __LINE__,
            Core::StringFormat("Failed to load dll [%s] on 2nd attempt. Trying with LOAD_WITH_ALTERED_SEARCH_PATH",
                               path_.c_str())
                .c_str());
        handle_ = LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    if (handle_ == nullptr) {
        RichError::ThrowWin32(GetLastError(), "Failed to load library: " + path_);
    }
    owned_ = true;
}

DllImpl::~DllImpl() {
    if (owned_ && handle_ != nullptr) {
        FreeLibrary(handle_);
    }
}

void* DllImpl::Lookup(const char* name, DWORD* code) {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    if (auto it = cache_.find(name); it != cache_.end()) {
        return it->second;
    }
    void* address = reinterpret_cast<void*>(::GetProcAddress(handle_, name));
    if (address != nullptr) {
        cache_.emplace(name, address);
    } else if (code != nullptr) {
        *code = GetLastError();
    }
    return address;
}

void* DllImpl::GetProcAddress(const char* name, Core::IErrorCode** error) {
    void* address = nullptr;
    Core::AbiGuard(error, [&] {
        Core::CheckNotNull(name);
        DWORD code = 0;
        address = Lookup(name, &code);
        if (address == nullptr) {
            RichError::ThrowWin32(code, Core::StringFormat("Failed to find procedure %s in %s", name, path_.c_str()));
        }
    });
    return address;
}

bool DllImpl::HasProc(const char* name) {
    return name != nullptr && Lookup(name, nullptr) != nullptr;
}

}  // namespace impl

std::string NativeModuleName(const std::string& name) {
    return name;
}

Core::Ptr<Interfaces::IDll> LoadDll(const std::string& path) {
    return Core::MakeObject<impl::DllImpl>(path);
}

bool IsModuleLoaded(const std::string& path) {
    return GetModuleHandleW(Windows::Text::Widen(path).c_str()) != nullptr;
}

}  // namespace Platform::Module

bool Platform_CreateDll(const char* path, Platform::Interfaces::IDll** dll, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(path);
        Core::CheckOut(dll);
        Core::HandOut(Platform::Module::LoadDll(path), dll);
    });
}
