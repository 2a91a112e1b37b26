#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "Core/IAppLogger.h"
#include "Core/IConsole.h"
#include "Core/Object.h"
#include "Core/Ptr.h"

namespace PlatformTest {

// A console sink that keeps every call it receives, in order.
class RecordingConsole final : public Core::ObjectT<Platform::Interfaces::IConsole> {
public:
    void EndWrite() override;
    void SetColour(uint32_t colour) override;
    void Clear() override {}
    void Write(const char* text, uint64_t length) override;

    std::string Text() const;
    std::vector<std::string> Calls() const;

private:
    ~RecordingConsole() override = default;
    mutable std::mutex mutex_;
    std::string text_;
    std::vector<std::string> calls_;
};

// Sends everything the process logs at any level to a recording console for the scope.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    std::string Text() const { return console_->Text(); }

private:
    Core::Ptr<Platform::Interfaces::IAppLogger> logger_;
    Core::Ptr<RecordingConsole> console_;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);

}  // namespace PlatformTest
