#pragma once
#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Data/IArray.h"

namespace Vesk::Interfaces {

// A symmetric cipher bound to one key. Decrypt(Encrypt(x)) gives x back; a blob that was changed
// or cut short fails to decrypt. The library's instances are safe for concurrent use.
struct IEncryption : ::Core::IObject {
    virtual bool Encrypt(::Data::Interfaces::IArray* plain, ::Data::Interfaces::IArray** cipher,
                         ::Core::IErrorCode** error) = 0;
    virtual bool Decrypt(::Data::Interfaces::IArray* cipher, ::Data::Interfaces::IArray** plain,
                         ::Core::IErrorCode** error) = 0;
};

}  // namespace Vesk::Interfaces
