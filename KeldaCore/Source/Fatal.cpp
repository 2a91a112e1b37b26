#include "Core/Fatal.h"

#include <stdexcept>

namespace Core {

void RaiseFatal(const std::string& message, const std::source_location& where) {
    LogAt(LogFatal, SourceLocation::From(where), message.c_str());
    throw std::runtime_error(message);
}

void RaiseFatalIn(const char* function, const std::string& message, const std::source_location& where) {
    LogMessage(LogFatal, function, where.file_name(), static_cast<int32_t>(where.line()), message.c_str());
    throw std::runtime_error(message);
}

}  // namespace Core
