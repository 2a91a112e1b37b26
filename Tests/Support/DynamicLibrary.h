#pragma once
// Loading a shared library as a host does, on POSIX systems and on Windows alike.
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace VeskTest {

// The library at path, loaded now; null when the loader refuses it (LoaderError says why).
inline void* OpenLibrary(const char* path) {
#if defined(_WIN32)
    return reinterpret_cast<void*>(LoadLibraryA(path));
#else
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
#endif
}

// The address of an exported function; null when it is missing.
inline void* Symbol(void* library, const char* name) {
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
    return dlsym(library, name);
#endif
}

// Gives the reference back; true when the loader accepted that.
inline bool CloseLibrary(void* library) {
#if defined(_WIN32)
    return FreeLibrary(static_cast<HMODULE>(library)) != 0;
#else
    return dlclose(library) == 0;
#endif
}

// Why the last load failed.
inline std::string LoaderError() {
#if defined(_WIN32)
    return "Windows error " + std::to_string(GetLastError());
#else
    const char* reason = dlerror();
    return reason != nullptr ? reason : "unknown reason";
#endif
}

}  // namespace VeskTest
