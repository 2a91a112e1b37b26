#include "Aes256Siv.h"

#include <stdexcept>

#include "Core/Crypto.h"
#include "Core/Guard.h"
#include "Vesk/Data/KeldaData.h"

namespace Vesk::CoreServices::impl {
namespace {

::Core::Ptr<Data::Interfaces::IArray> ToArray(const std::vector<uint8_t>& bytes) {
    ::Core::Ptr<Data::Interfaces::IArray> array;
    if (!Data_CreateArray(array.Receive())) {
        throw std::runtime_error("Failed to create array");
    }
    ::Core::ThrowIfFailed([&](::Core::IErrorCode** e) { return array->Assign(bytes.data(), 1, bytes.size(), e); });
    return array;
}

}  // namespace

Aes256SivEncryption::Aes256SivEncryption(const uint8_t* keyBytes, size_t keySize)
    : key_(::Core::Crypto::Sha512(keyBytes, keySize)) {}

Aes256SivEncryption::~Aes256SivEncryption() {
    ::Core::Crypto::Cleanse(key_.data(), key_.size());
}

std::vector<uint8_t> Aes256SivEncryption::Seal(const uint8_t* plain, size_t size) const {
    return ::Core::Crypto::SivSeal(key_, plain, size);
}

std::vector<uint8_t> Aes256SivEncryption::Open(const uint8_t* blob, size_t size) const {
    if (size <= kTagSize) {
        throw std::runtime_error("Decryption failed: the encrypted data is too short");
    }
    std::vector<uint8_t> plain;
    if (!::Core::Crypto::SivOpen(key_, blob, size, plain)) {
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
        ::Core::Crypto::Cleanse(bytes.data(), bytes.size());
        ::Core::HandOut(array, plain);
    });
}

}  // namespace Vesk::CoreServices::impl
