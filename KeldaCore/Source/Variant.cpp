#include "Core/Variant.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "Core/ErrorCode.h"
#include "Core/Guard.h"
#include "Core/StringFormat.h"
#include "Core/UuidText.h"
#include "Vesk/Data/IObjectList.h"
#include "Vesk/Data/KeldaData.h"

namespace Data {

using namespace Structures;

namespace {

constexpr const char* kUndefined =
    "Variant type is undefined! Did you forget to zero out the VARIANT structure? It appears uninitialized!";
constexpr const char* kNotValue = "Must be value type!";
constexpr const char* kStringNotPrimitive = "String cannot be converted to the primitive type!";

_VARIANT Zeroed(uint32_t type) {
    _VARIANT raw;
    std::memset(&raw, 0, sizeof raw);
    raw.type = type;
    return raw;
}

bool IsTextType(uint16_t t) {
    return t == VT_String || t == VT_JsonDocument || t == VT_XmlDocument;
}

bool IsPrimitiveCode(uint32_t t) {
    return (t >= VT_Int16 && t <= VT_Bool) || t == VT_Uuid;
}

// The text of an inline String/JsonDocument/XmlDocument record.
std::string_view InlineText(const _VARIANT& raw) {
    return {raw.text, strnlen(raw.text, sizeof raw.text)};
}

std::string StringOf(Core::IObject* object) {
    if (auto* s = dynamic_cast<Interfaces::IString*>(object)) {
        return std::string(s->GetText(), s->GetLength());
    }
    return {};
}

template <class Document>
std::string RenderDocument(Core::IObject* object) {
    auto* document = dynamic_cast<Document*>(object);
    if (document == nullptr) {
        return {};
    }
    Core::Ptr<Interfaces::IString> text;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return document->Render(text.Receive(), e); },
                        "Document could not be rendered");
    return text ? std::string(text->GetText(), text->GetLength()) : std::string();
}

}  // namespace

Variant::Variant() noexcept : raw_(Zeroed(VT_Null)) {}
Variant::Variant(const _VARIANT& raw) noexcept {
    VariantCopy(&raw_, &raw);
}
Variant::Variant(const Variant& other) noexcept {
    VariantCopy(&raw_, &other.raw_);
}
Variant::Variant(Variant&& other) noexcept : raw_(other.raw_) {
    other.raw_ = Zeroed(VT_Null);
}
Variant& Variant::operator=(const Variant& other) noexcept {
    if (this != &other) {
        Variant copy(other);
        std::swap(raw_, copy.raw_);
        textCache_.clear();
    }
    return *this;
}
Variant& Variant::operator=(Variant&& other) noexcept {
    if (this != &other) {
        VariantClear(&raw_);
        raw_ = other.raw_;
        other.raw_ = Zeroed(VT_Null);
        textCache_.clear();
    }
    return *this;
}
Variant::~Variant() {
    VariantClear(&raw_);
}

Variant Variant::Adopt(const _VARIANT& raw) noexcept {
    Variant v;
    v.raw_ = raw;
    return v;
}

_VARIANT* Variant::Receive() noexcept {
    VariantClear(&raw_);
    textCache_.clear();
    return &raw_;
}

#define VESK_VARIANT_FACTORY(Name, CType, Code, Field) \
    Variant Variant::Name(CType v) {                   \
        _VARIANT raw = Zeroed(Code);                   \
        raw.Field = v;                                 \
        return Adopt(raw);                             \
    }
VESK_VARIANT_FACTORY(FromInt16, int16_t, VT_Int16, i16)
VESK_VARIANT_FACTORY(FromInt32, int32_t, VT_Int32, i32)
VESK_VARIANT_FACTORY(FromInt64, int64_t, VT_Int64, i64)
VESK_VARIANT_FACTORY(FromUInt16, uint16_t, VT_UInt16, u16)
VESK_VARIANT_FACTORY(FromUInt32, uint32_t, VT_UInt32, u32)
VESK_VARIANT_FACTORY(FromUInt64, uint64_t, VT_UInt64, u64)
VESK_VARIANT_FACTORY(FromByte, uint8_t, VT_Byte, u8)
VESK_VARIANT_FACTORY(FromSByte, int8_t, VT_SByte, i8)
VESK_VARIANT_FACTORY(FromDouble, double, VT_Double, f64)
VESK_VARIANT_FACTORY(FromFloat, float, VT_Float, f32)
#undef VESK_VARIANT_FACTORY

