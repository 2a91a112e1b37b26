#pragma once
#include <cstdint>

#include "Vesk/Core/IObject.h"

namespace Data::Structures {

// A UUID: 16 bytes in the order of its text form.
struct _UUID {
    uint8_t bytes[16];
};

// Type codes of a value record (low 16 bits of its type word).
enum VariantType : uint16_t {
    VT_Unknown = 0,
    VT_Invalid = 1,
    VT_Null = 2,
    VT_Int16 = 3,
    VT_Int32 = 4,
    VT_Int64 = 5,
    VT_Int128 = 6,
    VT_UInt16 = 7,
    VT_UInt32 = 8,
    VT_UInt64 = 9,
    VT_UInt128 = 10,
    VT_Byte = 11,
    VT_SByte = 12,
    VT_Double = 13,
    VT_Float = 14,
    VT_Bool = 15,
    VT_Pointer = 16,
    VT_IObject = 17,
    VT_Array = 18,
    VT_String = 19,
    VT_DateTime = 20,
    VT_JsonDocument = 21,
    VT_XmlDocument = 22,
    VT_Uuid = 23,
    VT_ErrorCode = 24,
    VT_ObjectList = 25,
    VT_StringList = 26,
    VT_Reserved = 27,
};

// Holding forms (high 16 bits of the type word).
enum VariantForm : uint32_t {
    VF_Inline = 0x00000,     // the value is in the payload
    VF_Reference = 0x10000,  // an IObject* whose reference the record owns
    VF_Pointer = 0x20000,    // a plain pointer, not owned
};

// The value record: a 32-bit type word and a 16-byte payload. 128-bit values keep their low 64 bits
// first. A String, JsonDocument or XmlDocument held inline keeps its text (at most 15 bytes) NUL-
// terminated in the payload.
struct _VARIANT {
    uint32_t type;
    uint32_t reserved;
    union {
        uint8_t bytes[16];
        char text[16];
        int8_t i8;
        uint8_t u8;
        int16_t i16;
        uint16_t u16;
        int32_t i32;
        uint32_t u32;
        int64_t i64;
        uint64_t u64;
        uint64_t u128[2];
        double f64;
        float f32;
        void* pointer;
        Core::IObject* object;
    };
};

inline uint16_t VariantTypeCode(const _VARIANT& v) {
    return static_cast<uint16_t>(v.type & 0xFFFFu);
}
inline uint32_t VariantFormOf(const _VARIANT& v) {
    return v.type & 0xFFFF0000u;
}

// Releases what the record owns and leaves it Null. Safe on a zeroed record.
inline void VariantClear(_VARIANT* v) {
    if (VariantFormOf(*v) == VF_Reference && v->object != nullptr) {
        v->object->Release();
    }
    v->type = VT_Null;
    v->reserved = 0;
    v->u128[0] = 0;
    v->u128[1] = 0;
}

// Copies src into a cleared dst, adding a reference for an owned object.
inline void VariantCopy(_VARIANT* dst, const _VARIANT* src) {
    *dst = *src;
    if (VariantFormOf(*dst) == VF_Reference && dst->object != nullptr) {
        dst->object->AddReference();
    }
}

}  // namespace Data::Structures
