#pragma once
// Property values of the kinds that have a stored form, made and shown the same way by every test of them.
#include <cstdint>
#include <string>
#include <vector>

#include "Core/DataObjects.h"
#include "Core/Guard.h"
#include "Core/Variant.h"
#include "Vesk/Data/KeldaData.h"

namespace WorkspaceTest {

using Bytes = std::vector<uint8_t>;

inline Bytes BytesOf(const Core::Ptr<Data::Interfaces::IArray>& array) {
    return array && array->GetByteSize() != 0 ? Bytes(array->GetData(), array->GetData() + array->GetByteSize())
                                              : Bytes();
}

inline Data::Variant SecureString(const std::string& text) {
    Core::Ptr<Data::Interfaces::ISecureString> secure;
    Core::ThrowIfFailed(
        [&](Core::IErrorCode** e) { return Data_CreateSecureString(secure.Receive(), text.data(), text.size(), e); });
    return Data::Variant::FromObject(secure, Data::Structures::VT_IObject);
}

inline Data::Variant DateTime(uint64_t fileTime) {
    Core::Ptr<Data::Interfaces::IDateTime> dateTime;
    Core::ThrowIfFailed(
        [&](Core::IErrorCode** e) { return Data_CreateDateTimeFromFileTime(fileTime, dateTime.Receive(), e); });
    return Data::Variant::FromObject(dateTime, Data::Structures::VT_DateTime);
}

inline Data::Variant StringList(const std::vector<std::string>& items) {
    Core::Ptr<Data::Interfaces::IObjectList> list;
    Data_CreateObjectList(list.Receive());
    for (const std::string& item : items) {
        list->Append(Data::NewString(item).Get(), nullptr);
    }
    return Data::Variant::FromObject(list, Data::Structures::VT_StringList);
}

// What a value holds, as text: the text of secure strings and enumerations, the bytes of arrays.
inline std::string Shown(const Data::Variant& value) {
    if (value.Type() == Data::Structures::VT_Array) {
        const Bytes bytes = BytesOf(value.AsArray());
        return std::string(bytes.begin(), bytes.end());
    }
    if (value.Type() == Data::Structures::VT_IObject) {
        auto object = value.AsObject<Core::IObject>();
        if (auto secure = object.TryCast<Data::Interfaces::ISecureString>()) {
            return std::string(secure->GetText(), secure->GetLength());
        }
        if (auto enumeration = object.TryCast<Data::Interfaces::IEnum>()) {
            return enumeration->GetText();
        }
    }
    return value.ToString();
}

}  // namespace WorkspaceTest
