#include "Core/DataObjects.h"

#include <stdexcept>

#include "Core/Guard.h"
#include "Core/StringFormat.h"
#include "Vesk/Data/KeldaData.h"

namespace Data {

Core::Ptr<Interfaces::IString> NewString(std::string_view text) {
    Core::Ptr<Interfaces::IString> string;
    if (!Data_CreateString(string.Receive())) {
        throw std::runtime_error("Failed to create string");
    }
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return string->Set(text.data(), text.size(), e); });
    return string;
}

Core::Ptr<Interfaces::ISecureString> NewSecureString(std::string_view text) {
    Core::Ptr<Interfaces::ISecureString> secure;
    Core::ThrowIfFailed(
        [&](Core::IErrorCode** e) { return Data_CreateSecureString(secure.Receive(), text.data(), text.size(), e); },
        "Failed to create secure string");
    return secure;
}

Core::Ptr<Interfaces::IArray> NewByteArray(const void* data, uint64_t size) {
    Core::Ptr<Interfaces::IArray> array;
    if (!Data_CreateArray(array.Receive())) {
        throw std::runtime_error("Failed to create array");
    }
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return array->Assign(data, 1, size, e); });
    return array;
}

Core::Ptr<Interfaces::IDateTime> NewCurrentDateTime() {
    Core::Ptr<Interfaces::IDateTime> now;
    if (!Data_CreateCurrentDateTime(now.Receive())) {
        throw std::runtime_error("Failed to read the current time");
    }
    return now;
}

Variant CurrentDateTime() {
    return Variant::FromObject(NewCurrentDateTime(), Structures::VT_DateTime);
}

std::string Sha256(const void* data, uint64_t size) {
    Core::Ptr<Interfaces::IHashing> hashing;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return Data_CreateHashingInstanceSha2(0, hashing.Receive(), e); },
                        "Failed to create the SHA-256 hasher");
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return hashing->Update(data, size, e); });
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return hashing->Finish(e); });
    return std::string(reinterpret_cast<const char*>(hashing->GetDigest()), hashing->GetDigestSize());
}

std::string Sha256Hex(const void* data, uint64_t size) {
    std::string hex;
    for (unsigned char byte : Sha256(data, size)) {
        hex += Core::StringFormat("%02x", byte);
    }
    return hex;
}

}  // namespace Data
