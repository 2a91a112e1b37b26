// The exported factories. Each one checks its arguments, builds the object and hands it out with
// the one reference it was created with; any failure becomes a false result (and an error object
// where the caller gave an address for one).
#include <cstring>
#include <stdexcept>

#include "Array.h"
#include "Core/Guard.h"
#include "Core/StringFormat.h"
#include "DateTime.h"
#include "Enum.h"
#include "Hashing.h"
#include "JsonDocument.h"
#include "ObjectList.h"
#include "Properties.h"
#include "SecureString.h"
#include "String.h"
#include "Table.h"
#include "Uuid.h"
#include "VariantDictionary.h"
#include "VariantList.h"
#include "Vesk/Data/KeldaData.h"
#include "XmlDocument.h"

using namespace Data;

namespace {

// Builds a T and hands it out through out.
template <class T, class Interface, class... Args>
void Create(Interface** out, Args&&... args) {
    Core::CheckOut(out);
    Core::HandOut(Core::MakeObject<T>(std::forward<Args>(args)...), out);
}

void CreateDateTime(int64_t ticks, Interfaces::IDateTime** dateTime) {
    Create<impl::DateTimeImpl>(dateTime, ticks);
}

}  // namespace

bool Data_CreateString(Interfaces::IString** string) {
    return Core::AbiGuard(nullptr, [&] { Create<impl::StringImpl>(string); });
}

bool Data_CreateArray(Interfaces::IArray** array) {
    return Core::AbiGuard(nullptr, [&] { Create<impl::ArrayImpl>(array); });
}

bool Data_CreateTable(Interfaces::ITable** table, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { Create<impl::TableImpl>(table); });
}

bool Data_CreateObjectList(Interfaces::IObjectList** list) {
    return Core::AbiGuard(nullptr, [&] { Create<impl::ObjectListImpl>(list); });
}

bool Data_CreateVariantList(Interfaces::IVariantList** list) {
    return Core::AbiGuard(nullptr, [&] { Create<impl::VariantListImpl>(list); });
}

bool Data_CreateJsonDocument(Interfaces::IJsonDocument** document) {
    return Core::AbiGuard(nullptr, [&] { Create<impl::JsonDocumentImpl>(document); });
}

bool Data_CreateXmlDocument(Interfaces::IXmlDocument** document) {
    return Core::AbiGuard(nullptr, [&] { Create<impl::XmlDocumentImpl>(document); });
}

bool Data_CreateProperties(Interfaces::IProperties** properties, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { Create<impl::PropertiesImpl>(properties); });
}

bool Data_CreateVariantDictionary(Interfaces::IVariantDictionary** dictionary, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] { Create<impl::VariantDictionaryImpl>(dictionary); });
}

bool Data_CreateSecureString(Interfaces::ISecureString** string, const char* text, uint64_t length,
                             Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        if (length != 0) {
            Core::CheckNotNull(text);
        }
        Core::CheckOut(string);
        Core::HandOut(Core::MakeObject<impl::SecureStringImpl>(text, length), string);
    });
}

bool Data_CreateEnum(Interfaces::IEnum** value, const char* text, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(text);
        Core::CheckOut(value);
        Core::HandOut(Core::MakeObject<impl::EnumImpl>(text), value);
    });
}

bool Data_CreateHashingInstanceSha2(int32_t kind, Interfaces::IHashing** hashing, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        if (kind != 0) {
            throw std::runtime_error(Core::StringFormat("Unsupported SHA-2 kind %d: only 0 (SHA-256) exists", kind));
        }
        Create<impl::Sha256HashingImpl>(hashing);
    });
}

bool Data_CreateCurrentDateTime(Interfaces::IDateTime** dateTime) {
    return Core::AbiGuard(nullptr, [&] { CreateDateTime(impl::CurrentTicks(), dateTime); });
}

bool Data_CreateDateTimeFromIso8601(const char* text, Interfaces::IDateTime** dateTime, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(text);
        Core::CheckOut(dateTime);
        CreateDateTime(impl::ParseIso8601(text), dateTime);
    });
}

bool Data_CreateDateTimeFromPosixTime(int64_t seconds, Interfaces::IDateTime** dateTime, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(dateTime);
        CreateDateTime(impl::TicksFromPosix(seconds, impl::kTicksPerSecond), dateTime);
    });
}

bool Data_CreateDateTimeFromPosixMilliseconds(int64_t milliseconds, Interfaces::IDateTime** dateTime,
                                              Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(dateTime);
        CreateDateTime(impl::TicksFromPosix(milliseconds, impl::kTicksPerMillisecond), dateTime);
    });
}

bool Data_CreateDateTimeFromFileTime(uint64_t fileTime, Interfaces::IDateTime** dateTime, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckOut(dateTime);
        if (fileTime > static_cast<uint64_t>(INT64_MAX)) {
            throw std::runtime_error(Core::StringFormat("File time %llu is out of the representable range",
                                                        static_cast<unsigned long long>(fileTime)));
        }
        CreateDateTime(static_cast<int64_t>(fileTime), dateTime);
    });
}

bool Data_NewUuid(Structures::_UUID* uuid) {
    return Core::AbiGuard(nullptr, [&] {
        Core::CheckNotNull(uuid);
        *uuid = impl::NewUuid();
    });
}

bool Data_UuidToString(const Structures::_UUID* uuid, Interfaces::IString** text) {
    return Core::AbiGuard(nullptr, [&] {
        Core::CheckNotNull(uuid);
        Core::CheckOut(text);
        Core::HandOut(impl::MakeString(impl::FormatUuid(*uuid)), text);
    });
}

bool Data_UuidFromString(const char* text, Structures::_UUID* uuid, Core::IErrorCode** error) {
    return Core::AbiGuard(error, [&] {
        Core::CheckNotNull(text);
        Core::CheckNotNull(uuid);
        *uuid = impl::ParseUuid(text);
    });
}
