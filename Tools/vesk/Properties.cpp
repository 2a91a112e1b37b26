#include "Properties.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <istream>
#include <sstream>

#include "Library.h"
#include "Vesk/Data/IDateTime.h"
#include "Vesk/Data/IDocument.h"
#include "Vesk/Data/IEnum.h"

namespace VeskTool {
namespace {

namespace DS = Data::Structures;
namespace DI = Data::Interfaces;

// The stored interface type that marks a value the workspace encrypts with its secret.
constexpr const char* kSecureInterface = "Data::ISecureString";

// A value record that releases what it owns.
struct Value {
    DS::_VARIANT raw{};
    Value() { raw.type = DS::VT_Null; }
    ~Value() { DS::VariantClear(&raw); }
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;
};

template <class Number>
bool ParseNumber(const std::string& text, Number& number) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    return error == std::errc() && stop == end && !text.empty();
}

// The oldest date-time a stored value can hold: it is stored as 100-nanosecond intervals since then.
constexpr double kEarliestPosixTime = -11'644'473'600.0;  // 1601-01-01T00:00:00Z

// The date-time the ISO 8601 text names; empty when it names none or one before the stored range.
Handle<DI::IDateTime> ParseDateTime(const std::string& text) {
    Handle<DI::IDateTime> dateTime;
    Handle<Core::IErrorCode> ignored;
    if (!Data_CreateDateTimeFromIso8601(text.c_str(), dateTime.Out(), ignored.Out()) ||
        dateTime->GetPosixTime() < kEarliestPosixTime) {
        dateTime.Reset();
    }
    return dateTime;
}

// The JSON document of text; empty when text is not one JSON document.
Handle<DI::IJsonDocument> ParseJson(const std::string& text) {
    Handle<DI::IJsonDocument> document;
    if (!Data_CreateJsonDocument(document.Out())) {
        throw LibraryError("A JSON document could not be made");
    }
    if (!document->Load(text.data(), text.size(), nullptr) || !document->IsValid()) {
        document.Reset();
    }
    return document;
}

// Hands the reference that handle holds over to value, as an object of the given type.
template <class T>
void HandOver(Handle<T>& handle, DS::VariantType type, Value& value) {
    if (!handle) {
        throw LibraryError("The value could not be made");
    }
    value.raw.type = uint32_t{type} | DS::VF_Reference;
    value.raw.object = handle.Get();
    handle.Get()->AddReference();
    handle.Reset();
}

// Fills value from a parsed argument; the secure text is wiped from the line once the object holds it.
void FillValue(const PropertyArgument& argument, std::string& secureLine, Value& value) {
    if (argument.type == "int") {
        value.raw.type = DS::VT_Int64;
        ParseNumber(argument.value, value.raw.i64);
    } else if (argument.type == "double") {
        value.raw.type = DS::VT_Double;
        ParseNumber(argument.value, value.raw.f64);
    } else if (argument.type == "bool") {
        value.raw.type = DS::VT_Bool;
        value.raw.i32 = argument.value == "true" ? 1 : 0;
    } else if (argument.type == "datetime") {
        auto dateTime = ParseDateTime(argument.value);
        HandOver(dateTime, DS::VT_DateTime, value);
    } else if (argument.type == "uuid") {
        const DS::_UUID uuid = ParseUuid(argument.value, "value");
        value.raw.type = DS::VT_Uuid;
        std::memcpy(value.raw.bytes, uuid.bytes, sizeof uuid.bytes);
    } else if (argument.type == "json") {
        auto document = ParseJson(argument.value);
        HandOver(document, DS::VT_JsonDocument, value);
    } else if (argument.type == "secure") {
        DI::ISecureString* secure = nullptr;
        Call(
            [&](Core::IErrorCode** e) {
                return Data_CreateSecureString(&secure, secureLine.data(), secureLine.size(), e);
            },
            "A secure text could not be made");
        std::memset(secureLine.data(), 0, secureLine.size());
        value.raw.type = uint32_t{DS::VT_IObject} | DS::VF_Reference;
        value.raw.object = secure;
    } else {
        DI::IString* text = nullptr;
        if (!Data_CreateString(&text)) {
            throw LibraryError("A text could not be made");
        }
        value.raw.type = uint32_t{DS::VT_String} | DS::VF_Reference;
        value.raw.object = text;
        Call([&](Core::IErrorCode** e) { return text->Set(argument.value.data(), argument.value.size(), e); },
             "A text could not be made");
    }
}

// The argument's type as the property set registers it.
int32_t ValueTypeOf(const std::string& type) {
    if (type == "int") {
        return DS::VT_Int64;
    }
    if (type == "double") {
        return DS::VT_Double;
    }
    if (type == "bool") {
        return DS::VT_Bool;
    }
    if (type == "datetime") {
        return DS::VT_DateTime;
    }
    if (type == "uuid") {
        return DS::VT_Uuid;
    }
    if (type == "json") {
        return DS::VT_JsonDocument;
    }
    return type == "secure" ? DS::VT_IObject : DS::VT_String;
}

// True when value is text of the type named (false for a type that is not known).
bool ValueIsOfType(const std::string& type, const std::string& value) {
    int64_t integer = 0;
    double real = 0;
    DS::_UUID uuid{};
    Handle<Core::IErrorCode> ignored;
    return type == "string" || (type == "int" && ParseNumber(value, integer)) ||
           (type == "double" && ParseNumber(value, real)) ||
           (type == "bool" && (value == "true" || value == "false")) || (type == "datetime" && ParseDateTime(value)) ||
           (type == "uuid" && Data_UuidFromString(value.c_str(), &uuid, ignored.Out())) ||
           (type == "json" && ParseJson(value));
}

// What a value of the type looks like, for the message about one that is not.
std::string TypeHint(const std::string& type) {
    if (type == "datetime") {
        return " (ISO 8601 from 1601 on, such as 2026-12-06T14:30:00Z or 2026-12-06T15:30:00.250+01:00)";
    }
    if (type == "uuid") {
        return " (32 hexadecimal digits, with or without hyphens)";
    }
    return type == "json" ? " (one JSON document)" : "";
}

std::string DocumentText(Core::IObject* object) {
    Handle<DI::IString> text;
    bool rendered = false;
    if (auto* json = dynamic_cast<DI::IJsonDocument*>(object)) {
        rendered = json->Render(text.Out(), nullptr);
    } else if (auto* xml = dynamic_cast<DI::IXmlDocument*>(object)) {
        rendered = xml->Render(text.Out(), nullptr);
    }
    return rendered && text ? TextOf(text.Get()) : std::string();
}

ShownValue Shown(const DS::_VARIANT& raw, const std::string& interfaceType);

ShownValue ShownObject(Core::IObject* object, const std::string& interfaceType) {
    ShownValue shown;
    if (interfaceType.find("ISecureString") != std::string::npos || dynamic_cast<DI::ISecureString*>(object)) {
        shown.kind = ShownValue::Secret;
    } else if (auto* set = dynamic_cast<DI::IProperties*>(object)) {
        shown.kind = ShownValue::Set;
        shown.members = ShowProperties(set);
    } else if (auto* enumeration = dynamic_cast<DI::IEnum*>(object)) {
        shown.kind = ShownValue::Text;
        shown.text = enumeration->GetText() != nullptr ? enumeration->GetText() : "";
    } else {
        shown.kind = ShownValue::Text;
        shown.text = "<" + (interfaceType.empty() ? std::string("object") : interfaceType) + ">";
    }
    return shown;
}

ShownValue Shown(const DS::_VARIANT& raw, const std::string& interfaceType) {
    ShownValue shown;
    const uint32_t form = DS::VariantFormOf(raw);
    const bool inline_ = form == DS::VF_Inline;
    auto integer = [&](int64_t v) {
        shown.kind = ShownValue::Integer;
        shown.integer = v;
    };
    auto unsignedInteger = [&](uint64_t v) {
        shown.kind = ShownValue::Unsigned;
        shown.unsignedInteger = v;
    };
    auto text = [&](std::string v) {
        shown.kind = ShownValue::Text;
        shown.text = std::move(v);
    };
    switch (DS::VariantTypeCode(raw)) {
        case DS::VT_Int16:
            integer(raw.i16);
            break;
        case DS::VT_Int32:
            integer(raw.i32);
            break;
        case DS::VT_Int64:
            integer(raw.i64);
            break;
        case DS::VT_SByte:
            integer(raw.i8);
            break;
        case DS::VT_UInt16:
            unsignedInteger(raw.u16);
            break;
        case DS::VT_UInt32:
            unsignedInteger(raw.u32);
            break;
        case DS::VT_UInt64:
            unsignedInteger(raw.u64);
            break;
        case DS::VT_Byte:
            unsignedInteger(raw.u8);
            break;
        case DS::VT_Double:
            shown.kind = ShownValue::Real;
            shown.real = raw.f64;
            break;
        case DS::VT_Float:
            shown.kind = ShownValue::Real;
            shown.real = raw.f32;
            break;
        case DS::VT_Bool:
            shown.kind = ShownValue::Boolean;
            shown.boolean = raw.i32 != 0;
            break;
        case DS::VT_Uuid: {
            DS::_UUID uuid{};
            std::memcpy(uuid.bytes, raw.bytes, sizeof uuid.bytes);
            text(UuidText(uuid));
            break;
        }
        case DS::VT_String:
            if (inline_) {
                text(std::string(raw.text, strnlen(raw.text, sizeof raw.text)));
            } else if (auto* string = dynamic_cast<DI::IString*>(raw.object)) {
                text(TextOf(string));
            }
            break;
        case DS::VT_DateTime:
            if (auto* dateTime = inline_ ? nullptr : dynamic_cast<DI::IDateTime*>(raw.object)) {
                text(dateTime->GetText());
            }
            break;
        case DS::VT_JsonDocument:
            text(inline_ ? std::string(raw.text, strnlen(raw.text, sizeof raw.text)) : DocumentText(raw.object));
            shown.kind = ShownValue::Json;
            break;
        case DS::VT_XmlDocument:
            text(inline_ ? std::string(raw.text, strnlen(raw.text, sizeof raw.text)) : DocumentText(raw.object));
            break;
        case DS::VT_IObject:
            if (!inline_ && raw.object != nullptr) {
                shown = ShownObject(raw.object, interfaceType);
            }
            break;
        case DS::VT_Null:
        case DS::VT_Unknown:
            break;
        default:
            text("<value of type " + std::to_string(DS::VariantTypeCode(raw)) + ">");
            break;
    }
    return shown;
}

std::string RealText(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

// Registers the argument's property in set and sets its value; a secure one takes the next line of in.
void AddArgument(DI::IProperties* set, const PropertyArgument& argument, std::istream& in) {
    std::string line;
    const bool secure = argument.type == "secure";
    if (secure) {
        if (!std::getline(in, line)) {
            throw UsageError("no line on standard input for the secure property " + argument.name);
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
    }
    Call(
        [&](Core::IErrorCode** e) {
            return set->Register("", argument.name.c_str(), "", secure ? kSecureInterface : "", "",
                                 ValueTypeOf(argument.type), false, e);
        },
        "The property could not be registered");
    Value value;
    FillValue(argument, line, value);
    Call([&](Core::IErrorCode** e) { return set->SetValue(argument.name.c_str(), &value.raw, e); },
         "The property could not be set");
}

// Registers a copy of property in set, with its value when it has one.
void CopyProperty(DI::IProperties* set, DI::IProperty* property) {
    auto text = [](const char* value) { return value != nullptr ? value : ""; };
    const char* name = text(property->GetName());
    Call(
        [&](Core::IErrorCode** e) {
            return set->Register(text(property->GetGroup()), name, text(property->GetDescription()),
                                 text(property->GetInterfaceType()), text(property->GetClassType()),
                                 property->GetValueType(), property->IsRequired(), e);
        },
        "The property could not be registered");
    if (property->HasValue()) {
        Value value;
        property->GetValue(&value.raw);
        Call([&](Core::IErrorCode** e) { return set->SetValue(name, &value.raw, e); }, "The property could not be set");
    }
}

}  // namespace

PropertyArgument ParsePropertyArgument(const std::string& text) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos) {
        throw UsageError("property '" + text + "' is not KEY=VALUE");
    }
    PropertyArgument argument{text.substr(0, equals), "string", text.substr(equals + 1)};
    if (const size_t colon = argument.name.rfind(':'); colon != std::string::npos) {
        argument.type = argument.name.substr(colon + 1);
        argument.name.resize(colon);
    }
    if (argument.name.empty()) {
        throw UsageError("property '" + text + "' has no key");
    }
    if (!ValueIsOfType(argument.type, argument.value)) {
        const bool known = argument.type != "secure" && ValueTypeOf(argument.type) != DS::VT_String;
        throw UsageError(known ? "property " + argument.name + ": '" + argument.value + "' is not of type " +
                                     argument.type + TypeHint(argument.type)
                               : "property " + argument.name + ": unknown type '" + argument.type +
                                     "' (string, int, double, bool, datetime, uuid or json)");
    }
    return argument;
}

