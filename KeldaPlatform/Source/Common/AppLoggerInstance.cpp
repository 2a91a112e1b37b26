// Finding the process's application logger: the host module's, else the library's own.
#include <mutex>

#include "Core/ErrorCode.h"
#include "Core/Log.h"
#include "Platform/AppLogger.h"
#include "Platform/Module.h"

namespace Core {
namespace {

constexpr const char* kHostModule = "KeldaHost.dll";
using GetLoggerExport = Platform_GetAppLoggerInstanceFunction;

struct HostLogger {
    Ptr<Platform::Interfaces::IDll> module;
    GetLoggerExport get = nullptr;
};

HostLogger& FindHostLogger() {
    static HostLogger host;
    static std::once_flag loadOnce;
    static std::once_flag lookupOnce;
    std::call_once(loadOnce, [] {
        try {
            host.module = Platform::Module::LoadDll(kHostModule);
        } catch (...) {
            // No host module: the library's own logger serves.
        }
    });
    std::call_once(lookupOnce, [] {
        if (host.module) {
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

Platform::Interfaces::IAppLogger* OwnLogger() {
    // Lives until process exit so that late log lines (static destructors) still find it.
    static Ptr<Platform::Logger::impl::AppLogger> own = MakeObject<Platform::Logger::impl::AppLogger>();
    return own.GetUnchecked();
}

}  // namespace

Ptr<Platform::Interfaces::IAppLogger> GetAppLoggerInstance() {
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

}  // namespace Core
