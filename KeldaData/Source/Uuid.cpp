#include "Uuid.h"

#include <stdexcept>

#include "Common.h"
#include "Core/Crypto.h"
#include "Core/UuidText.h"

namespace Data::impl {

Structures::_UUID NewUuid() {
    Structures::_UUID uuid;
    try {
        Core::Crypto::RandomBytes(uuid.bytes, sizeof uuid.bytes);
    } catch (const std::exception&) {
        throw std::runtime_error("The random generator could not produce a UUID");
    }
    uuid.bytes[6] = static_cast<uint8_t>((uuid.bytes[6] & 0x0F) | 0x40);  // version 4
    uuid.bytes[8] = static_cast<uint8_t>((uuid.bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return uuid;
}

std::string FormatUuid(const Structures::_UUID& uuid) {
    return Core::FormatUuidText(uuid.bytes);
}

bool TryParseUuid(std::string_view text, Structures::_UUID& uuid) noexcept {
    return Core::ParseUuidText(text, uuid.bytes);
}

Structures::_UUID ParseUuid(std::string_view text) {
    Structures::_UUID uuid;
    if (!TryParseUuid(text, uuid)) {
        throw std::runtime_error("Invalid UUID text: " + std::string(text));
    }
    return uuid;
}

}  // namespace Data::impl
