#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace Data::impl {

// Hash for maps keyed by std::string that are looked up by string_view or const char* without
// building a temporary std::string on every lookup.
struct StringHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
};

// Optional text arguments arrive as null pointers from some callers; they mean "empty".
inline std::string_view TextOrEmpty(const char* text) {
    return text == nullptr ? std::string_view() : text;
}

// Makes room for one more element, growing geometrically, so that the push_back that follows cannot
// throw. reserve(size() + 1) would allocate exactly that much and make a run of appends quadratic.
template <class Vector>
void ReserveOneMore(Vector& vector) {
    if (vector.size() == vector.capacity()) {
        vector.reserve(std::max<size_t>(8, vector.capacity() * 2));
    }
}

// Lower-case hexadecimal form of bytes, two characters per byte.
std::string ToHex(const uint8_t* bytes, size_t size);

}  // namespace Data::impl
