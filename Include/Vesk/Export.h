#pragma once
// Symbol export macros for the shared libraries of the suite. Every exported function has C linkage
// so that a host can resolve it by name with dlsym/GetProcAddress.

#if defined(_WIN32)
#define VESK_SYMBOL_EXPORT __declspec(dllexport)
#define VESK_SYMBOL_IMPORT __declspec(dllimport)
#else
#define VESK_SYMBOL_EXPORT __attribute__((visibility("default")))
#define VESK_SYMBOL_IMPORT __attribute__((visibility("default")))
#endif

#if defined(VESK_WORKSPACE_BUILDING)
#define VESK_WORKSPACE_API extern "C" VESK_SYMBOL_EXPORT
#else
#define VESK_WORKSPACE_API extern "C" VESK_SYMBOL_IMPORT
#endif

#if defined(KELDA_DATA_BUILDING)
#define KELDA_DATA_API extern "C" VESK_SYMBOL_EXPORT
#else
#define KELDA_DATA_API extern "C" VESK_SYMBOL_IMPORT
#endif

#if defined(VESK_CORE_BUILDING)
#define VESK_CORE_API extern "C" VESK_SYMBOL_EXPORT
#else
#define VESK_CORE_API extern "C" VESK_SYMBOL_IMPORT
#endif
