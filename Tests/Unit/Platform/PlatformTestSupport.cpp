#include "PlatformTestSupport.h"

#include <fstream>
#include <sstream>

#include "Core/StringFormat.h"

namespace PlatformTest {

void RecordingConsole::EndWrite() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back("end");
}

void RecordingConsole::SetColour(uint32_t colour) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(Core::StringFormat("colour %06x", colour));
}

void RecordingConsole::Write(const char* text, uint64_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    text_.append(text, length);
    calls_.push_back("write " + std::string(text, length));
}

std::string RecordingConsole::Text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
}

std::vector<std::string> RecordingConsole::Calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteWholeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

}  // namespace PlatformTest
