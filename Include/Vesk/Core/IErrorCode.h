#pragma once
#include <cstdint>

#include "Vesk/Core/IObject.h"

namespace Core {

// An immutable error: a code and a UTF-8 message. Code 2 means a failure with a message, code 1 any
// other failure ("Uncaught exception").
struct IErrorCode : IObject {
    virtual const char* GetMessage() = 0;
    virtual uint32_t GetMessageLength() = 0;
    virtual int32_t GetCode() = 0;
};

}  // namespace Core
