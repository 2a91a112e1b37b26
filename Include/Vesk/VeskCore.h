#pragma once
// Factories of the core services library (Vesk.Core).
#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Data/IArray.h"
#include "Vesk/Export.h"
#include "Vesk/Services/IEncryption.h"

// AES-256 in SIV mode (RFC 5297): deterministic and authenticated. The 512-bit SIV key is the
// SHA-512 digest of the given key bytes; a blob is the 16-byte synthetic IV followed by the ciphertext.
VESK_CORE_API bool VeskCore_CreateEncryptionInstanceAes256(Data::Interfaces::IArray* key,
                                                           Vesk::Interfaces::IEncryption** encryption,
                                                           Core::IErrorCode** error);
