// The cryptographic seam on OpenSSL 3 (EVP).
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <climits>
#include <new>
#include <stdexcept>

#include "Core/Crypto.h"

namespace Core::Crypto {
namespace {

struct CipherDeleter {
    void operator()(EVP_CIPHER* cipher) const { EVP_CIPHER_free(cipher); }
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherHandle = std::unique_ptr<EVP_CIPHER, CipherDeleter>;
using ContextHandle = std::unique_ptr<EVP_CIPHER_CTX, CipherDeleter>;

// The cipher is looked up once: fetching it is far slower than using it.
EVP_CIPHER* SivCipher() {
    static CipherHandle cipher(EVP_CIPHER_fetch(nullptr, "AES-256-SIV", nullptr));
    if (!cipher) {
        throw std::runtime_error("AES-256-SIV is not available in this OpenSSL");
    }
    return cipher.get();
}

ContextHandle NewContext() {
    ContextHandle context(EVP_CIPHER_CTX_new());
    if (!context) {
        throw std::bad_alloc();
    }
    return context;
}

int Length(size_t size) {
    if (size > static_cast<size_t>(INT_MAX)) {
        throw std::runtime_error("Data too large to encrypt");
    }
    return static_cast<int>(size);
}

}  // namespace

struct Sha256::State {
    EVP_MD_CTX* context = nullptr;
    ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    state_->context = EVP_MD_CTX_new();
    if (state_->context == nullptr) {
        throw std::runtime_error("Could not create a SHA-256 context");
    }
    Restart();
}

Sha256::~Sha256() = default;

void Sha256::Restart() {
    if (EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) != 1) {
        throw std::runtime_error("Could not start a SHA-256 digest");
    }
}

void Sha256::Update(const void* data, size_t size) {
    if (EVP_DigestUpdate(state_->context, data, size) != 1) {
        throw std::runtime_error("SHA-256 update failed");
    }
}

std::array<uint8_t, 32> Sha256::Finish() {
    std::array<uint8_t, 32> digest{};
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(state_->context, digest.data(), &size) != 1 || size != digest.size()) {
        throw std::runtime_error("SHA-256 finish failed");
    }
    return digest;
}

std::array<uint8_t, 64> Sha512(const void* data, size_t size) {
    std::array<uint8_t, 64> digest{};
    SHA512(static_cast<const unsigned char*>(data), size, digest.data());
    return digest;
}

void RandomBytes(void* buffer, size_t size) {
    if (RAND_bytes(static_cast<unsigned char*>(buffer), Length(size)) != 1) {
        throw std::runtime_error("The random generator failed");
    }
}

void Cleanse(void* buffer, size_t size) {
    OPENSSL_cleanse(buffer, size);
}

std::vector<uint8_t> SivSeal(const std::array<uint8_t, 64>& key, const uint8_t* plain, size_t size) {
    // OpenSSL's EVP layer never hands an empty message to SIV, so there would be no tag to give.
    if (size == 0) {
        throw std::runtime_error("Nothing to encrypt: the data is empty");
    }
    ContextHandle context = NewContext();
    std::vector<uint8_t> blob(kSivTagSize + size);
    int written = 0;
    int finalWritten = 0;
    if (EVP_EncryptInit_ex2(context.get(), SivCipher(), key.data(), nullptr, nullptr) != 1 ||
        EVP_EncryptUpdate(context.get(), blob.data() + kSivTagSize, &written, plain, Length(size)) != 1 ||
        EVP_EncryptFinal_ex(context.get(), blob.data() + kSivTagSize + written, &finalWritten) != 1 ||
        EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_AEAD_GET_TAG, kSivTagSize, blob.data()) != 1) {
        throw std::runtime_error("Encryption failed");
    }
    return blob;
}

bool SivOpen(const std::array<uint8_t, 64>& key, const uint8_t* blob, size_t size, std::vector<uint8_t>& plain) {
    plain.clear();
    if (size <= kSivTagSize) {
        return false;
    }
    ContextHandle context = NewContext();
    plain.resize(size - kSivTagSize);
    int written = 0;
    int finalWritten = 0;
    std::array<uint8_t, kSivTagSize> tag{};
    std::copy(blob, blob + kSivTagSize, tag.begin());
    const bool ok =
        EVP_DecryptInit_ex2(context.get(), SivCipher(), key.data(), nullptr, nullptr) == 1 &&
        EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_AEAD_SET_TAG, kSivTagSize, tag.data()) == 1 &&
        EVP_DecryptUpdate(context.get(), plain.data(), &written, blob + kSivTagSize, Length(plain.size())) == 1 &&
        EVP_DecryptFinal_ex(context.get(), plain.data() + written, &finalWritten) == 1;
    if (!ok) {
        Cleanse(plain.data(), plain.size());
        plain.clear();
    }
    return ok;
}

}  // namespace Core::Crypto
