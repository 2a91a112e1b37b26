#pragma once
// Throwing shorthands for making data objects through the data-object library's factories.
#include <cstdint>
#include <string>
#include <string_view>

#include "Core/Ptr.h"
#include "Core/Variant.h"
#include "Vesk/Data/IArray.h"
#include "Vesk/Data/IDateTime.h"
#include "Vesk/Data/IString.h"

namespace Data {

Core::Ptr<Interfaces::IString> NewString(std::string_view text);
Core::Ptr<Interfaces::ISecureString> NewSecureString(std::string_view text);
Core::Ptr<Interfaces::IArray> NewByteArray(const void* data, uint64_t size);
Core::Ptr<Interfaces::IDateTime> NewCurrentDateTime();
// The current date-time as a value.
Variant CurrentDateTime();
// SHA-256 of the bytes, as 32 raw bytes.
std::string Sha256(const void* data, uint64_t size);
// SHA-256 of the bytes as 64 lower-case hexadecimal characters.
std::string Sha256Hex(const void* data, uint64_t size);

}  // namespace Data
