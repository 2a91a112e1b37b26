#pragma once
// The workspace library as a host sees it: loaded by path, its exports resolved by name.
#include <stdexcept>
#include <string>

#include "Support/DynamicLibrary.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/Workspace.h"

namespace VeskHost {

class WorkspaceLibrary {
public:
    WorkspaceLibrary() {
        handle_ = VeskTest::OpenLibrary(VESK_WORKSPACE_LIBRARY);
        if (handle_ == nullptr) {
            throw std::runtime_error(VeskTest::LoaderError());
        }
        Resolve(CreateOnFilesystem, "VeskWorkspace_CreateOnFilesystem");
        Resolve(CreateInMemory, "VeskWorkspace_CreateInMemory");
        Resolve(LoadFromMemory, "VeskWorkspace_LoadFromMemory");
        Resolve(LoadFromMemory1, "VeskWorkspace_LoadFromMemory1");
        Resolve(GenerateDefaultSecret, "VeskWorkspace_GenerateDefaultSecret");
        Resolve(SetLogger, "VeskWorkspace_SetLogger");
        // The data-object library comes in as a dependency of the workspace library; its exports are
        // looked up in it by name, as a Windows host must (GetProcAddress searches one module only).
        dataHandle_ = VeskTest::OpenLibrary(KELDA_DATA_LIBRARY);
        if (dataHandle_ == nullptr) {
            throw std::runtime_error(VeskTest::LoaderError());
        }
        Resolve(NewUuid, "Data_NewUuid");
        Resolve(UuidToString, "Data_UuidToString");
        Resolve(UuidFromString, "Data_UuidFromString");
        Resolve(CreateProperties, "Data_CreateProperties");
        Resolve(CreateSecureString, "Data_CreateSecureString");
    }
    // The libraries stay loaded until the process ends, as in most hosts: after an unload, the leak
    // checker of the sanitizer builds walks the unloaded modules' stale thread-local blocks and crashes.
    ~WorkspaceLibrary() = default;
    WorkspaceLibrary(const WorkspaceLibrary&) = delete;
    WorkspaceLibrary& operator=(const WorkspaceLibrary&) = delete;

    decltype(&VeskWorkspace_CreateOnFilesystem) CreateOnFilesystem = nullptr;
    decltype(&VeskWorkspace_CreateInMemory) CreateInMemory = nullptr;
    decltype(&VeskWorkspace_LoadFromMemory) LoadFromMemory = nullptr;
    decltype(&VeskWorkspace_LoadFromMemory1) LoadFromMemory1 = nullptr;
    decltype(&VeskWorkspace_GenerateDefaultSecret) GenerateDefaultSecret = nullptr;
    decltype(&VeskWorkspace_SetLogger) SetLogger = nullptr;
    decltype(&Data_NewUuid) NewUuid = nullptr;
    decltype(&Data_UuidToString) UuidToString = nullptr;
    decltype(&Data_UuidFromString) UuidFromString = nullptr;
    decltype(&Data_CreateProperties) CreateProperties = nullptr;
    decltype(&Data_CreateSecureString) CreateSecureString = nullptr;

private:
    template <class F>
    void Resolve(F& function, const char* name) {
        void* address = VeskTest::Symbol(handle_, name);
        if (address == nullptr && dataHandle_ != nullptr) {
            address = VeskTest::Symbol(dataHandle_, name);
        }
        function = reinterpret_cast<F>(address);
        if (function == nullptr) {
            throw std::runtime_error(std::string("missing export ") + name);
        }
    }

    void* handle_ = nullptr;
    void* dataHandle_ = nullptr;
};

// Holds the one reference a host receives from the library.
template <class T>
class Held {
public:
    Held() = default;
    explicit Held(T* p) : p_(p) {}
    ~Held() {
        if (p_ != nullptr) {
            p_->Release();
        }
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    T** Out() { return &p_; }
    // Releases the held reference now.
    void Reset() {
        if (p_ != nullptr) {
            p_->Release();
            p_ = nullptr;
        }
    }
    T* operator->() const { return p_; }
    T* Get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

}  // namespace VeskHost
