#pragma once
#include <string>
#include <string_view>

#include "Vesk/Data/Structures.h"

namespace Data::impl {

// A random version 4 UUID from the cryptographic generator; throws when the generator fails.
Structures::_UUID NewUuid();

// Lower-case hyphenated text (8-4-4-4-12).
std::string FormatUuid(const Structures::_UUID& uuid);

// 32 hexadecimal digits in either case, bare or with hyphens after digits 8, 12, 16 and 20.
// Returns false for anything else.
bool TryParseUuid(std::string_view text, Structures::_UUID& uuid) noexcept;

// The same, throwing "Invalid UUID text: <text>".
Structures::_UUID ParseUuid(std::string_view text);

}  // namespace Data::impl
