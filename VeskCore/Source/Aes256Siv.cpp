#include "Aes256Siv.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <memory>
#include <stdexcept>

#include "Core/Guard.h"
#include "Vesk/Data/KeldaData.h"

namespace Vesk::CoreServices::impl {
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

::Core::Ptr<Data::Interfaces::IArray> ToArray(const std::vector<uint8_t>& bytes) {
    ::Core::Ptr<Data::Interfaces::IArray> array;
    if (!Data_CreateArray(array.Receive())) {
        throw std::runtime_error("Failed to create array");
    }
    ::Core::ThrowIfFailed([&](::Core::IErrorCode** e) { return array->Assign(bytes.data(), 1, bytes.size(), e); });
    return array;
}

int Length(size_t size) {
    if (size > static_cast<size_t>(INT32_MAX)) {
        throw std::runtime_error("Data too large to encrypt");
    }
    return static_cast<int>(size);
}

}  // namespace

Aes256SivEncryption::Aes256SivEncryption(const uint8_t* keyBytes, size_t keySize) {
    SHA512(keyBytes, keySize, key_.data());
}

Aes256SivEncryption::~Aes256SivEncryption() {
    OPENSSL_cleanse(key_.data(), key_.size());
}

std::vector<uint8_t> Aes256SivEncryption::Seal(const uint8_t* plain, size_t size) const {
    // OpenSSL's EVP layer never hands an empty message to SIV, so there would be no tag to give.
    if (size == 0) {
        throw std::runtime_error("Nothing to encrypt: the data is empty");
    }
    ContextHandle context = NewContext();
    std::vector<uint8_t> blob(kTagSize + size);
    int written = 0;
    int finalWritten = 0;
    if (EVP_EncryptInit_ex2(context.get(), SivCipher(), key_.data(), nullptr, nullptr) != 1 ||
        EVP_EncryptUpdate(context.get(), blob.data() + kTagSize, &written, plain, Length(size)) != 1 ||
        EVP_EncryptFinal_ex(context.get(), blob.data() + kTagSize + written, &finalWritten) != 1 ||
        EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_AEAD_GET_TAG, kTagSize, blob.data()) != 1) {
        throw std::runtime_error("Encryption failed");
    }
    return blob;
}

std::vector<uint8_t> Aes256SivEncryption::Open(const uint8_t* blob, size_t size) const {
    if (size <= kTagSize) {
        throw std::runtime_error("Decryption failed: the encrypted data is too short");
    }
    ContextHandle context = NewContext();
    std::vector<uint8_t> plain(size - kTagSize);
    int written = 0;
    int finalWritten = 0;
    std::array<uint8_t, kTagSize> tag{};
    std::copy(blob, blob + kTagSize, tag.begin());
    const bool ok =
        EVP_DecryptInit_ex2(context.get(), SivCipher(), key_.data(), nullptr, nullptr) == 1 &&
        EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_AEAD_SET_TAG, kTagSize, tag.data()) == 1 &&
        EVP_DecryptUpdate(context.get(), plain.data(), &written, blob + kTagSize, Length(plain.size())) == 1 &&
        EVP_DecryptFinal_ex(context.get(), plain.data() + written, &finalWritten) == 1;
    if (!ok) {
        OPENSSL_cleanse(plain.data(), plain.size());
        throw std::runtime_error(
            "Decryption failed: the encrypted data was changed or was not encrypted with this key");
    }
    return plain;
}

bool Aes256SivEncryption::Encrypt(Data::Interfaces::IArray* plain, Data::Interfaces::IArray** cipher,
                                  ::Core::IErrorCode** error) {
    return ::Core::AbiGuard(error, [&] {
        ::Core::CheckNotNull(plain);
        ::Core::CheckOut(cipher);
        ::Core::HandOut(ToArray(Seal(plain->GetData(), plain->GetByteSize())), cipher);
    });
}

bool Aes256SivEncryption::Decrypt(Data::Interfaces::IArray* cipher, Data::Interfaces::IArray** plain,
                                  ::Core::IErrorCode** error) {
    return ::Core::AbiGuard(error, [&] {
        ::Core::CheckNotNull(cipher);
        ::Core::CheckOut(plain);
        std::vector<uint8_t> bytes = Open(cipher->GetData(), cipher->GetByteSize());
        auto array = ToArray(bytes);
        OPENSSL_cleanse(bytes.data(), bytes.size());
        ::Core::HandOut(array, plain);
    });
}

}  // namespace Vesk::CoreServices::impl
