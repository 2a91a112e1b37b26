#pragma once
#include <string>

namespace Core {

// printf-style formatting into a string of exactly the needed length. The formats are those of GNU
// printf on every system ("%zu", "%lld"), which the Windows build gets from mingw-w64's C99 printf.
std::string StringFormat(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

}  // namespace Core
