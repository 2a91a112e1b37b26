#pragma once
// The process's log as a test sees it. Header-only: the support library does not link the logger, the
// tests that capture it do.
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Core/IAppLogger.h"
#include "Core/IConsole.h"
#include "Core/Log.h"
#include "Core/Object.h"
#include "Core/Ptr.h"

namespace VeskTest {

// Routes every record the process logs, at any level and without a timestamp, to memory while it lives;
// withFunction names each record's function at its end. One capture at a time; the records it keeps are
// safe for concurrent use (records_ is guarded by the console's mutex).
class LogCapture {
public:
    explicit LogCapture(bool withFunction = true)
        : console_(Core::MakeObject<Console>()), logger_(Core::GetAppLoggerInstance()) {
        logger_->SetConsole(console_.Get());
        logger_->SetLevel(0);
        logger_->SetTimestamps(false);
        logger_->SetShowFunction(withFunction);
        logger_->SetShowLine(false);
        logger_->SetShowFile(false);
        logger_->SetEnabled(true);
    }
    ~LogCapture() {
        logger_->SetEnabled(false);
        logger_->SetLevel(4);
        logger_->SetConsole(nullptr);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Everything written so far, line ends included.
    std::string Text() const {
        std::string text;
        for (const std::string& record : console_->Records()) {
            text += record;
        }
        return text;
    }
    // Each record without its line end, in order.
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines = console_->Records();
        for (std::string& line : lines) {
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
                line.pop_back();
            }
        }
        return lines;
    }
    // The lines that start with prefix ("INFO: ", "FATAL: "), in order.
    std::vector<std::string> LinesStartingWith(std::string_view prefix) const {
        std::vector<std::string> matching;
        for (std::string& line : Lines()) {
            if (line.rfind(prefix, 0) == 0) {
                matching.push_back(std::move(line));
            }
        }
        return matching;
    }
    // How many records contain text.
    size_t Count(std::string_view text) const {
        size_t count = 0;
        for (const std::string& record : console_->Records()) {
            count += record.find(text) != std::string::npos ? 1 : 0;
        }
        return count;
    }
    // Forgets the records so far.
    void Clear() { console_->Forget(); }

private:
    class Console final : public Core::ObjectT<Platform::Interfaces::IConsole> {
    public:
        void EndWrite() override {}
        void SetColour(uint32_t) override {}
        void Clear() override {}
        void Write(const char* text, uint64_t length) override {
            std::lock_guard<std::mutex> guard(mutex_);
            records_.emplace_back(text, length);
        }
        void Forget() {
            std::lock_guard<std::mutex> guard(mutex_);
            records_.clear();
        }
        std::vector<std::string> Records() {
            std::lock_guard<std::mutex> guard(mutex_);
            return records_;
        }

    private:
        ~Console() override = default;
        std::mutex mutex_;
        std::vector<std::string> records_;
    };

    Core::Ptr<Console> console_;
    Core::Ptr<Platform::Interfaces::IAppLogger> logger_;
};

}  // namespace VeskTest
