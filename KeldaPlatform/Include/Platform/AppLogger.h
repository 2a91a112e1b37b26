#pragma once
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Platform/IAppLogger.h"

namespace Platform::Logger::impl {

// The library's own application logger, used when the host supplies none. Disabled until the host
// enables it; writes nowhere until started with a file.
class AppLogger final : public Core::ObjectT<Interfaces::IAppLogger1> {
public:
    AppLogger() = default;

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
    Interfaces::IConsole* GetConsole() override { return console_.GetUnchecked(); }
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
    bool OpenFile();
    void WriteLocked(const std::string& record, uint32_t colour);
    std::string BuildRecord(const char* text) const;

    std::FILE* file_ = nullptr;
    std::string filePath_;
    std::string failedFilePath_;
    bool enabled_ = false;
    bool timestamps_ = false;
    bool failed_ = false;
    bool showFunction_ = true;
    bool showFile_ = false;
    bool showLine_ = false;
    bool correlation_ = false;
    uint32_t level_ = 4;
    std::recursive_mutex lock_;
    Core::Ptr<Interfaces::IConsole> console_;
};

}  // namespace Platform::Logger::impl
