#include "Core/Log.h"

#include <atomic>
#include <string>

#include "Core/IAppLogger.h"
#include "Core/StringFormat.h"

namespace Core {
namespace {

struct LevelStyle {
    const char* prefix;
    uint32_t colour;  // 0x00BBGGRR
};

constexpr uint32_t kGrey = 0x707070;
constexpr uint32_t kYellow = 0x38DACD;
constexpr uint32_t kRed = 0x0F1FC5;

// Levels 2, 3 and 8 and above have no prefix and are never written.
const LevelStyle* StyleOf(int32_t level) {
    static const LevelStyle styles[] = {
        {"TRACE: ", kGrey}, {"DEBUG: ", kGrey},  {nullptr, 0},      {nullptr, 0},
        {"INFO: ", kGrey},  {"WARN: ", kYellow}, {"ERROR: ", kRed}, {"FATAL: ", kRed},
    };
    if (level < 0 || level > 7 || styles[level].prefix == nullptr) {
        return nullptr;
    }
    return &styles[level];
}

// Constant-initialised, so that the platform layer may install its locator from a static initialiser
// of any order.
std::atomic<AppLoggerLocator> installedLocator{nullptr};

void Compose(int32_t level, const char* function, const char* file, int32_t line, const char* message) {
    Ptr<Platform::Interfaces::IAppLogger> logger = GetAppLoggerInstance();
    if (!logger) {
        return;
    }
    if (logger->GetLevel() > static_cast<uint32_t>(level < 0 ? 0 : level)) {
        return;
    }
    const LevelStyle* style = StyleOf(level);
    if (style == nullptr) {
        return;
    }
    std::string text = StringFormat("%s%s", style->prefix, message != nullptr ? message : "");
    if (logger->GetShowFunction()) {
        text += StringFormat(" [%s]", function != nullptr ? function : "");
    }
    if (logger->GetShowLine() && line >= 1) {
        text += StringFormat(" (Line: %d)", line);
    }
    if (logger->GetShowFile() && file != nullptr && *file != '\0') {
        text += StringFormat(" (File: %s)", file);
    }
    logger->Log(text.c_str(), style->colour);
}

}  // namespace

void SetAppLoggerLocator(AppLoggerLocator locator) noexcept {
    installedLocator.store(locator);
}

Ptr<Platform::Interfaces::IAppLogger> GetAppLoggerInstance() {
    const AppLoggerLocator locator = installedLocator.load();
    return locator != nullptr ? locator() : Ptr<Platform::Interfaces::IAppLogger>();
}

void LogMessage(int32_t level, const char* function, const char* file, int32_t line, const char* message) noexcept {
    try {
        Compose(level, function, file, line, message);
    } catch (...) {
        // A log line must never turn into a failure of the operation that logs it.
    }
}

void LogAt(int32_t level, const SourceLocation& where, const char* message) noexcept {
    LogMessage(level, where.function, where.file, where.line, message);
}

}  // namespace Core
