// The default secret depends on the workspace UUID alone, and only that key opens it.
#include <gtest/gtest.h>

#include "Core/DataObjects.h"
#include "Core/Guard.h"
#include "Support/Hex.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/VeskCore.h"
#include "Vesk/Workspace/DefaultSecret.h"
#include "Vesk/Workspace/WorkspaceManagerImpl.h"

namespace {

using Vesk::Workspace::impl::WorkspaceManagerImpl;

Core::Ptr<WorkspaceManagerImpl> MemoryWorkspace(const Data::Uuid& uuid) {
    return Core::MakeObject<WorkspaceManagerImpl>(uuid, "file:" + Data::UuidToText(uuid) + "?mode=memory&cache=shared",
                                                  Vesk::Interfaces::ReadWrite, nullptr, 0);
}

std::string DefaultSecretOf(const Data::Uuid& uuid) {
    auto workspace = MemoryWorkspace(uuid);
    Vesk::Workspace::GenerateDefaultSecret(workspace.GetUnchecked());
    const auto& secret = workspace->Secret();
    return std::string(secret->GetText(), secret->GetLength());
}

TEST(DefaultSecret, IsFixedByTheUuidAndDecryptsUnderTheUuidKeyOnly) {
    const Data::Uuid uuid = Data::UuidFromText("00112233-4455-6677-8899-aabbccddeeff");
    const std::string secret = DefaultSecretOf(uuid);
    // Computed with PyCryptodome's AES-SIV (64-byte key: SHA-512 of "00112233445566778899aabbccddeeff"),
    // whose SIV code is its own, not OpenSSL's.
    EXPECT_EQ(VeskTest::HexOf(secret),
              "b0753edb2dc0d51d95f3f27399b3ede200d7852f0ce712b3199366327ef698ef"
              "75aaeca9135878e504fcdbf33736af61");
    EXPECT_NE(DefaultSecretOf(Data::UuidFromText("00112233-4455-6677-8899-aabbccddeefe")), secret);
    auto decryptWith = [&](const std::string& key, Core::ErrorCode& error) {
        Core::Ptr<Vesk::Interfaces::IEncryption> aes;
        auto keyArray = Data::NewByteArray(key.data(), key.size());
        EXPECT_TRUE(VeskCore_CreateEncryptionInstanceAes256(keyArray.GetUnchecked(), aes.Receive(), nullptr));
        auto blob = Data::NewByteArray(secret.data(), secret.size());
        Core::Ptr<Data::Interfaces::IArray> plain;
        aes->Decrypt(blob.GetUnchecked(), plain.Receive(), error.Receive());
        return plain;
    };
    Core::ErrorCode ok;
    auto plain = decryptWith("00112233445566778899aabbccddeeff", ok);
    ASSERT_FALSE(ok) << ok.Message();
    EXPECT_EQ(plain->GetByteSize(), 32u);
    Core::ErrorCode wrong;
    EXPECT_FALSE(decryptWith("00112233-4455-6677-8899-aabbccddeeff", wrong));
    EXPECT_TRUE(wrong);
}

}  // namespace
