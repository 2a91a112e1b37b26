#pragma once
#include <cstdint>
#include <source_location>
#include <string>

#include "Core/Ptr.h"

namespace Platform::Interfaces {
struct IAppLogger;
}

namespace Core {

enum LogLevel : int32_t {
    LogTrace = 0,
    LogDebug = 1,
    LogInfo = 4,
    LogWarn = 5,
    LogError = 6,
    LogFatal = 7,
};

// Where a log line or a fatal error comes from.
struct SourceLocation {
    int32_t line = 0;
    const char* function = "";
    const char* file = "";

    static SourceLocation From(const std::source_location& where) {
        return {static_cast<int32_t>(where.line()), where.function_name(), where.file_name()};
    }
};

// The one way a line reaches the application logger: filtered by its level, prefixed, with the
// function, line and file appended as the logger asks. All text is UTF-8. Logging never throws: a line
// that cannot be composed or written is dropped. Safe to call from any thread.
void LogMessage(int32_t level, const char* function, const char* file, int32_t line, const char* message) noexcept;
void LogAt(int32_t level, const SourceLocation& where, const char* message) noexcept;

inline void Log(int32_t level, const std::string& message,
                const std::source_location& where = std::source_location::current()) noexcept {
    LogAt(level, SourceLocation::From(where), message.c_str());
}

// Finds the process's application logger and returns it with a new reference, or empty when there is
// none. The platform layer installs its locator (the host module's logger, else the library's own) when
// it is linked into a binary; until then, and in binaries without it, lines go nowhere.
using AppLoggerLocator = Ptr<Platform::Interfaces::IAppLogger> (*)();

// Installs the locator that GetAppLoggerInstance asks; null uninstalls. Safe to call from any thread.
void SetAppLoggerLocator(AppLoggerLocator locator) noexcept;

// The process's application logger with a new reference, as the installed locator finds it; empty when
// no locator is installed or it finds none (a host module unloaded since, say). Throws what the locator
// throws; LogMessage catches it.
Ptr<Platform::Interfaces::IAppLogger> GetAppLoggerInstance();

}  // namespace Core
