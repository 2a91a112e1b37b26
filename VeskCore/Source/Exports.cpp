#include "Aes256Siv.h"
#include "Core/Guard.h"
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
