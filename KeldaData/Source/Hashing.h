#pragma once
#include <array>
#include <string>

#include "Core/Crypto.h"
#include "Core/Object.h"
#include "Vesk/Data/IHashing.h"

namespace Data::impl {

// SHA-256 over bytes fed in any number of pieces.
class Sha256HashingImpl final : public Core::ObjectT<Interfaces::IHashing> {
public:
    Sha256HashingImpl();

    bool Update(const void* data, uint64_t size, Core::IErrorCode** error) override;
    bool Finish(Core::IErrorCode** error) override;
    // Null until Finish has run.
    const uint8_t* GetDigest() override { return finished_ ? digest_.data() : nullptr; }
    uint32_t GetDigestSize() override { return static_cast<uint32_t>(digest_.size()); }
    // Empty until Finish has run.
    const char* GetDigestText() override { return digestText_.c_str(); }
    bool Reset(Core::IErrorCode** error) override;

private:
    ~Sha256HashingImpl() override;
    void Start();

    Core::Crypto::Sha256 digestState_;
    bool finished_ = false;
    std::array<uint8_t, 32> digest_{};
    std::string digestText_;
};

}  // namespace Data::impl
