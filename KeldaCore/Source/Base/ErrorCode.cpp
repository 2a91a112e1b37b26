#include "Core/ErrorCode.h"

#include "Core/Guard.h"

namespace Core {

Ptr<IErrorCode> MakeErrorCode(int32_t code, std::string message) {
    return MakeObject<impl::ErrorCodeImpl>(code, std::move(message));
}

void StoreError(IErrorCode** error, int32_t code, const char* message) noexcept {
    if (error == nullptr || *error != nullptr) {
        return;
    }
    try {
        *error = MakeErrorCode(code, message).Detach();
    } catch (...) {
        // Out of memory while reporting a failure: the false result still tells the caller.
    }
}

}  // namespace Core
