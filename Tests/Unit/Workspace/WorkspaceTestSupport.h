#pragma once
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "Core/IAppLogger.h"
#include "Core/Ptr.h"

namespace WorkspaceTest {

// Routes every log line of the process to memory while it lives: all levels, each line as
// "LEVEL: message" without timestamp, position or line end.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> Lines() const;
    // The captured lines that start with prefix ("INFO: ", "FATAL: "), in order.
    std::vector<std::string> LinesStartingWith(std::string_view prefix) const;

private:
    class Console;
    Core::Ptr<Console> console_;
    Core::Ptr<Platform::Interfaces::IAppLogger> logger_;
};

}  // namespace WorkspaceTest
