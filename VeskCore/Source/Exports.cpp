#include "Aes256Siv.h"
#include "Core/Guard.h"
#include "DirectDatabaseAccessClient.h"
#include "HttpStorageClient.h"
#include "Vesk/VeskCore.h"

VESK_CORE_API bool VeskCore_CreateEncryptionInstanceAes256(Data::Interfaces::IArray* key,
                                                           Vesk::Interfaces::IEncryption** encryption,
                                                           Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(key);
        Core::CheckOut(encryption);
        if (key->GetByteSize() == 0) {
            throw std::runtime_error("Encryption key must not be empty");
        }
        Core::HandOut(
            Core::MakeObject<Vesk::CoreServices::impl::Aes256SivEncryption>(key->GetData(), key->GetByteSize()),
            encryption);
    });
}

VESK_CORE_API bool VeskCore_CreateHttpStorageClientInstance(Data::Interfaces::IString* url,
                                                            Vesk::Interfaces::IStorageServices** storage,
                                                            Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(url);
        Core::CheckOut(storage);
        Core::HandOut(Core::MakeObject<Vesk::CoreServices::impl::HttpStorageClient>(
                          std::string(url->GetText() != nullptr ? url->GetText() : "", url->GetLength())),
                      storage);
    });
}

VESK_CORE_API bool VeskCore_CreateDirectDatabaseAccessServiceClient(
    const char* url, Vesk::Interfaces::IDirectDatabaseAccessServices** client, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(url);
        Core::CheckOut(client);
        Core::HandOut(Core::MakeObject<Vesk::CoreServices::impl::DirectDatabaseAccessClient>(url), client);
    });
}
