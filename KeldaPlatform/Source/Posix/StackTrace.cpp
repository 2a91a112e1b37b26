#include "Platform/StackTrace.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <algorithm>
#include <cinttypes>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "Core/StringFormat.h"

namespace Platform::Diagnostics {
namespace {

// Symbol look-ups of all threads go one at a time, as the symbol services of other systems need.
std::mutex& SymbolMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string Demangle(const char* name) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
    return status == 0 && demangled ? std::string(demangled.get()) : std::string(name);
}

std::string FileNameOf(const char* path) {
    std::string text(path);
    const size_t slash = text.find_last_of('/');
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

}  // namespace

__attribute__((noinline)) bool CaptureStackTrace(uint32_t framesToSkip, uint32_t framesToCapture, std::string& trace,
                                                 std::string& error) {
    if (framesToCapture == 0) {
        error = "No frames requested";
        return false;
    }
    // Tools that wrap the capture (sanitizers) may add frames of their own before ours: room for
    // them, and the frames of this function located by its return address.
    constexpr size_t kExtra = 4;
    const size_t wanted = static_cast<size_t>(framesToSkip) + framesToCapture + kExtra;
    // A buffer of the call's own, not one kept per thread: a library that hosts unload must hold no
    // thread-local storage, which outlives the unloading in every thread that touched it.
    std::vector<void*> frames(wanted);
    const int captured = backtrace(frames.data(), static_cast<int>(wanted));
    void* const caller = __builtin_return_address(0);
    int own = 0;
    for (int i = 1; i < captured && i <= static_cast<int>(kExtra); ++i) {
        if (frames[i] == caller) {
            own = i - 1;
            break;
        }
    }
    const int first = own + static_cast<int>(framesToSkip);
    const int last = std::min(captured, first + static_cast<int>(framesToCapture));
    if (first >= last) {
        error = "The call stack could not be captured";
        return false;
    }

    std::lock_guard<std::mutex> lock(SymbolMutex());
    trace.clear();
    for (int i = first; i < last; ++i) {
        const int index = i - first;
        // Addresses print with all their digits after "0x", as on the suite's other platforms.
        trace += Core::StringFormat("\t[%d]. [0x%016" PRIXPTR "]", index, reinterpret_cast<uintptr_t>(frames[i]));
        Dl_info info{};
        if (dladdr(frames[i], &info) == 0 || info.dli_fname == nullptr || info.dli_sname == nullptr) {
            trace += ", (Symbols not loaded)";
        } else {
            trace += Core::StringFormat(", [%s], %s!%s", info.dli_fname, FileNameOf(info.dli_fname).c_str(),
                                        Demangle(info.dli_sname).c_str());
        }
        trace += "\n";
    }
    return true;
}

}  // namespace Platform::Diagnostics