PropertyArgument SecurePropertyArgument(const std::string& name) {
    if (name.empty() || name.find('=') != std::string::npos) {
        throw UsageError("--secure-prop takes a key only; its value is read from standard input");
    }
    return {name, "secure", ""};
}

Handle<DI::IProperties> BuildProperties(const std::vector<PropertyArgument>& arguments, std::istream& in) {
    return EditedProperties(nullptr, arguments, {}, in);
}

Handle<DI::IProperties> EditedProperties(DI::IProperties* current, const std::vector<PropertyArgument>& assignments,
                                         const std::vector<std::string>& removed, std::istream& in) {
    Handle<DI::IProperties> set;
    Call([&](Core::IErrorCode** e) { return Data_CreateProperties(set.Out(), e); }, "A property set could not be made");
    std::vector<bool> assigned(assignments.size(), false);
    const uint64_t count = current != nullptr ? current->GetCount() : 0;
    for (uint64_t i = 0; i < count; ++i) {
        Handle<DI::IProperty> property;
        Call([&](Core::IErrorCode** e) { return current->GetProperty(i, property.Out(), e); },
             "The property could not be read");
        const std::string name = property->GetName() != nullptr ? property->GetName() : "";
        if (std::find(removed.begin(), removed.end(), name) != removed.end()) {
            continue;
        }
        const auto assignment = std::find_if(assignments.begin(), assignments.end(),
                                             [&](const PropertyArgument& argument) { return argument.name == name; });
        if (assignment != assignments.end()) {
            assigned[static_cast<size_t>(assignment - assignments.begin())] = true;
            AddArgument(set.Get(), *assignment, in);
        } else {
            CopyProperty(set.Get(), property.Get());
        }
    }
    for (size_t i = 0; i < assignments.size(); ++i) {
        if (!assigned[i]) {
            AddArgument(set.Get(), assignments[i], in);
        }
    }
    return set;
}

