#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "Core/Crypto.h"
#include "Core/Object.h"
#include "Vesk/Services/IEncryption.h"

namespace Vesk::CoreServices::impl {

// AES-256-SIV (RFC 5297) bound to one 512-bit key. Deterministic, so the same key and plain bytes
// always give the same blob, and authenticated, so a changed blob never decrypts to garbage.
// Immutable after construction: safe for concurrent use without outside locking.
class Aes256SivEncryption final : public ::Core::ObjectT<Interfaces::IEncryption> {
public:
    // The SIV key is the SHA-512 digest of keyBytes.
    Aes256SivEncryption(const uint8_t* keyBytes, size_t keySize);

    bool Encrypt(Data::Interfaces::IArray* plain, Data::Interfaces::IArray** cipher,
                 ::Core::IErrorCode** error) override;
    bool Decrypt(Data::Interfaces::IArray* cipher, Data::Interfaces::IArray** plain,
                 ::Core::IErrorCode** error) override;

    static constexpr size_t kTagSize = ::Core::Crypto::kSivTagSize;

private:
    ~Aes256SivEncryption() override;
    std::vector<uint8_t> Seal(const uint8_t* plain, size_t size) const;
    std::vector<uint8_t> Open(const uint8_t* blob, size_t size) const;

    std::array<uint8_t, 64> key_{};
};

}  // namespace Vesk::CoreServices::impl
