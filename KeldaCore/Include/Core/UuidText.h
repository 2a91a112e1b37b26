#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace Core {

// The text form of a UUID's 16 bytes: lower-case hyphenated (8-4-4-4-12).
std::string FormatUuidText(const uint8_t (&bytes)[16]);

// 32 hexadecimal digits in either case, bare or with hyphens after digits 8, 12, 16 and 20; false (and
// bytes unchanged) for anything else.
bool ParseUuidText(std::string_view text, uint8_t (&bytes)[16]) noexcept;

}  // namespace Core