Variant Variant::FromBool(bool v) {
    _VARIANT raw = Zeroed(VT_Bool);
    raw.i32 = v ? 1 : 0;
    return Adopt(raw);
}

Variant Variant::FromInt128(uint64_t low, uint64_t high) {
    _VARIANT raw = Zeroed(VT_Int128);
    raw.u128[0] = low;
    raw.u128[1] = high;
    return Adopt(raw);
}

Variant Variant::FromUInt128(uint64_t low, uint64_t high) {
    Variant v = FromInt128(low, high);
    v.raw_.type = VT_UInt128;
    return v;
}

Variant Variant::FromUuid(const Uuid& v) {
    _VARIANT raw = Zeroed(VT_Uuid);
    std::memcpy(raw.bytes, v.bytes, sizeof v.bytes);
    return Adopt(raw);
}

Variant Variant::FromString(std::string_view text) {
    Core::Ptr<Interfaces::IString> s;
    if (!Data_CreateString(s.Receive())) {
        throw std::runtime_error("Failed to create string");
    }
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return s->Set(text.data(), text.size(), e); });
    return FromObject(s, VT_String);
}

Variant Variant::FromCompactString(std::string_view text) {
    if (text.size() < sizeof(_VARIANT::text) && text.find('\0') == std::string_view::npos) {
        return FromInlineString(text);
    }
    return FromString(text);
}

Variant Variant::FromInlineString(std::string_view text) {
    if (text.size() >= sizeof(_VARIANT::text) || text.find('\0') != std::string_view::npos) {
        throw std::runtime_error("Text does not fit into the record");
    }
    _VARIANT raw = Zeroed(VT_String);
    std::memcpy(raw.text, text.data(), text.size());
    return Adopt(raw);
}

Variant Variant::FromObject(Core::IObject* object, uint16_t typeCode) {
    _VARIANT raw = Zeroed(VF_Reference | typeCode);
    raw.object = object;
    if (object != nullptr) {
        object->AddReference();
    }
    return Adopt(raw);
}

Variant Variant::FromPointer(void* pointer, uint16_t typeCode) {
    _VARIANT raw = Zeroed(VF_Pointer | typeCode);
    raw.pointer = pointer;
    return Adopt(raw);
}

void Variant::CheckDefined() const {
    if (Type() > VT_Reserved) {
        throw std::runtime_error(kUndefined);
    }
}

bool Variant::HasData() const noexcept {
    if (Type() == VT_Null) {
        return false;
    }
    return Form() == VF_Inline || raw_.pointer != nullptr;
}

bool Variant::IsPrimitive() const {
    CheckDefined();
    return IsPrimitiveCode(Type());
}

uint64_t Variant::Size() const {
    CheckDefined();
    if (!HasData()) {
        return 0;
    }
    switch (Type()) {
        case VT_Int16:
        case VT_UInt16:
            return 2;
        case VT_Int32:
        case VT_UInt32:
        case VT_Float:
            return 4;
        case VT_Int64:
        case VT_UInt64:
        case VT_Double:
            return 8;
        case VT_Int128:
        case VT_UInt128:
        case VT_Uuid:
            return 16;
        case VT_Byte:
        case VT_SByte:
        case VT_Bool:
            return 1;
        case VT_Array:
            return AsArray()->GetByteSize();
        case VT_String:
        case VT_JsonDocument:
        case VT_XmlDocument:
            return Text().size();
        default:
            throw std::runtime_error(".size() method not supported on current variant type");
    }
}

