#include "Platform/StackTrace.h"

#include "Win32.h"
// DbgHelp needs the definitions of windows.h first.
#include <dbghelp.h>

#include <atomic>
#include <cinttypes>
#include <mutex>
#include <vector>

#include "Common/Backend.h"
#include "Core/StringFormat.h"
#include "WideText.h"

namespace Platform::Diagnostics {
namespace {

// DbgHelp is not thread-safe: every symbol call of the process goes through this one lock.
std::mutex& SymbolMutex() {
    static std::mutex mutex;
    return mutex;
}

// The folder of the main executable, where its symbols lie.
std::wstring ExecutableFolder() {
    std::vector<wchar_t> buffer(32768);
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    std::wstring path(buffer.data(), length);
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// Set once the symbol handler is initialised, cleared when the logger's end gives it back.
std::atomic<bool> symbolsInitialised{false};

// Initialises the symbol handler once per process, invading it so that every loaded module is known.
void InitialiseSymbols(HANDLE process) {
    bool expected = false;
    if (symbolsInitialised.compare_exchange_strong(expected, true)) {
        const std::wstring folder = ExecutableFolder();
        SymSetOptions(SymGetOptions() | SYMOPT_UNDNAME | SYMOPT_DEFERRED_LOADS);
        SymInitializeW(process, folder.empty() ? nullptr : folder.c_str(), TRUE);
    }
}

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

__attribute__((noinline)) bool CaptureStackTrace(uint32_t framesToSkip, uint32_t framesToCapture, std::string& trace,
                                                 std::string& error) {
    if (framesToCapture == 0) {
        error = "No frames requested";
        return false;
    }
    // The buffers belong to the call, not to the thread: mingw-w64 may free thread-local storage
    // before the destructors of its objects run when a thread ends.
    std::vector<void*> frames;
    std::vector<uint8_t> symbolBuffer(sizeof(SYMBOL_INFO) + MAX_SYM_NAME);
    // The system counts in 16 bits here: larger requests are cut down.
    const DWORD skip = framesToSkip > 0xFFFEu ? 0xFFFEu : framesToSkip;
    const DWORD count = framesToCapture > 0xFFFEu - skip ? 0xFFFEu - skip : framesToCapture;
    frames.resize(count);
    const USHORT captured = RtlCaptureStackBackTrace(skip, count, frames.data(), nullptr);
    if (captured == 0) {
        error = "The call stack could not be captured";
        return false;
    }

    HANDLE process = GetCurrentProcess();
    std::lock_guard<std::mutex> lock(SymbolMutex());
    InitialiseSymbols(process);
    SymRefreshModuleList(process);
    trace.clear();
    for (USHORT i = 0; i < captured; ++i) {
        const DWORD64 address = reinterpret_cast<DWORD64>(frames[i]);
        trace += Core::StringFormat("\t[%d]. [0x%016" PRIX64 "]", static_cast<int>(i), static_cast<uint64_t>(address));
        auto* symbol = reinterpret_cast<SYMBOL_INFO*>(symbolBuffer.data());
        std::fill(symbolBuffer.begin(), symbolBuffer.end(), 0);
        symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
        symbol->MaxNameLen = MAX_SYM_NAME;
        DWORD64 displacement = 0;
        IMAGEHLP_MODULEW64 module{};
        module.SizeOfStruct = sizeof module;
        if (!SymFromAddr(process, address, &displacement, symbol) || !SymGetModuleInfoW64(process, address, &module)) {
            trace += ", (Symbols not loaded)";
        } else {
            const std::string image = Windows::Text::Narrow(module.LoadedImageName, wcslen(module.LoadedImageName));
            trace += Core::StringFormat(", [%s], %s!%s", image.c_str(), FileNameOf(image).c_str(), symbol->Name);
        }
        trace += "\n";
    }
    return true;
}

}  // namespace Platform::Diagnostics

namespace Platform::Backend {

void ReleaseStackTraceResources() noexcept {
    std::lock_guard<std::mutex> lock(Diagnostics::SymbolMutex());
    bool expected = true;
    if (Diagnostics::symbolsInitialised.compare_exchange_strong(expected, false)) {
        SymCleanup(GetCurrentProcess());
    }
}

}  // namespace Platform::Backend
