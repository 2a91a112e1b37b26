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
// function, line and file appended as the logger asks. All text is UTF-8.
void LogMessage(int32_t level, const char* function, const char* file, int32_t line, const char* message);
void LogAt(int32_t level, const SourceLocation& where, const char* message);

inline void Log(int32_t level, const std::string& message,
                const std::source_location& where = std::source_location::current()) {
    LogAt(level, SourceLocation::From(where), message.c_str());
}

// The process's application logger with a new reference: the host module's when it exports one,
// else the library's own; empty when the host module has been unloaded since.
Ptr<Platform::Interfaces::IAppLogger> GetAppLoggerInstance();

}  // namespace Core
