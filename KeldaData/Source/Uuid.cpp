#include "Uuid.h"

#include <stdexcept>

#include "Common.h"
#include "Core/Crypto.h"

namespace Data::impl {

namespace {

constexpr size_t kBareLength = 32;
constexpr size_t kHyphenatedLength = 36;

constexpr bool IsHyphenPosition(size_t index) {
    return index == 8 || index == 13 || index == 18 || index == 23;
}

constexpr int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

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
    const std::string hex = ToHex(uuid.bytes, sizeof uuid.bytes);
    std::string text;
    text.reserve(kHyphenatedLength);
    for (size_t i = 0; i < hex.size(); ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20) {
            text += '-';
        }
        text += hex[i];
    }
    return text;
}

bool TryParseUuid(std::string_view text, Structures::_UUID& uuid) noexcept {
    const bool hyphenated = text.size() == kHyphenatedLength;
    if (!hyphenated && text.size() != kBareLength) {
        return false;
    }
    Structures::_UUID parsed;
    size_t digit = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (hyphenated && IsHyphenPosition(i)) {
            if (text[i] != '-') {
                return false;
            }
            continue;
        }
        const int value = HexValue(text[i]);
        if (value < 0) {
            return false;
        }
        if (digit % 2 == 0) {
            parsed.bytes[digit / 2] = static_cast<uint8_t>(value << 4);
        } else {
            parsed.bytes[digit / 2] = static_cast<uint8_t>(parsed.bytes[digit / 2] | value);
        }
        ++digit;
    }
    uuid = parsed;
    return true;
}

Structures::_UUID ParseUuid(std::string_view text) {
    Structures::_UUID uuid;
    if (!TryParseUuid(text, uuid)) {
        throw std::runtime_error("Invalid UUID text: " + std::string(text));
    }
    return uuid;
}

}  // namespace Data::impl
