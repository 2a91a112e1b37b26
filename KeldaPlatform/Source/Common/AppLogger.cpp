#include "Platform/AppLogger.h"

#include <exception>
#include <filesystem>
#include <string>

#include "Backend.h"
#include "Core/DataObjects.h"
#include "Core/StringFormat.h"
#include "Platform/File.h"
#include "Platform/StackTrace.h"

namespace Platform::Logger {

RuntimeValue RuntimeUnits(uint64_t ticks) {
    const double t = static_cast<double>(ticks);
    RuntimeValue runtime{t / 1e7, "seconds"};
    if (runtime.value > 120.0) {
        runtime = {runtime.value / 60.0, "minutes"};
    }
    if (t / 6e8 > 120.0) {
        runtime = {runtime.value / 60.0, "hours"};
    }
    if (t / 3.6e10 > 48.0) {
        runtime = {runtime.value / 24.0, "days"};
    }
    return runtime;
}

std::string AsctimeText(const std::tm& local) {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const char* day = local.tm_wday >= 0 && local.tm_wday < 7 ? days[local.tm_wday] : "???";
    const char* month = local.tm_mon >= 0 && local.tm_mon < 12 ? months[local.tm_mon] : "???";
    return Core::StringFormat("%.3s %.3s%3d %.2d:%.2d:%.2d %d", day, month, local.tm_mday, local.tm_hour, local.tm_min,
                              local.tm_sec, 1900 + local.tm_year);
}

uint64_t CorrelationHash(uint32_t threadId) {
    uint64_t hash = 0xCBF29CE484222325ull;
    for (int i = 0; i < 4; ++i) {
        hash ^= (threadId >> (8 * i)) & 0xFFu;
        hash *= 0x100000001B3ull;
    }
    return hash;
}

std::string FormatRecord(const char* text, const std::tm* localTime, const uint32_t* correlationThreadId) {
    const std::string suffix =
        correlationThreadId != nullptr
            ? Core::StringFormat(" (Corr: %llx)",
                                 static_cast<unsigned long long>(CorrelationHash(*correlationThreadId)))
            : std::string();
    if (localTime != nullptr) {
        return Core::StringFormat("%s :: %s%s%s", AsctimeText(*localTime).c_str(), text, suffix.c_str(), "\r\n");
    }
    return Core::StringFormat("%s%s%s", text, suffix.c_str(), "\r\n");
}

namespace impl {

namespace {
constexpr const char* kStarted = "[Log successfully started]";
}

AppLogger::AppLogger() : startTime_(Data::NewCurrentDateTime()) {}

AppLogger::~AppLogger() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    try {
        const Core::Ptr<Data::Interfaces::IDateTime> now = Data::NewCurrentDateTime();
        const uint64_t start = startTime_ ? startTime_->GetFileTime() : 0;
        const uint64_t end = now->GetFileTime();
        const RuntimeValue runtime = RuntimeUnits(end > start ? end - start : 0);
        Log(Core::StringFormat("[Log successfully terminated] [Runtime: %.3f %s]", runtime.value, runtime.unit).c_str(),
            0);
        if (failed_ && file_) {
            // Renaming keeps the open file: later records still reach it under its new name.
            std::error_code renameError;
            const std::filesystem::path from = IO::PathFromUtf8(filePath_);
            const std::filesystem::path to = IO::PathFromUtf8(failedFilePath_);
            std::filesystem::rename(from, to, renameError);
            if (renameError) {
                throw std::filesystem::filesystem_error("rename", from, to, renameError);
            }
            // Fixed text: hosts match on it.
            Log(Core::StringFormat("[Log file renamed from [%s] to [%s]", filePath_.c_str(), failedFilePath_.c_str())
                    .c_str(),
                0);
            Backend::FlushFile(file_->GetHandle());
        }
    } catch (const std::exception& e) {
        // A destructor cannot hand the failure on; the record is the last place it can go.
        Log(Core::StringFormat("ERROR: %s", e.what()).c_str(), 0);
    }
    file_ = nullptr;
    console_ = nullptr;
    startTime_ = nullptr;
    Backend::ReleaseStackTraceResources();
}

void AppLogger::Log(const char* text, uint32_t colour) {
    if (!enabled_ || text == nullptr) {
        return;
    }
    std::tm local{};
    const bool timestamps = timestamps_;
    if (timestamps) {
        local = Backend::LocalTimeNow();
    }
    uint32_t threadId = 0;
    const bool correlation = correlation_;
    if (correlation) {
        threadId = Backend::CurrentThreadId();
    }
    const std::string record = FormatRecord(text, timestamps ? &local : nullptr, correlation ? &threadId : nullptr);
    Backend::DebuggerOutput(record);
    std::lock_guard<std::recursive_mutex> guard(lock_);
    WriteLocked(record, colour);
}

void AppLogger::WriteLocked(const std::string& record, uint32_t colour) {
    if (console_) {
        if (colour != 0) {
            console_->SetColour(colour);
        }
        console_->Write(record.data(), record.size());
        console_->EndWrite();
    }
    if (file_) {
        file_->Write(record.data(), record.size(), nullptr);
    }
}

void AppLogger::LogStackTrace(uint32_t framesToSkip, uint32_t framesToCapture) {
    if (!enabled_) {
        // Nothing would be written: spare the capture.
        return;
    }
    std::string trace;
    std::string error;
    std::string text;
    if (Diagnostics::CaptureStackTrace(framesToSkip, framesToCapture, trace, error)) {
        text = "STACK_TRACE: [\n" + trace + "]\n";
    } else {
        text = Core::StringFormat("STACK_TRACE: [\n\tStacktrace reading failed with error:\n%s\n]\n", error.c_str());
    }
    Log(text.c_str(), 0);
}

void AppLogger::SetConsole(Interfaces::IConsole* console) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    console_ = Core::Ptr<Interfaces::IConsole>(console);
}

