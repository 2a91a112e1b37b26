#include "Platform/AppLogger.h"

#include <ctime>
#include <filesystem>
#include <string>

#include "Core/StringFormat.h"

namespace Platform::Logger::impl {

AppLogger::~AppLogger() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

std::string AppLogger::BuildRecord(const char* text) const {
    if (timestamps_) {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char stamp[64];
        std::strftime(stamp, sizeof stamp, "%a %b %e %H:%M:%S %Y", &local);
        return Core::StringFormat("%s :: %s%s\r\n", stamp, text, "");
    }
    return Core::StringFormat("%s%s\r\n", text, "");
}

void AppLogger::WriteLocked(const std::string& record, uint32_t colour) {
    if (console_) {
        if (colour != 0) {
            console_->SetColour(colour);
        }
        console_->Write(record.data(), record.size());
        console_->EndWrite();
    }
    if (file_ != nullptr) {
        std::fwrite(record.data(), 1, record.size(), file_);
        std::fflush(file_);
    }
}

void AppLogger::Log(const char* text, uint32_t colour) {
    if (!enabled_ || text == nullptr) {
        return;
    }
    const std::string record = BuildRecord(text);
    std::lock_guard<std::recursive_mutex> guard(lock_);
    WriteLocked(record, colour);
}

void AppLogger::LogStackTrace(uint32_t, uint32_t) {}

void AppLogger::SetConsole(Interfaces::IConsole* console) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    console_ = Core::Ptr<Interfaces::IConsole>(console);
}

void AppLogger::SetFilePath(const char* path) {
    if (!filePath_.empty() || path == nullptr) {
        return;
    }
    filePath_ = path;
    const std::filesystem::path p(filePath_);
    failedFilePath_ = (p.parent_path() / ("Failed_" + p.filename().string())).string();
}

bool AppLogger::OpenFile() {
    file_ = std::fopen(filePath_.c_str(), "wb");
    if (file_ == nullptr) {
        return false;
    }
    const bool enabled = enabled_;
    const bool timestamps = timestamps_;
    enabled_ = true;
    timestamps_ = true;
    WriteLocked(BuildRecord("[Log successfully started]"), 0);
    enabled_ = enabled;
    timestamps_ = timestamps;
    return true;
}

bool AppLogger::Start(const char* path) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (path == nullptr || !filePath_.empty() || file_ != nullptr) {
        return false;
    }
    SetFilePath(path);
    if (!OpenFile()) {
        return false;
    }
    enabled_ = false;
    timestamps_ = false;
    return true;
}

bool AppLogger::Restart() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (filePath_.empty() || file_ != nullptr) {
        return false;
    }
    return OpenFile();
}

}  // namespace Platform::Logger::impl
