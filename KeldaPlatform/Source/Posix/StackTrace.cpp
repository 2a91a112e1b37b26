#include "Platform/StackTrace.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

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
    // The frame buffer is per thread, grown as needed and reused.
    thread_local std::vector<void*> frames;
    const size_t wanted = static_cast<size_t>(framesToSkip) + framesToCapture;
    if (wanted == 0 || framesToCapture == 0) {
        error = "No frames requested";
        return false;
    }
    if (frames.size() < wanted) {
        frames.resize(wanted);
    }
    const int captured = backtrace(frames.data(), static_cast<int>(wanted));
    if (captured <= static_cast<int>(framesToSkip)) {
        error = "The call stack could not be captured";
        return false;
    }

    std::lock_guard<std::mutex> lock(SymbolMutex());
    trace.clear();
    for (int i = static_cast<int>(framesToSkip); i < captured; ++i) {
        const int index = i - static_cast<int>(framesToSkip);
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
