#include "String.h"

#include <algorithm>
#include <cstring>

#include "Core/Guard.h"

namespace Data::impl {

int32_t CompareBytes(std::string_view left, std::string_view right) noexcept {
    const size_t common = std::min(left.size(), right.size());
    const int order = common == 0 ? 0 : std::memcmp(left.data(), right.data(), common);
    if (order != 0) {
        return order < 0 ? -1 : 1;
    }
    if (left.size() == right.size()) {
        return 0;
    }
    return left.size() < right.size() ? -1 : 1;
}

namespace {

// A missing string compares like an empty one: callers use null for "no text".
std::string_view View(Interfaces::IString* string) {
    return string == nullptr ? std::string_view() : std::string_view(string->GetText(), string->GetLength());
}

}  // namespace

bool StringImpl::Set(const char* text, uint64_t length, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        if (length != 0) {
            Core::CheckNotNull(text);
        }
        text_.assign(text == nullptr ? "" : text, length);
    });
}

int32_t StringImpl::Compare(Interfaces::IString* other) {
    return CompareBytes(text_, View(other));
}

bool StringImpl::Equals(Interfaces::IString* other) {
    return std::string_view(text_) == View(other);
}

Core::Ptr<Interfaces::IString> MakeString(std::string_view text) {
    return Core::MakeObject<StringImpl>(text);
}

}  // namespace Data::impl
