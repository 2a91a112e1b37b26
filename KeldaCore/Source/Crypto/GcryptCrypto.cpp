// The cryptographic seam on libgcrypt, for the systems without OpenSSL.
#include <gcrypt.h>

#include <mutex>
#include <stdexcept>
#include <string>

#include "Core/Crypto.h"

namespace Core::Crypto {
namespace {

// libgcrypt must be initialised once per process before its first use.
void Initialise() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (gcry_check_version(GCRYPT_VERSION) == nullptr) {
            throw std::runtime_error("libgcrypt is older than the one this library was built with");
        }
        gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
        gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    });
}

[[noreturn]] void Fail(const char* what, gcry_error_t error) {
    throw std::runtime_error(std::string(what) + ": " + gcry_strerror(error));
}

// An AES-256-SIV cipher handle, closed when it goes.
class SivHandle {
public:
    explicit SivHandle(const std::array<uint8_t, 64>& key) {
        Initialise();
        if (gcry_error_t error = gcry_cipher_open(&handle_, GCRY_CIPHER_AES256, GCRY_CIPHER_MODE_SIV, 0)) {
            Fail("AES-256-SIV is not available in this libgcrypt", error);
        }
        if (gcry_error_t error = gcry_cipher_setkey(handle_, key.data(), key.size())) {
            gcry_cipher_close(handle_);
            Fail("Encryption failed", error);
        }
    }
    ~SivHandle() { gcry_cipher_close(handle_); }
    SivHandle(const SivHandle&) = delete;
    SivHandle& operator=(const SivHandle&) = delete;
    gcry_cipher_hd_t Get() const { return handle_; }

private:
    gcry_cipher_hd_t handle_ = nullptr;
};

}  // namespace

struct Sha256::State {
    gcry_md_hd_t handle = nullptr;
    ~State() { gcry_md_close(handle); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    Initialise();
    if (gcry_md_open(&state_->handle, GCRY_MD_SHA256, 0) != 0) {
        throw std::runtime_error("Could not create a SHA-256 context");
    }
}

Sha256::~Sha256() = default;

void Sha256::Restart() {
    gcry_md_reset(state_->handle);
}

void Sha256::Update(const void* data, size_t size) {
    gcry_md_write(state_->handle, data, size);
}

std::array<uint8_t, 32> Sha256::Finish() {
    std::array<uint8_t, 32> digest{};
    const unsigned char* result = gcry_md_read(state_->handle, GCRY_MD_SHA256);
    if (result == nullptr) {
        throw std::runtime_error("SHA-256 finish failed");
    }
    std::copy(result, result + digest.size(), digest.begin());
    return digest;
}

std::array<uint8_t, 64> Sha512(const void* data, size_t size) {
    Initialise();
    std::array<uint8_t, 64> digest{};
    gcry_md_hash_buffer(GCRY_MD_SHA512, digest.data(), data, size);
    return digest;
}

void RandomBytes(void* buffer, size_t size) {
    Initialise();
    gcry_randomize(buffer, size, GCRY_STRONG_RANDOM);
}

void Cleanse(void* buffer, size_t size) {
    // Writes through a volatile pointer cannot be dropped as dead stores.
    auto* bytes = static_cast<volatile uint8_t*>(buffer);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = 0;
    }
}

std::vector<uint8_t> SivSeal(const std::array<uint8_t, 64>& key, const uint8_t* plain, size_t size) {
    // Refused as the OpenSSL form refuses it, so that both systems accept the same inputs.
    if (size == 0) {
        throw std::runtime_error("Nothing to encrypt: the data is empty");
    }
    SivHandle cipher(key);
    std::vector<uint8_t> blob(kSivTagSize + size);
    if (gcry_error_t error = gcry_cipher_final(cipher.Get())) {
        Fail("Encryption failed", error);
    }
    if (gcry_error_t error = gcry_cipher_encrypt(cipher.Get(), blob.data() + kSivTagSize, size, plain, size)) {
        Fail("Encryption failed", error);
    }
    if (gcry_error_t error = gcry_cipher_gettag(cipher.Get(), blob.data(), kSivTagSize)) {
        Fail("Encryption failed", error);
    }
    return blob;
}

bool SivOpen(const std::array<uint8_t, 64>& key, const uint8_t* blob, size_t size, std::vector<uint8_t>& plain) {
    plain.clear();
    if (size <= kSivTagSize) {
        return false;
    }
    SivHandle cipher(key);
    plain.resize(size - kSivTagSize);
    // The tag goes in before the data: decryption checks it at the end.
    const bool ok =
        gcry_cipher_set_decryption_tag(cipher.Get(), blob, kSivTagSize) == 0 && gcry_cipher_final(cipher.Get()) == 0 &&
        gcry_cipher_decrypt(cipher.Get(), plain.data(), plain.size(), blob + kSivTagSize, size - kSivTagSize) == 0;
    if (!ok) {
        Cleanse(plain.data(), plain.size());
        plain.clear();
    }
    return ok;
}

}  // namespace Core::Crypto
