#pragma once
#include <cstdint>
#include <memory>

#include "Core/Object.h"
#include "Vesk/Data/IString.h"

namespace Data::impl {

// A secret text. The bytes live in a buffer of exactly their own size (no small-string storage
// inside the object, no reallocation) so that the wipe on destruction covers every copy there is.
class SecureStringImpl final : public Core::ObjectT<Interfaces::ISecureString> {
public:
    SecureStringImpl(const char* text, uint64_t length);

    const char* GetText() override { return bytes_.get(); }
    uint64_t GetLength() override { return length_; }

private:
    ~SecureStringImpl() override;
    uint64_t length_;
    std::unique_ptr<char[]> bytes_;
};

}  // namespace Data::impl
