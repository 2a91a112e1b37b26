#pragma once
#include <string>
#include <string_view>

#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Vesk/Data/IString.h"

namespace Data::impl {

// A byte string. std::string keeps a terminating zero behind its bytes, so GetText is always a
// C string even when the bytes themselves contain zeros.
class StringImpl final : public Core::ObjectT<Interfaces::IString> {
public:
    StringImpl() = default;
    explicit StringImpl(std::string_view text) : text_(text) {}

    bool Set(const char* text, uint64_t length, Core::IErrorCode** error) override;
    const char* GetText() override { return text_.c_str(); }
    uint64_t GetLength() override { return text_.size(); }
    int32_t Compare(Interfaces::IString* other) override;
    bool Equals(Interfaces::IString* other) override;

private:
    ~StringImpl() override = default;
    std::string text_;
};

// Bytewise three-way comparison: memcmp over the shorter length, then the shorter text is less.
int32_t CompareBytes(std::string_view left, std::string_view right) noexcept;

Core::Ptr<Interfaces::IString> MakeString(std::string_view text);

}  // namespace Data::impl
