#pragma once
#include <string>

#include "Core/Ptr.h"
#include "Platform/IDll.h"

namespace Platform::Module {

// Every function here is safe to call from any thread.

// The file name under which this platform keeps a module of the suite: "KeldaHost.dll" is
// "libKeldaHost.so" on POSIX systems. Names without the ".dll" suffix are used as given.
std::string NativeModuleName(const std::string& name);

// Loads a module (or takes the one already loaded) and hands it out, owned by the caller; throws
// "Failed to load library: <path>" with the loader's reason when it cannot be loaded.
Core::Ptr<Interfaces::IDll> LoadDll(const std::string& path);

// Whether the module is loaded in this process now, without loading it.
bool IsModuleLoaded(const std::string& path);

}  // namespace Platform::Module

// The error-code form of LoadDll.
bool Platform_CreateDll(const char* path, Platform::Interfaces::IDll** dll, Core::IErrorCode** error);
