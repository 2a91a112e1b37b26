// The text form of values and conversions between value types.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "Core/ErrorCode.h"
#include "Core/Guard.h"
#include "Core/StringFormat.h"
#include "Core/TypeName.h"
#include "Core/Variant.h"
#include "Vesk/Data/IObjectList.h"
#include "Vesk/Data/KeldaData.h"

namespace Data {

using namespace Structures;

namespace {

std::string ObjectText(Core::IObject* object);

std::string ListText(Core::IObject* object, bool quoted) {
    auto* list = dynamic_cast<Interfaces::IObjectList*>(object);
    std::string text = "[ ";
    for (uint64_t i = 0; list != nullptr && i < list->GetCount(); ++i) {
        Core::Ptr<Core::IObject> item;
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return list->Get(i, item.Receive(), e); });
        const std::string itemText = ObjectText(item.GetUnchecked());
        text += quoted ? Core::StringFormat("\"%s\" ", itemText.c_str()) : itemText + " ";
    }
    return text + "]";
}

// An object's own text: what it holds when it is a text-like object, else its type's name.
std::string ObjectText(Core::IObject* object) {
    if (object == nullptr) {
        return "null";
    }
    if (auto* s = dynamic_cast<Interfaces::IString*>(object)) {
        return std::string(s->GetText(), s->GetLength());
    }
    if (auto* d = dynamic_cast<Interfaces::IDateTime*>(object)) {
        return d->GetText();
    }
    if (auto* e = dynamic_cast<Core::IErrorCode*>(object)) {
        return std::string(e->GetMessage(), e->GetMessageLength());
    }
    if (dynamic_cast<Interfaces::IObjectList*>(object) != nullptr) {
        return ListText(object, false);
    }
    return Core::DemangledName(typeid(*object));
}

}  // namespace

std::string Variant::ToString() const {
    CheckDefined();
    const bool reference = Form() != VF_Inline;
    switch (Type()) {
        case VT_Int16:
        case VT_Int32:
        case VT_Int64:
        case VT_SByte:
        case VT_Byte:
        case VT_UInt16:
        case VT_UInt32:
            return std::to_string(ToInt64());
        case VT_UInt64:
            return std::to_string(raw_.u64);
        case VT_Int128:
            // Fixed text: hosts match on it.
            return "Int128_ToStringNotImplemented";
        case VT_UInt128:
            // Fixed text: hosts match on it.
            return "UInt128_ToStringNotImplemented";
        case VT_Double:
        case VT_Float:
            return Core::StringFormat("%f", ToDouble());
        case VT_Bool:
            if (reference) {
                throw std::runtime_error("Must be value type!");
            }
            return raw_.i32 == 1 ? "true" : "false";
        case VT_IObject:
            return ObjectText(reference ? raw_.object : nullptr);
        case VT_Array: {
            auto array = AsArray();
            return array ? Core::StringFormat("[Array] (Stride: %d, Count: %d)",
                                              static_cast<int>(array->GetElementSize()),
                                              static_cast<int>(array->GetCount()))
                         : std::string();
        }
        case VT_String:
            return Text();
        case VT_DateTime: {
            auto dateTime = AsDateTime();
            return dateTime ? std::string(dateTime->GetText()) : std::string();
        }
        case VT_Uuid:
            return UuidToText(ToUuid());
        case VT_ErrorCode:
            return HasData() ? ObjectText(raw_.object) : std::string();
        case VT_JsonDocument: {
            std::string text = Text();
            return text.empty() ? "{}" : text;
        }
        case VT_XmlDocument: {
            std::string text = Text();
            return text.empty() ? "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" : text;
        }
        case VT_ObjectList:
            return HasData() ? ListText(raw_.object, false) : std::string();
        case VT_StringList:
            return HasData() ? ListText(raw_.object, true) : std::string();
        default:
            return {};
    }
}

namespace {

bool ParseInteger(const std::string& text, int64_t& value) {
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && end == text.c_str() + text.size();
}

bool ParseReal(const std::string& text, double& value) {
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && end == text.c_str() + text.size();
}

bool IntegerToType(int64_t v, uint16_t typeCode, Variant& result) {
    switch (typeCode) {
        case VT_Int16:
            result = Variant::FromInt16(static_cast<int16_t>(v));
            return true;
        case VT_Int32:
            result = Variant::FromInt32(static_cast<int32_t>(v));
            return true;
        case VT_Int64:
            result = Variant::FromInt64(v);
            return true;
        case VT_UInt16:
            result = Variant::FromUInt16(static_cast<uint16_t>(v));
            return true;
        case VT_UInt32:
            result = Variant::FromUInt32(static_cast<uint32_t>(v));
            return true;
        case VT_UInt64:
            result = Variant::FromUInt64(static_cast<uint64_t>(v));
            return true;
        case VT_Byte:
            result = Variant::FromByte(static_cast<uint8_t>(v));
            return true;
        case VT_SByte:
            result = Variant::FromSByte(static_cast<int8_t>(v));
            return true;
        case VT_Bool:
            result = Variant::FromBool(v != 0);
            return true;
        default:
            return false;
    }
}

bool IsIntegerCode(uint16_t t) {
    return (t >= VT_Int16 && t <= VT_UInt64 && t != VT_Int128) || t == VT_Byte || t == VT_SByte || t == VT_Bool;
}

}  // namespace

bool TryConvert(const Variant& value, uint16_t typeCode, Variant& result) {
    try {
        const uint16_t from = value.Type();
        if (!value.HasData() || from == typeCode) {
            return false;
        }
        const bool numericSource =
            value.Form() == VF_Inline && from >= VT_Int16 && from <= VT_Bool && from != VT_Int128 && from != VT_UInt128;
        if (numericSource && IsIntegerCode(typeCode)) {
            return IntegerToType(value.ToInt64(), typeCode, result);
        }
        if (numericSource && (typeCode == VT_Double || typeCode == VT_Float)) {
            const double d = value.ToDouble();
            result = typeCode == VT_Double ? Variant::FromDouble(d) : Variant::FromFloat(static_cast<float>(d));
            return true;
        }
        if (typeCode == VT_String && (numericSource || from == VT_Uuid || from == VT_DateTime)) {
            result = Variant::FromString(value.ToString());
            return true;
        }
        if (from != VT_String) {
            return false;
        }
        const std::string text = value.Text();
        if (IsIntegerCode(typeCode)) {
            int64_t v = 0;
            if (typeCode == VT_Bool && (text == "true" || text == "false")) {
                result = Variant::FromBool(text == "true");
                return true;
            }
            return ParseInteger(text, v) && IntegerToType(v, typeCode, result);
        }
        if (typeCode == VT_Double || typeCode == VT_Float) {
            double d = 0;
            if (!ParseReal(text, d)) {
                return false;
            }
            result = typeCode == VT_Double ? Variant::FromDouble(d) : Variant::FromFloat(static_cast<float>(d));
            return true;
        }
        if (typeCode == VT_Uuid) {
            result = Variant::FromUuid(UuidFromText(text));
            return true;
        }
        if (typeCode == VT_DateTime) {
            Core::Ptr<Interfaces::IDateTime> dateTime;
            if (!Data_CreateDateTimeFromIso8601(text.c_str(), dateTime.Receive(), nullptr)) {
                return false;
            }
            result = Variant::FromObject(dateTime, VT_DateTime);
            return true;
        }
        return false;
    } catch (const std::exception&) {
        return false;  // a value that does not convert stays as it was
    }
}

}  // namespace Data
