#pragma once
#include <cstdint>

#include "Platform/IAsyncTask.h"
#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Data/Structures.h"

namespace Platform::Interfaces {

// A plain function posted with one argument; reports a failure through its error address.
using ThreadFunction = void (*)(const Data::Structures::_VARIANT* argument, Core::IErrorCode** error);

// A thread that work can be posted to. Safe for concurrent use: any thread may post to it and query
// it; the work runs only on that thread.
struct IThread : Core::IObject {
    virtual bool Start(Core::IErrorCode** error) = 0;
    virtual bool Stop(Core::IErrorCode** error) = 0;
    virtual bool _abi_Post(ThreadFunction fn, const Data::Structures::_VARIANT* argument, IAsyncTask** task,
                           Core::IErrorCode** error) const = 0;
    // Hold their places in the operation order.
    virtual bool Reserved9(void* first, void* second, void* third, Core::IErrorCode** error) = 0;
    virtual void Reserved10() = 0;
    virtual bool IsValid() = 0;
    virtual void SetName(const char* name) = 0;
    virtual const char* GetName() = 0;
    virtual uint32_t GetThreadId() = 0;
    virtual void* GetHandle() = 0;
    virtual bool SetTimeout(uint32_t value, Core::IErrorCode** error) = 0;
    virtual bool HasTimeout() = 0;
    virtual bool IsIdle() = 0;
};

}  // namespace Platform::Interfaces
