#include "Core/StringFormat.h"

#include <cstdarg>
#include <cstdio>
#include <stdexcept>

namespace Core {

std::string StringFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) {
        va_end(args);
        throw std::runtime_error("Invalid format string");
    }
    std::string result(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(result.data(), result.size(), format, args);
    va_end(args);
    result.resize(static_cast<size_t>(length));
    return result;
}

}  // namespace Core
