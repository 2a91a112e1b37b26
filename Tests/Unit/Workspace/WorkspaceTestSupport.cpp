#include "WorkspaceTestSupport.h"

#include "Core/IConsole.h"
#include "Core/Log.h"
#include "Core/Object.h"

namespace WorkspaceTest {

class LogCapture::Console final : public Core::ObjectT<Platform::Interfaces::IConsole> {
public:
    void EndWrite() override {}
    void SetColour(uint32_t) override {}
    void Clear() override {}
    void Write(const char* text, uint64_t length) override {
        std::string line(text, length);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        std::lock_guard<std::mutex> guard(mutex_);
        lines_.push_back(std::move(line));
    }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> guard(mutex_);
        return lines_;
    }

private:
    ~Console() override = default;
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

LogCapture::LogCapture() : console_(Core::MakeObject<Console>()), logger_(Core::GetAppLoggerInstance()) {
    logger_->SetConsole(console_.Get());
    logger_->SetLevel(0);
    logger_->SetTimestamps(false);
    logger_->SetShowFunction(false);
    logger_->SetShowLine(false);
    logger_->SetShowFile(false);
    logger_->SetEnabled(true);
}

LogCapture::~LogCapture() {
    logger_->SetEnabled(false);
    logger_->SetLevel(4);
    logger_->SetConsole(nullptr);
}

std::vector<std::string> LogCapture::Lines() const {
    return console_->Lines();
}

std::vector<std::string> LogCapture::LinesStartingWith(std::string_view prefix) const {
    std::vector<std::string> matching;
    for (const std::string& line : Lines()) {
        if (line.rfind(prefix, 0) == 0) {
            matching.push_back(line);
        }
    }
    return matching;
}

}  // namespace WorkspaceTest
