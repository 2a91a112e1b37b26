#pragma once
// Text crosses into Win32 as UTF-16 and comes back as UTF-8: every interface of the library speaks
// UTF-8, every Win32 call of this backend takes the wide form. Safe to call from any thread.
#include <string>

namespace Platform::Windows::Text {

// The UTF-16 form of UTF-8 text; throws "Invalid UTF-8 text" when the bytes are no UTF-8.
std::wstring Widen(const std::string& text);
// The UTF-8 form of UTF-16 text (unpaired surrogates become U+FFFD).
std::string Narrow(const wchar_t* text, size_t length);
inline std::string Narrow(const std::wstring& text) {
    return Narrow(text.c_str(), text.size());
}

}  // namespace Platform::Windows::Text
