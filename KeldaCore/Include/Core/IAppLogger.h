#pragma once
#include <cstdint>

#include "Core/IConsole.h"
#include "Vesk/Core/IObject.h"

namespace Platform::Interfaces {

// The process-wide application logger, supplied by the host module or by the platform layer. It keeps
// its interface's name from the suite's platform library, while its declaration lives here so that the
// log front end of KeldaCore needs nothing from the platform layer.
// Implementations are safe for concurrent use without outside locking: any thread may log while another
// changes options; option getters are read without a lock by the log front end.
struct IAppLogger : Core::IObject {
    virtual bool Start(const char* path) = 0;
    virtual void SetEnabled(bool enabled) = 0;
    virtual void SetTimestamps(bool timestamps) = 0;
    virtual void SetShowFile(bool show) = 0;
    virtual void SetShowFunction(bool show) = 0;
    virtual void SetShowLine(bool show) = 0;
    virtual void MarkFailed() = 0;
    virtual const char* GetFilePath() = 0;
    virtual const char* GetFailedFilePath() = 0;
    virtual void Log(const char* text, uint32_t colour) = 0;
    virtual void LogStackTrace(uint32_t framesToSkip, uint32_t framesToCapture) = 0;
    virtual void SetConsole(IConsole* console) = 0;
    virtual IConsole* GetConsole() = 0;
    virtual void SetLevel(uint32_t level) = 0;
    virtual uint32_t GetLevel() = 0;
    virtual bool GetShowFile() = 0;
    virtual bool GetShowFunction() = 0;
    virtual bool GetShowLine() = 0;
    virtual bool IsEnabled() = 0;
    virtual void SetFilePath(const char* path) = 0;
    virtual bool Restart() = 0;
};

struct IAppLogger1 : IAppLogger {
    virtual void SetCorrelation(bool correlation) = 0;
};

}  // namespace Platform::Interfaces

// The export that a host module ("KeldaHost") offers so that every library of the process logs
// through the host's logger: stores the logger with a new reference and returns true.
using Platform_GetAppLoggerInstanceFunction = bool (*)(Platform::Interfaces::IAppLogger** logger);
