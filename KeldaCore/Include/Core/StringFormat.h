#pragma once
#include <string>

// The formats are those of GNU printf on every system ("%zu", "%lld"), which the Windows build gets
// from mingw-w64's C99 printf. GCC names them gnu_printf (its "printf" means the system run-time's
// formats on Windows); clang knows them only as printf.
#if defined(__clang__)
#define KELDA_PRINTF_FORMAT(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define KELDA_PRINTF_FORMAT(formatIndex, firstArgument) __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#endif

namespace Core {

// printf-style formatting into a string of exactly the needed length.
std::string StringFormat(const char* format, ...) KELDA_PRINTF_FORMAT(1, 2);

}  // namespace Core