const void* Variant::Data() const {
    CheckDefined();
    if (!HasData()) {
        throw std::runtime_error("Variant contains no data. It's null!");
    }
    if (IsPrimitiveCode(Type()) && Form() == VF_Inline) {
        return raw_.bytes;
    }
    if (Type() == VT_Array) {
        return AsArray()->GetData();
    }
    if (IsTextType(Type())) {
        if (Form() == VF_Inline) {
            return raw_.text;
        }
        textCache_ = Text();
        return textCache_.c_str();
    }
    throw std::runtime_error(".data() method not supported on current variant type");
}

int64_t Variant::ToInt64() const {
    CheckDefined();
    if (Form() != VF_Inline) {
        throw std::runtime_error(kNotValue);
    }
    switch (Type()) {
        case VT_String:
            throw std::runtime_error(kStringNotPrimitive);
        case VT_Int16:
            return raw_.i16;
        case VT_UInt16:
            return raw_.u16;
        case VT_Int32:
        case VT_Bool:
            return raw_.i32;
        case VT_UInt32:
            return raw_.u32;
        case VT_Byte:
            return raw_.u8;
        case VT_SByte:
            return raw_.i8;
        case VT_Double:
            return static_cast<int64_t>(raw_.f64);
        case VT_Float:
            return static_cast<int64_t>(raw_.f32);
        default:
            return raw_.i64;  // 64- and 128-bit values and UUIDs: their low 64 bits
    }
}

double Variant::ToDouble() const {
    CheckDefined();
    if (Form() != VF_Inline) {
        throw std::runtime_error(kNotValue);
    }
    switch (Type()) {
        case VT_String:
            throw std::runtime_error(kStringNotPrimitive);
        case VT_UInt64:
        case VT_UInt128:
        case VT_Uuid:
            return static_cast<double>(raw_.u64);
        case VT_Int64:
        case VT_Int128:
            return static_cast<double>(raw_.i64);
        case VT_Double:
            return raw_.f64;
        case VT_Float:
            return raw_.f32;
        default:
            if (Type() >= VT_Int16 && Type() <= VT_Bool) {
                return static_cast<double>(ToInt64());
            }
            throw std::runtime_error("Invalid value!");
    }
}

Uuid Variant::ToUuid() const {
    CheckDefined();
    if (Type() == VT_Uuid && Form() == VF_Inline) {
        Uuid uuid;
        std::memcpy(uuid.bytes, raw_.bytes, sizeof uuid.bytes);
        return uuid;
    }
    if (Type() == VT_String && HasData()) {
        return UuidFromText(Text());
    }
    throw std::runtime_error("Value is not a UUID: " + ToString());
}

std::string Variant::Text() const {
    CheckDefined();
    if (!IsTextType(Type()) || !HasData()) {
        return {};
    }
    if (Form() == VF_Inline) {
        return std::string(InlineText(raw_));
    }
    switch (Type()) {
        case VT_JsonDocument:
            return RenderDocument<Interfaces::IJsonDocument>(raw_.object);
        case VT_XmlDocument:
            return RenderDocument<Interfaces::IXmlDocument>(raw_.object);
        default:
            return StringOf(raw_.object);
    }
}

Core::Ptr<Core::IObject> Variant::ObjectOf() const {
    CheckDefined();
    if (!HasData()) {
        return {};
    }
    if (Form() != VF_Reference) {
        throw std::runtime_error("Must be reference type! Must implement Core::IObject interface!");
    }
    return Core::Ptr<Core::IObject>(raw_.object);
}

namespace {

template <class T>
Core::Ptr<T> TypedObject(const Variant& v, uint16_t code, const char* wrongType, const char* wrongObject) {
    if (v.Type() != code) {
        throw std::runtime_error(wrongType);
    }
    if (!v.HasData()) {
        return {};
    }
    if (v.Form() == VF_Inline) {
        throw std::runtime_error(kStringNotPrimitive);
    }
    T* typed = dynamic_cast<T*>(v.Raw().object);
    if (typed == nullptr) {
        throw std::runtime_error(wrongObject);
    }
    return Core::Ptr<T>(typed);
}

}  // namespace

