#pragma once
// Factories of the core services library (Vesk.Core).
#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Data/IArray.h"
#include "Vesk/Data/IString.h"
#include "Vesk/Export.h"
#include "Vesk/Services/IDirectDatabaseAccessServices.h"
#include "Vesk/Services/IEncryption.h"
#include "Vesk/Services/IStorageServices.h"

// AES-256 in SIV mode (RFC 5297): deterministic and authenticated. The 512-bit SIV key is the
// SHA-512 digest of the given key bytes; a blob is the 16-byte synthetic IV followed by the ciphertext.
VESK_CORE_API bool VeskCore_CreateEncryptionInstanceAes256(Data::Interfaces::IArray* key,
                                                           Vesk::Interfaces::IEncryption** encryption,
                                                           Core::IErrorCode** error);

// A client of the storage service at url ("{workspace URL}/services/storage"), owned by the caller. The
// URL is parsed here; nothing is sent until the first call.
VESK_CORE_API bool VeskCore_CreateHttpStorageClientInstance(Data::Interfaces::IString* url,
                                                            Vesk::Interfaces::IStorageServices** storage,
                                                            Core::IErrorCode** error);

// A client of the direct-database-access service at url ("{workspace URL}/services/dda"), owned by the
// caller. The URL is parsed here; nothing is sent until the first call.
VESK_CORE_API bool VeskCore_CreateDirectDatabaseAccessServiceClient(
    const char* url, Vesk::Interfaces::IDirectDatabaseAccessServices** client, Core::IErrorCode** error);