Interfaces::IConsole* AppLogger::GetConsole() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return console_.GetUnchecked();
}

void AppLogger::SetFilePath(const char* path) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (!filePath_.empty() || path == nullptr) {
        return;
    }
    filePath_ = path;
    const std::filesystem::path p = IO::PathFromUtf8(filePath_);
    const std::u8string failed = (p.parent_path() / (u8"Failed_" + p.filename().u8string())).u8string();
    failedFilePath_.assign(failed.begin(), failed.end());
}

bool AppLogger::OpenLocked() {
    try {
        Core::Ptr<Interfaces::IFile> file =
            IO::OpenFile(filePath_, IO::kGenericWrite, IO::kShareRead | IO::kShareDelete, IO::kCreateAlways);
        Core::Ptr<Interfaces::ISynchrounousFile> sync = file.TryCast<Interfaces::ISynchrounousFile>();
        if (!sync) {
            // Fixed text: hosts match on it.
            throw std::runtime_error("File could not be converted to Synchronous file.");
        }
        file_ = std::move(sync);
        return true;
    } catch (const std::exception&) {
        // The failure was reported where it happened; the logger goes on without a file.
        return false;
    }
}

void AppLogger::WriteStartedLocked() {
    const std::tm local = Backend::LocalTimeNow();
    uint32_t threadId = 0;
    const bool correlation = correlation_;
    if (correlation) {
        threadId = Backend::CurrentThreadId();
    }
    WriteLocked(FormatRecord(kStarted, &local, correlation ? &threadId : nullptr), 0);
}

bool AppLogger::Start(const char* path) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (path == nullptr || !filePath_.empty() || file_) {
        return false;
    }
    SetFilePath(path);
    if (!OpenLocked()) {
        // A start that failed leaves the logger as it was, so that it can be started again.
        filePath_.clear();
        failedFilePath_.clear();
        return false;
    }
    WriteStartedLocked();
    // A started logger writes nothing more until the host enables it.
    enabled_ = false;
    timestamps_ = false;
    return true;
}

bool AppLogger::Restart() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (filePath_.empty() || file_) {
        return false;
    }
    if (!OpenLocked()) {
        return false;
    }
    WriteStartedLocked();
    return true;
}

}  // namespace impl
}  // namespace Platform::Logger