Core::Ptr<Interfaces::IString> Variant::AsString() const {
    CheckDefined();
    if (Type() == VT_String && Form() == VF_Inline) {
        throw std::runtime_error(kStringNotPrimitive);
    }
    if (!HasData()) {
        return {};
    }
    auto* s = Form() == VF_Reference ? dynamic_cast<Interfaces::IString*>(raw_.object) : nullptr;
    if (s == nullptr) {
        throw std::runtime_error("Object does not implement Interfaces::IString interface!");
    }
    return Core::Ptr<Interfaces::IString>(s);
}

Core::Ptr<Interfaces::IDateTime> Variant::AsDateTime() const {
    CheckDefined();
    return TypedObject<Interfaces::IDateTime>(
        *this, VT_DateTime, "Must be datetime type! Meaning: Must implement Data::IDateTime interface",
        "Object does not implement Interfaces::IDateTime interface!");
}

Core::Ptr<Interfaces::IJsonDocument> Variant::AsJson() const {
    CheckDefined();
    return TypedObject<Interfaces::IJsonDocument>(
        *this, VT_JsonDocument, "Must be json type! Meaning: Must implement Data::IJsonDocument interface",
        "Object does not implement Interfaces::IJsonDocument interface!");
}

Core::Ptr<Interfaces::IXmlDocument> Variant::AsXml() const {
    CheckDefined();
    return TypedObject<Interfaces::IXmlDocument>(
        *this, VT_XmlDocument, "Must be xml type! Meaning: Must implement Data::IXmlDocument interface",
        "Object does not implement Interfaces::IXmlDocument interface!");
}

Core::Ptr<Core::IErrorCode> Variant::AsErrorCode() const {
    CheckDefined();
    return TypedObject<Core::IErrorCode>(*this, VT_ErrorCode,
                                         "Must be ErrorCode type! Meaning: Must implement Core::IErrorCode interface",
                                         "Object does not implement Core::IErrorCode interface!");
}

Core::Ptr<Interfaces::IArray> Variant::AsArray() const {
    CheckDefined();
    return TypedObject<Interfaces::IArray>(*this, VT_Array, "Must be array type!",
                                           "Object does not implement Interfaces::IArray interface!");
}

const char* VariantTypeName(uint32_t typeCode) {
    static const char* const names[] = {
        "Unknown",      "Invalid",     "Null",    "Int16",     "Int32",      "Int64",      "Int128",
        "UInt16",       "UInt32",      "UInt64",  "UInt128",   "Byte",       "SByte",      "Double",
        "Float",        "Bool",        "Pointer", "IObject",   "Array",      "String",     "DateTime",
        "JsonDocument", "XmlDocument", "Uuid",    "ErrorCode", "ObjectList", "StringList", "Reserved"};
    return typeCode <= VT_Reserved ? names[typeCode] : "";
}

std::string UuidToText(const Uuid& uuid) {
    return Core::FormatUuidText(uuid.bytes);
}

Uuid UuidFromText(std::string_view text) {
    Uuid uuid{};
    // The plain form, which is what databases hold, needs no trimming.
    constexpr size_t kPlainLength = 36;
    if (text.size() == kPlainLength && Core::ParseUuidText(text, uuid.bytes)) {
        return uuid;
    }
    static constexpr std::string_view urn = "urn:uuid:";
    if (text.size() > 8 && text.substr(0, urn.size()) == urn) {
        text.remove_prefix(urn.size());
    } else {
        static constexpr std::string_view trimmed = " {}";
        const auto first = text.find_first_not_of(trimmed);
        text = first == std::string_view::npos ? std::string_view()
                                               : text.substr(first, text.find_last_not_of(trimmed) - first + 1);
    }
    if (!Core::ParseUuidText(text, uuid.bytes)) {
        throw std::runtime_error("Invalid UUID text: " + std::string(text));
    }
    return uuid;
}

}  // namespace Data
