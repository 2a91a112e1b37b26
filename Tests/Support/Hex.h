#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace VeskTest {

// Lower-case hexadecimal text of bytes, for comparing with values computed by other tools.
inline std::string HexOf(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

}  // namespace VeskTest
