#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Vesk/Core/IErrorCode.h"

namespace Core {

// Error codes used at the boundary.
inline constexpr int32_t kErrorCodeException = 2;  // a failure that carried a message
inline constexpr int32_t kErrorCodeUnknown = 1;    // anything else: "Uncaught exception"

namespace impl {

class ErrorCodeImpl final : public UnlockedObjectT<IErrorCode> {
public:
    ErrorCodeImpl(int32_t code, std::string message) : code_(code), message_(std::move(message)) {}
    const char* GetMessage() override { return message_.c_str(); }
    uint32_t GetMessageLength() override { return static_cast<uint32_t>(message_.size()); }
    int32_t GetCode() override { return code_; }

private:
    ~ErrorCodeImpl() override = default;
    int32_t code_;
    std::string message_;
};

}  // namespace impl

Ptr<IErrorCode> MakeErrorCode(int32_t code, std::string message);

// The owning wrapper of an error object used inside the library.
class ErrorCode {
public:
    ErrorCode() = default;
    explicit ErrorCode(Ptr<IErrorCode> error) : error_(std::move(error)) {}
    IErrorCode** Receive() { return error_.Receive(); }
    explicit operator bool() const { return static_cast<bool>(error_); }
    // The message, or an empty text when there is no error.
    std::string_view Message() const {
        if (!error_) {
            return {};
        }
        IErrorCode* e = error_.GetUnchecked();
        return {e->GetMessage(), e->GetMessageLength()};
    }
    int32_t Code() const { return error_ ? error_.GetUnchecked()->GetCode() : 0; }
    const Ptr<IErrorCode>& Get() const { return error_; }

private:
    Ptr<IErrorCode> error_;
};

}  // namespace Core
