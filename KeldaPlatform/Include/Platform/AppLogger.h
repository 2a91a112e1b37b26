#pragma once
#include <atomic>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>

#include "Core/IAppLogger.h"
#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Platform/IFile.h"
#include "Vesk/Data/IDateTime.h"

namespace Platform::Logger {

// A runtime expressed in the largest unit that keeps it readable.
struct RuntimeValue {
    double value;
    const char* unit;  // "seconds", "minutes", "hours" or "days"
};

// ticks are 100-nanosecond intervals. Minutes above 120 seconds, hours above 120 minutes, days
// above 48 hours.
RuntimeValue RuntimeUnits(uint64_t ticks);

// The local time as asctime writes it, without its final line break: "Wed Jan  2 03:04:05 2026".
std::string AsctimeText(const std::tm& local);

// The standard library's hash of a thread id: 64-bit FNV-1a over the id's four bytes.
uint64_t CorrelationHash(uint32_t threadId);

// One record: "<time> :: <text><suffix>\r\n" with a time, "<text><suffix>\r\n" without; the suffix
// is " (Corr: <hash in hexadecimal>)" when a correlation thread id is given.
std::string FormatRecord(const char* text, const std::tm* localTime, const uint32_t* correlationThreadId);

// The process's application logger with a new reference: the host module's ("KeldaHost") while that
// module exports one and stays loaded, empty once it has been unloaded, else the library's own logger.
// This is the locator that the platform layer installs for the log front end. Safe from any thread.
Core::Ptr<Interfaces::IAppLogger> LocateAppLogger();

namespace impl {

// The library's own application logger, used when the host supplies none. Disabled until the host
// enables it; writes to its file only once started.
// Safe for concurrent use without outside locking: records from different threads never interleave.
// The option flags are atomics read without the lock; the file, the paths and the console sink are
// guarded by lock_.
class AppLogger final : public Core::ObjectT<Interfaces::IAppLogger1> {
public:
    AppLogger();

    bool Start(const char* path) override;
    void SetEnabled(bool enabled) override { enabled_ = enabled; }
    void SetTimestamps(bool timestamps) override { timestamps_ = timestamps; }
    void SetShowFile(bool show) override { showFile_ = show; }
    void SetShowFunction(bool show) override { showFunction_ = show; }
    void SetShowLine(bool show) override { showLine_ = show; }
    void MarkFailed() override { failed_ = true; }
    const char* GetFilePath() override { return filePath_.c_str(); }
    const char* GetFailedFilePath() override { return failedFilePath_.c_str(); }
    void Log(const char* text, uint32_t colour) override;
    void LogStackTrace(uint32_t framesToSkip, uint32_t framesToCapture) override;
    void SetConsole(Interfaces::IConsole* console) override;
    Interfaces::IConsole* GetConsole() override;
    void SetLevel(uint32_t level) override { level_ = level; }
    uint32_t GetLevel() override { return level_; }
    bool GetShowFile() override { return showFile_; }
    bool GetShowFunction() override { return showFunction_; }
    bool GetShowLine() override { return showLine_; }
    bool IsEnabled() override { return enabled_; }
    void SetFilePath(const char* path) override;
    bool Restart() override;
    void SetCorrelation(bool correlation) override { correlation_ = correlation; }

private:
    ~AppLogger() override;
    // Opens the stored path for writing, truncating it; false when it cannot be opened. Needs lock_.
    bool OpenLocked();
    // Writes "[Log successfully started]" with a time stamp whatever the options say: the record is
    // written directly, so no other thread ever sees the logger enabled on its behalf. Needs lock_.
    void WriteStartedLocked();
    // Hands a finished record to the console sink and the file. Needs lock_.
    void WriteLocked(const std::string& record, uint32_t colour);

    Core::Ptr<Interfaces::ISynchrounousFile> file_;  // guarded by lock_
    std::string filePath_;                           // guarded by lock_; never changes once set
    std::string failedFilePath_;                     // guarded by lock_; never changes once set
    std::atomic<bool> enabled_{false};
    std::atomic<bool> timestamps_{false};
    std::atomic<bool> failed_{false};
    std::atomic<bool> showFunction_{true};
    std::atomic<bool> showFile_{false};
    std::atomic<bool> showLine_{false};
    std::atomic<bool> correlation_{false};
    std::atomic<uint32_t> level_{4};
    std::recursive_mutex lock_;
    Core::Ptr<Interfaces::IConsole> console_;  // guarded by lock_
    Core::Ptr<Data::Interfaces::IDateTime> startTime_;
};

}  // namespace impl
}  // namespace Platform::Logger
