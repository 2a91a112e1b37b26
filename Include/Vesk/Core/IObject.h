#pragma once
#include <cstdint>

namespace Core {

// Base of every reference-counted interface. A new object starts with one reference owned by its
// creator; Release() destroys the object when the count reaches zero.
struct IObject {
    virtual void AddReference() = 0;
    virtual uint32_t Release() = 0;
    virtual void Lock() = 0;
    virtual bool TryLock() = 0;
    virtual void Unlock() = 0;

protected:
    virtual ~IObject() = default;
};

}  // namespace Core
