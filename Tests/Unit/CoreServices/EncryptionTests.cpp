// AES-256-SIV as the workspace relies on it: deterministic, keyed, and refusing changed blobs.
#include <gtest/gtest.h>

#include <string>

#include "Core/DataObjects.h"
#include "Core/ErrorCode.h"
#include "Core/Guard.h"
#include "Support/Hex.h"
#include "Vesk/VeskCore.h"

namespace {

Core::Ptr<Vesk::Interfaces::IEncryption> Aes(const std::string& key) {
    Core::Ptr<Vesk::Interfaces::IEncryption> aes;
    auto keyArray = Data::NewByteArray(key.data(), key.size());
    Core::ThrowIfFailed([&](Core::IErrorCode** e) {
        return VeskCore_CreateEncryptionInstanceAes256(keyArray.GetUnchecked(), aes.Receive(), e);
    });
    return aes;
}

std::string Bytes(Data::Interfaces::IArray* array) {
    return std::string(reinterpret_cast<const char*>(array->GetData()), array->GetByteSize());
}

std::string Encrypt(Vesk::Interfaces::IEncryption* aes, const std::string& plain) {
    auto input = Data::NewByteArray(plain.data(), plain.size());
    Core::Ptr<Data::Interfaces::IArray> output;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return aes->Encrypt(input.GetUnchecked(), output.Receive(), e); });
    return Bytes(output.GetUnchecked());
}

// The plain bytes, or the error message prefixed with "error: ".
std::string Decrypt(Vesk::Interfaces::IEncryption* aes, const std::string& blob) {
    auto input = Data::NewByteArray(blob.data(), blob.size());
    Core::Ptr<Data::Interfaces::IArray> output;
    Core::ErrorCode error;
    if (!aes->Decrypt(input.GetUnchecked(), output.Receive(), error.Receive())) {
        return "error: " + std::string(error.Message());
    }
    return Bytes(output.GetUnchecked());
}

TEST(Aes256Siv, RoundTripsAndIsDeterministic) {
    auto aes = Aes("0123456789abcdef0123456789abcdef");
    const std::string plain("secret text\0with a zero byte", 28);
    const std::string blob = Encrypt(aes.GetUnchecked(), plain);
    // The synthetic IV, then the cipher text, as PyCryptodome's own AES-SIV computes them under the
    // 64-byte key SHA-512("0123...cdef").
    EXPECT_EQ(VeskTest::HexOf(blob),
              "5f6d65a31189bd2b4db3d5eacf1df2c63fa35eae4cb8d383861d2672f30e77a287064e213dd51fab675e197f");
    EXPECT_EQ(blob, Encrypt(aes.GetUnchecked(), plain));
    EXPECT_EQ(blob, Encrypt(Aes("0123456789abcdef0123456789abcdef").GetUnchecked(), plain));
    EXPECT_EQ(Decrypt(aes.GetUnchecked(), blob), plain);
    EXPECT_THROW(Encrypt(aes.GetUnchecked(), ""), std::runtime_error);
}

TEST(Aes256Siv, KeyAndPlainBothChangeTheBlob) {
    auto one = Aes("key one");
    auto two = Aes("key two");
    EXPECT_NE(Encrypt(one.GetUnchecked(), "same"), Encrypt(two.GetUnchecked(), "same"));
    EXPECT_NE(Encrypt(one.GetUnchecked(), "same"), Encrypt(one.GetUnchecked(), "sama"));
    EXPECT_EQ(Decrypt(two.GetUnchecked(), Encrypt(one.GetUnchecked(), "same")).rfind("error: Decryption failed", 0),
              0u);
}

TEST(Aes256Siv, ChangedOrShortBlobsAreRefused) {
    auto aes = Aes("k");
    const std::string blob = Encrypt(aes.GetUnchecked(), "thirty-two bytes of padded text!");
    for (size_t i : {size_t{0}, size_t{15}, size_t{16}, blob.size() - 1}) {
        std::string changed = blob;
        changed[i] = static_cast<char>(changed[i] ^ 0x01);
        EXPECT_EQ(Decrypt(aes.GetUnchecked(), changed).rfind("error: Decryption failed", 0), 0u) << "byte " << i;
    }
    EXPECT_EQ(Decrypt(aes.GetUnchecked(), blob.substr(0, blob.size() - 1)).rfind("error: Decryption failed", 0), 0u);
    EXPECT_EQ(Decrypt(aes.GetUnchecked(), blob.substr(0, 10)),
              "error: Decryption failed: the encrypted data is too short");
}

TEST(Aes256Siv, FactoryChecksItsArguments) {
    Core::ErrorCode error;
    Core::Ptr<Vesk::Interfaces::IEncryption> aes;
    EXPECT_FALSE(VeskCore_CreateEncryptionInstanceAes256(nullptr, aes.Receive(), error.Receive()));
    EXPECT_EQ(std::string(error.Message()), "Pointer of struct Data::Interfaces::IArray must not be null!");
    auto empty = Data::NewByteArray("", 0);
    Core::ErrorCode emptyKey;
    EXPECT_FALSE(VeskCore_CreateEncryptionInstanceAes256(empty.GetUnchecked(), aes.Receive(), emptyKey.Receive()));
    EXPECT_EQ(std::string(emptyKey.Message()), "Encryption key must not be empty");
}

}  // namespace
