#include "Vesk/Workspace/DefaultSecret.h"

#include <array>
#include <cstdint>
#include <string>

#include "Core/DataObjects.h"
#include "Core/Guard.h"
#include "Core/Variant.h"
#include "Vesk/Data/KeldaData.h"
#include "Vesk/VeskCore.h"

namespace Vesk::Workspace {
namespace {

// The plain value is kept as two tables whose XOR it is, so that it never stands in the binary as
// one piece.
constexpr std::array<uint8_t, 32> kMaskA = {0x5c, 0x13, 0xa7, 0x08, 0xe1, 0x6f, 0x92, 0x3d, 0xb4, 0x27, 0xc8,
                                            0x71, 0x0e, 0x9a, 0x45, 0xd3, 0x2b, 0x86, 0xf0, 0x1c, 0x63, 0xae,
                                            0x57, 0xe9, 0x30, 0xcd, 0x74, 0x1b, 0x88, 0x4f, 0xd6, 0x02};
constexpr std::array<uint8_t, 32> kMaskB = {0x0a, 0x76, 0xd4, 0x63, 0xb6, 0x0f, 0xe1, 0x59, 0xc3, 0x56, 0xbb,
                                            0x14, 0x2d, 0xeb, 0x20, 0xa5, 0x4e, 0xf4, 0x83, 0x7d, 0x17, 0xcb,
                                            0x23, 0x98, 0x45, 0xaf, 0x12, 0x7a, 0xeb, 0x3c, 0xa3, 0x61};

std::array<uint8_t, 32> PlainValue() {
    std::array<uint8_t, 32> plain{};
    for (size_t i = 0; i < plain.size(); ++i) {
        plain[i] = static_cast<uint8_t>(kMaskA[i] ^ kMaskB[i]);
    }
    return plain;
}

}  // namespace

void GenerateDefaultSecret(Interfaces::IWorkspaceManager* workspace) {
    Data::Structures::_UUID uuid{};
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return workspace->GetUuid(&uuid, e); });
    std::string key;
    for (char c : Data::UuidToText(uuid)) {
        if (c != '-') {
            key += c;
        }
    }
    Core::Ptr<Interfaces::IEncryption> aes;
    auto keyArray = Data::NewByteArray(key.data(), key.size());
    Core::ThrowIfFailed([&](Core::IErrorCode** e) {
        return VeskCore_CreateEncryptionInstanceAes256(keyArray.GetUnchecked(), aes.Receive(), e);
    });
    const auto plainValue = PlainValue();
    auto plain = Data::NewByteArray(plainValue.data(), plainValue.size());
    Core::Ptr<Data::Interfaces::IArray> encrypted;
    Core::ThrowIfFailed(
        [&](Core::IErrorCode** e) { return aes->Encrypt(plain.GetUnchecked(), encrypted.Receive(), e); });
    auto text = Data::NewString(
        std::string_view(reinterpret_cast<const char*>(encrypted->GetData()), encrypted->GetByteSize()));
    Core::Ptr<Data::Interfaces::ISecureString> secret;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) {
        return Data_CreateSecureString(secret.Receive(), text->GetText(), text->GetLength(), e);
    });
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return workspace->SetSecret(secret.GetUnchecked(), e); });
}

}  // namespace Vesk::Workspace
