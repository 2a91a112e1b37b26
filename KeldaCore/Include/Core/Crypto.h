#pragma once
// The few cryptographic primitives the suite needs, behind one seam so that each system uses the
// library it ships: OpenSSL on Linux, libgcrypt on Windows. Both give byte-identical results, which
// files shared between the systems rely on. Every function here is safe to call from any thread.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Core::Crypto {

// SHA-256 over bytes fed in any number of pieces. Owner thread only.
class Sha256 {
public:
    // Throws when the library cannot start a digest.
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    // Adds bytes to the digest; throws when the library fails.
    void Update(const void* data, size_t size);
    // The digest of everything added since construction or the last Restart; throws on failure.
    std::array<uint8_t, 32> Finish();
    // Starts a new digest.
    void Restart();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The SHA-512 digest of size bytes.
std::array<uint8_t, 64> Sha512(const void* data, size_t size);

// Fills buffer from the system's cryptographic generator; throws when it fails.
void RandomBytes(void* buffer, size_t size);

// Overwrites memory with zeros in a way the compiler cannot drop.
void Cleanse(void* buffer, size_t size);

// AES-256-SIV (RFC 5297) with no associated data under a 64-byte key.
constexpr size_t kSivTagSize = 16;
// The synthetic IV followed by the cipher text; throws for empty input or when the library fails.
std::vector<uint8_t> SivSeal(const std::array<uint8_t, 64>& key, const uint8_t* plain, size_t size);
// The plain bytes of a blob SivSeal made under key; false (plain cleared) when the blob is shorter
// than a tag or was changed or made under another key.
bool SivOpen(const std::array<uint8_t, 64>& key, const uint8_t* blob, size_t size, std::vector<uint8_t>& plain);

}  // namespace Core::Crypto
