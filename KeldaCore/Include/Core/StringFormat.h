#pragma once
#include <string>

namespace Core {

// printf-style formatting into a string of exactly the needed length.
std::string StringFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace Core
