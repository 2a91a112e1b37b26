#include "Core/UuidText.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace Core {

namespace {

constexpr size_t kBareLength = 32;
constexpr size_t kHyphenatedLength = 36;

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

std::string FormatUuidText(const uint8_t (&bytes)[16]) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(kHyphenatedLength);
    for (size_t i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += '-';
        }
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

bool ParseUuidText(std::string_view text, uint8_t (&bytes)[16]) noexcept {
    // Where each byte's two digits start, in the hyphenated form.
    static constexpr uint8_t kHyphenated[16] = {0, 2, 4, 6, 9, 11, 14, 16, 19, 21, 24, 26, 28, 30, 32, 34};
    const bool hyphenated = text.size() == kHyphenatedLength;
    if (!hyphenated && text.size() != kBareLength) {
        return false;
    }
    if (hyphenated && (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')) {
        return false;
    }
    uint8_t parsed[16];
    int invalid = 0;
    for (size_t i = 0; i < 16; ++i) {
        const size_t at = hyphenated ? kHyphenated[i] : 2 * i;
        const int high = HexValue(text[at]);
        const int low = HexValue(text[at + 1]);
        invalid |= high | low;
        parsed[i] = static_cast<uint8_t>(((high & 0x0F) << 4) | (low & 0x0F));
    }
    if (invalid < 0) {
        return false;
    }
    std::copy(std::begin(parsed), std::end(parsed), std::begin(bytes));
    return true;
}

}  // namespace Core
