// A stand-in for the host's platform module: it hands every library of the process its logger,
// which records the lines it is given.
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "Core/IAppLogger.h"
#include "Core/Object.h"
#include "Vesk/Export.h"

namespace {

class RecordingLogger final : public Core::ObjectT<Platform::Interfaces::IAppLogger1> {
public:
    bool Start(const char*) override { return false; }
    void SetEnabled(bool) override {}
    void SetTimestamps(bool) override {}
    void SetShowFile(bool) override {}
    void SetShowFunction(bool) override {}
    void SetShowLine(bool show) override { showLine_ = show; }
    void MarkFailed() override {}
    const char* GetFilePath() override { return ""; }
    const char* GetFailedFilePath() override { return ""; }
    void Log(const char* text, uint32_t colour) override {
        std::lock_guard<std::mutex> lock(mutex_);
        // snprintf, not std::to_string: a unique symbol from the latter would pin the module in memory.
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "|%u", colour);
        lines_.push_back(std::string(text) + suffix);
    }
    void LogStackTrace(uint32_t, uint32_t) override {}
    void SetConsole(Platform::Interfaces::IConsole*) override {}
    Platform::Interfaces::IConsole* GetConsole() override { return nullptr; }
    void SetLevel(uint32_t) override {}
    uint32_t GetLevel() override { return 1; }
    bool GetShowFile() override { return false; }
    bool GetShowFunction() override { return true; }
    bool GetShowLine() override { return showLine_; }
    bool IsEnabled() override { return true; }
    void SetFilePath(const char*) override {}
    bool Restart() override { return false; }
    void SetCorrelation(bool) override {}

    std::string Lines() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::string joined;
        for (const std::string& line : lines_) {
            joined += line + "\n";
        }
        return joined;
    }

private:
    ~RecordingLogger() override = default;
    std::mutex mutex_;
    std::vector<std::string> lines_;
    bool showLine_ = false;
};

// The module keeps one reference while it is loaded and gives it back when it is unloaded.
RecordingLogger* moduleLogger = nullptr;

__attribute__((constructor)) void CreateLogger() {
    moduleLogger = new RecordingLogger();
}
__attribute__((destructor)) void ReleaseLogger() {
    moduleLogger->Release();
}

RecordingLogger* TheLogger() {
    return moduleLogger;
}

}  // namespace

extern "C" VESK_SYMBOL_EXPORT bool Platform_GetAppLoggerInstance(Platform::Interfaces::IAppLogger** logger) {
    *logger = TheLogger();
    (*logger)->AddReference();
    return true;
}

// Every line recorded so far, each ended by a newline; valid until the next call.
extern "C" VESK_SYMBOL_EXPORT const char* KeldaHostTest_Lines() {
    static std::string lines;
    lines = TheLogger()->Lines();
    return lines.c_str();
}
