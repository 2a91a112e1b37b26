#include "Uuid.h"

#include <array>
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

// Digit values by byte, -1 for anything that is not a hexadecimal digit: workspaces parse a UUID per
// key cell they load, so this is on the loading path.
constexpr std::array<int8_t, 256> kHexValues = [] {
    std::array<int8_t, 256> values{};
    values.fill(-1);
    for (int c = '0'; c <= '9'; ++c) {
        values[c] = static_cast<int8_t>(c - '0');
    }
    for (int c = 'a'; c <= 'f'; ++c) {
        values[c] = static_cast<int8_t>(c - 'a' + 10);
        values[c - 'a' + 'A'] = static_cast<int8_t>(c - 'a' + 10);
    }
    return values;
}();

int HexValue(char c) {
    return kHexValues[static_cast<unsigned char>(c)];
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
    if (hyphenated && (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')) {
        return false;
    }
    Structures::_UUID parsed;
    size_t at = 0;
    for (uint8_t& byte : parsed.bytes) {
        if (hyphenated && IsHyphenPosition(at)) {
            ++at;
        }
        const int high = HexValue(text[at]);
        const int low = HexValue(text[at + 1]);
        if ((high | low) < 0) {
            return false;
        }
        byte = static_cast<uint8_t>((high << 4) | low);
        at += 2;
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
