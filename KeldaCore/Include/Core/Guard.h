#pragma once
#include <exception>
#include <stdexcept>
#include <string>

#include "Core/ErrorCode.h"
#include "Core/Ptr.h"
#include "Core/TypeName.h"

namespace Core {

// Stores a new error object at error when error is not null and points to null. Never throws.
void StoreError(IErrorCode** error, int32_t code, const char* message) noexcept;

// Runs one operation of the error-code form: true when the body returns, false with an error object
// (code 2 and the message for a standard exception, code 1 "Uncaught exception" for anything else)
// when it throws. Every exported function and interface operation goes through here.
template <class Body>
bool AbiGuard(IErrorCode** error, Body&& body) noexcept {
    try {
        body();
        return true;
    } catch (const std::exception& e) {
        StoreError(error, kErrorCodeException, e.what());
    } catch (...) {
        StoreError(error, kErrorCodeUnknown, "Uncaught exception");
    }
    return false;
}

// A required input pointer: "Pointer of T must not be null!" (and the detail text, when given).
template <class T>
void CheckNotNull(const T* pointer, const char* detail = nullptr) {
    if (pointer == nullptr) {
        std::string message = "Pointer of " + TypeName<T>() + " must not be null!";
        if (detail != nullptr && *detail != '\0') {
            message += " ";
            message += detail;
        }
        throw std::runtime_error(message);
    }
}

// An out-parameter: its address must be given and it must point to null.
template <class T>
void CheckOut(T** out) {
    if (out == nullptr) {
        throw std::runtime_error("Pointer to a pointer of " + TypeName<T>() +
                                 " must not be null! Address of return must be specified!");
    }
    if (*out != nullptr) {
        throw std::runtime_error("Pointer of " + TypeName<T>() + " must be null in order to avoid memory leaks!");
    }
}

// Hands an object out through a checked out-parameter with the Ptr's reference.
template <class T, class U>
void HandOut(Ptr<U> object, T** out) {
    *out = object.Detach();
}

// Calls an operation of the error-code form and turns a failure back into an exception: the error's
// message when one came back, else failureText.
template <class Call>
void ThrowIfFailed(Call&& call, const char* failureText = "Operation failed") {
    ErrorCode error;
    const bool ok = call(error.Receive());
    if (error) {
        throw std::runtime_error(std::string(error.Message()));
    }
    if (!ok) {
        throw std::runtime_error(failureText);
    }
}

}  // namespace Core
