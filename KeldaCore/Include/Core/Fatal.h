#pragma once
#include <source_location>
#include <string>

#include "Core/Log.h"

namespace Core {

// Logs message at FATAL with the raising code's location, then throws it as a runtime error that
// carries only the message.
[[noreturn]] void RaiseFatal(const std::string& message,
                             const std::source_location& where = std::source_location::current());

// The same with the function text given by the caller (for messages whose function text is fixed).
[[noreturn]] void RaiseFatalIn(const char* function, const std::string& message,
                               const std::source_location& where = std::source_location::current());

}  // namespace Core
