// Installs the platform layer's logger locator in the log front end as soon as a binary that links
// the platform layer is loaded. This file is linked as a whole archive so that the initialiser is
// never dropped for want of a reference.
#include "Core/Log.h"
#include "Platform/AppLogger.h"

namespace {

[[maybe_unused]] const bool kLocatorInstalled = [] {
    Core::SetAppLoggerLocator(&Platform::Logger::LocateAppLogger);
    return true;
}();

}  // namespace