std::vector<std::pair<std::string, ShownValue>> ShowProperties(DI::IProperties* set) {
    std::vector<std::pair<std::string, ShownValue>> shown;
    const uint64_t count = set->GetCount();
    for (uint64_t i = 0; i < count; ++i) {
        Handle<DI::IProperty> property;
        Call([&](Core::IErrorCode** e) { return set->GetProperty(i, property.Out(), e); },
             "The property could not be read");
        const std::string name = property->GetName() != nullptr ? property->GetName() : "";
        const std::string interfaceType = property->GetInterfaceType() != nullptr ? property->GetInterfaceType() : "";
        Value value;
        if (property->HasValue()) {
            property->GetValue(&value.raw);
        }
        shown.emplace_back(name, Shown(value.raw, interfaceType));
    }
    return shown;
}

std::string ShownText(const ShownValue& value) {
    switch (value.kind) {
        case ShownValue::Null:
            return "(none)";
        case ShownValue::Text:
        case ShownValue::Json:
            return value.text;
        case ShownValue::Integer:
            return std::to_string(value.integer);
        case ShownValue::Unsigned:
            return std::to_string(value.unsignedInteger);
        case ShownValue::Real:
            return RealText(value.real);
        case ShownValue::Boolean:
            return value.boolean ? "true" : "false";
        case ShownValue::Secret:
            return "***";
        case ShownValue::Set: {
            std::string text = "{";
            for (const auto& [name, member] : value.members) {
                text += (text.size() > 1 ? ", " : "") + name + " = " + ShownText(member);
            }
            return text + "}";
        }
    }
    return "";
}

}  // namespace VeskTool
