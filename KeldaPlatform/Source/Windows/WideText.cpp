#include "WideText.h"

#include "Win32.h"

#include <climits>
#include <stdexcept>

namespace Platform::Windows::Text {

std::wstring Widen(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    if (text.size() > static_cast<size_t>(INT_MAX)) {
        throw std::runtime_error("Text too long for the system");
    }
    const int length = static_cast<int>(text.size());
    const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (wide <= 0) {
        throw std::runtime_error("Invalid UTF-8 text");
    }
    std::wstring result(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, result.data(), wide);
    return result;
}

std::string Narrow(const wchar_t* text, size_t length) {
    if (text == nullptr || length == 0) {
        return {};
    }
    if (length > static_cast<size_t>(INT_MAX)) {
        throw std::runtime_error("Text too long for the system");
    }
    const int wide = static_cast<int>(length);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return {};
    }
    std::string result(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, wide, result.data(), bytes, nullptr, nullptr);
    return result;
}

}  // namespace Platform::Windows::Text
