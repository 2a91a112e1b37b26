#include "SecureString.h"

#include <cstring>

#include "Core/Crypto.h"

namespace Data::impl {

SecureStringImpl::SecureStringImpl(const char* text, uint64_t length)
    : length_(length), bytes_(std::make_unique<char[]>(length + 1)) {
    if (length != 0) {
        std::memcpy(bytes_.get(), text, length);
    }
    bytes_[length] = '\0';
}

SecureStringImpl::~SecureStringImpl() {
    // A cleanse cannot be optimised away the way a memset before free can.
    Core::Crypto::Cleanse(bytes_.get(), length_ + 1);
}

}  // namespace Data::impl
