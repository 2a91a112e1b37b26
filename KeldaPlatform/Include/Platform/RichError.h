#pragma once
#include <cstdint>
#include <source_location>
#include <string>

#include "Platform/ErrorRecord.h"

namespace Platform::RichError {

// Every function here is safe to call from any thread.

// Families of native error numbers. The first six keep the numbering that the suite uses in every
// message; Errno and Curl are this platform's own sources of failures.
enum class Family : uint32_t {
    None = 0,
    Win32 = 1,
    NtStatus = 2,
    WinHttp = 3,
    HResult = 4,
    Custom = 5,
    Errno = 6,
    Curl = 7,
};

// The library's own codes of the Custom family.
enum CustomCode : uint32_t {
    CustomNoError = 0,
    CustomStartOnce = 1,
};

// "[Family(code)] message", "no error" for family 0 and "INVALID ERROR TYPE" for an unknown family.
// A non-empty context is put in front, separated by "::".
std::string Text(Family family, uint32_t code, const std::string& context = {});

// The raising pattern of every platform failure: the record is logged at FATAL with its source
// position, the stack follows (two frames skipped, 64 captured), then the bare message is thrown.
[[noreturn]] void Raise(const ErrorRecord& record);

// Raises "%d: %s" with the code and the family text (with text as its context), reported from the
// named function of the raising family.
[[noreturn]] void ThrowWin32(uint32_t code, const std::string& text,
                             const std::source_location& where = std::source_location::current());
[[noreturn]] void ThrowWinHttp(uint32_t code, const std::string& text,
                               const std::source_location& where = std::source_location::current());
[[noreturn]] void ThrowErrno(int code, const std::string& text,
                             const std::source_location& where = std::source_location::current());
// The same with the calling thread's current errno.
[[noreturn]] void ThrowLastErrno(const std::string& text,
                                 const std::source_location& where = std::source_location::current());
[[noreturn]] void ThrowCurl(uint32_t code, const std::string& text,
                            const std::source_location& where = std::source_location::current());

}  // namespace Platform::RichError
