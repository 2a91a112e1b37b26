#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "Core/Ptr.h"
#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Data/IArray.h"
#include "Vesk/Data/IDateTime.h"
#include "Vesk/Data/IDocument.h"
#include "Vesk/Data/IString.h"
#include "Vesk/Data/Structures.h"

namespace Data {

using Structures::_UUID;
using Structures::_VARIANT;
using Uuid = Structures::_UUID;

// Owns one value record: copying adds a reference to a held object, destruction releases it.
class Variant {
public:
    Variant() noexcept;
    // Copies a record the caller keeps (adds a reference of its own).
    explicit Variant(const _VARIANT& raw) noexcept;
    Variant(const Variant& other) noexcept;
    Variant(Variant&& other) noexcept;
    Variant& operator=(const Variant& other) noexcept;
    Variant& operator=(Variant&& other) noexcept;
    ~Variant();

    // Takes over a record whose reference the caller owns.
    static Variant Adopt(const _VARIANT& raw) noexcept;

    static Variant Null() noexcept { return Variant(); }
    static Variant FromInt16(int16_t v);
    static Variant FromInt32(int32_t v);
    static Variant FromInt64(int64_t v);
    static Variant FromUInt16(uint16_t v);
    static Variant FromUInt32(uint32_t v);
    static Variant FromUInt64(uint64_t v);
    static Variant FromInt128(uint64_t low, uint64_t high);
    static Variant FromUInt128(uint64_t low, uint64_t high);
    static Variant FromByte(uint8_t v);
    static Variant FromSByte(int8_t v);
    static Variant FromDouble(double v);
    static Variant FromFloat(float v);
    static Variant FromBool(bool v);
    static Variant FromUuid(const Uuid& v);
    // Text held by reference to a new IString.
    static Variant FromString(std::string_view text);
    // Text of at most 15 bytes held inline in the record.
    static Variant FromInlineString(std::string_view text);
    // Text held inline when it fits (at most 15 bytes, no zero byte), otherwise by a new IString: what
    // a table should keep for text it reads, since most cells are short and an object per cell is not.
    static Variant FromCompactString(std::string_view text);
    // An object held by reference under a type code (String, DateTime, Array, JsonDocument, ...).
    static Variant FromObject(Core::IObject* object, uint16_t typeCode);
    template <class T>
    static Variant FromObject(const Core::Ptr<T>& object, uint16_t typeCode) {
        return FromObject(object.GetUnchecked(), typeCode);
    }
    static Variant FromPointer(void* pointer, uint16_t typeCode = Structures::VT_Pointer);

    const _VARIANT& Raw() const noexcept { return raw_; }
    // Clears the record and gives its address, for an operation that fills a caller's record.
    _VARIANT* Receive() noexcept;

    uint16_t Type() const noexcept { return Structures::VariantTypeCode(raw_); }
    uint32_t Form() const noexcept { return Structures::VariantFormOf(raw_); }
    bool IsReference() const noexcept { return Form() == Structures::VF_Reference; }
    // False for Null and for a reference or pointer form that holds null.
    bool HasData() const noexcept;
    bool IsPrimitive() const;
    uint64_t Size() const;
    const void* Data() const;
    int64_t ToInt64() const;
    double ToDouble() const;
    Uuid ToUuid() const;
    // The text form used in logs and wherever a value must become text.
    std::string ToString() const;
    // The text of a String, JsonDocument or XmlDocument however it is held.
    std::string Text() const;

    Core::Ptr<Interfaces::IString> AsString() const;
    Core::Ptr<Interfaces::IDateTime> AsDateTime() const;
    Core::Ptr<Interfaces::IJsonDocument> AsJson() const;
    Core::Ptr<Interfaces::IXmlDocument> AsXml() const;
    Core::Ptr<Core::IErrorCode> AsErrorCode() const;
    Core::Ptr<Interfaces::IArray> AsArray() const;
    // The held object as T: empty for no data, an error for a value that is not a reference.
    template <class T>
    Core::Ptr<T> AsObject() const {
        Core::Ptr<Core::IObject> object = ObjectOf();
        return object ? object.template Cast<T>() : Core::Ptr<T>();
    }

    // Throws when the type code is beyond the known ones (an uninitialised record).
    void CheckDefined() const;

private:
    Core::Ptr<Core::IObject> ObjectOf() const;

    _VARIANT raw_;
    mutable std::string textCache_;  // keeps Data() of a document valid while the record lives
};

// The printed name of a type code; empty above 27.
const char* VariantTypeName(uint32_t typeCode);

// Three-way comparison by the library's rules; exact compares text bytewise.
int Compare(const Variant& left, const Variant& right, bool exact);

// Parses "urn:uuid:..." or a UUID text with blanks and braces around it.
Uuid UuidFromText(std::string_view text);
// Lower-case hyphenated text.
std::string UuidToText(const Uuid& uuid);

// Converts a value to another type code where a sensible conversion exists; false (and result
// untouched) when it does not.
bool TryConvert(const Variant& value, uint16_t typeCode, Variant& result);

}  // namespace Data
