// Finding the process's application logger: the host module's, else the library's own. The log front
// end asks through the locator that this file installs.
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "Core/ErrorCode.h"
#include "Core/Log.h"
#include "Platform/AppLogger.h"
#include "Platform/Module.h"

namespace Platform::Logger {
namespace {

using Core::ErrorCode;
using Core::Ptr;

constexpr const char* kHostModule = "KeldaHost.dll";
using GetLoggerExport = Platform_GetAppLoggerInstanceFunction;

struct HostLogger {
    Ptr<Platform::Interfaces::IDll> module;
    GetLoggerExport get = nullptr;
};

// The thread that is looking for the host module, if any: the loader logs its attempts, and those lines
// must not start a second search from inside the first. The search runs under call_once, so one thread
// at a time is enough to remember. Deliberately not thread_local: a library that a host unloads should
// leave no thread-local blocks behind.
std::atomic<std::thread::id> searchingThread{};

bool SearchingOnThisThread() noexcept {
    return searchingThread.load(std::memory_order_acquire) == std::this_thread::get_id();
}

class SearchScope {
public:
    SearchScope() { searchingThread.store(std::this_thread::get_id(), std::memory_order_release); }
    ~SearchScope() { searchingThread.store(std::thread::id(), std::memory_order_release); }
    SearchScope(const SearchScope&) = delete;
    SearchScope& operator=(const SearchScope&) = delete;
};

HostLogger& FindHostLogger() {
    static HostLogger host;
    static std::once_flag loadOnce;
    static std::once_flag lookupOnce;
    std::call_once(loadOnce, [] {
        SearchScope scope;
        try {
            host.module = Platform::Module::LoadDll(kHostModule);
        } catch (...) {
            // No host module: the library's own logger serves.
        }
    });
    std::call_once(lookupOnce, [] {
        if (host.module) {
            SearchScope scope;
            ErrorCode error;
            void* address = host.module->GetProcAddress("Platform_GetAppLoggerInstance", error.Receive());
            if (error) {
                throw std::runtime_error(std::string(error.Message()));
            }
            host.get = reinterpret_cast<GetLoggerExport>(address);
        }
    });
    return host;
}

// Never destroyed before process exit, and known to be gone after it: log lines from static
// destructors that run later find no logger instead of a destroyed one. The flag is trivially
// destructible so that it outlives every destructor.
std::atomic<bool> ownLoggerGone{false};

struct OwnLoggerHolder {
    Ptr<impl::AppLogger> logger = Core::MakeObject<impl::AppLogger>();
    ~OwnLoggerHolder() {
        ownLoggerGone = true;
        logger.Reset();
    }
};

Platform::Interfaces::IAppLogger* OwnLogger() {
    if (ownLoggerGone) {
        return nullptr;
    }
    static OwnLoggerHolder own;
    return own.logger.GetUnchecked();
}

}  // namespace

Ptr<Platform::Interfaces::IAppLogger> LocateAppLogger() {
    if (SearchingOnThisThread()) {
        return {};
    }
    HostLogger& host = FindHostLogger();
    if (host.get == nullptr) {
        return Ptr<Platform::Interfaces::IAppLogger>(OwnLogger());
    }
    if (!Platform::Module::IsModuleLoaded(kHostModule)) {
        return {};
    }
    Platform::Interfaces::IAppLogger* logger = nullptr;
    if (!host.get(&logger) || logger == nullptr) {
        return {};
    }
    return Ptr<Platform::Interfaces::IAppLogger>::Adopt(logger);
}

}  // namespace Platform::Logger
