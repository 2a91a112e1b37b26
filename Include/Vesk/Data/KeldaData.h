#pragma once
// Factories of the data-object library (KeldaData). Each hands out a new object with one reference
// owned by the caller under the usual out-pointer rules: the out-pointer must point to null, and an
// error address, where there is one, may be null or must point to null.
// Thread safety: the factories are safe to call from any thread. A data object is not: use it from one
// thread at a time, or serialise its callers through its Lock and Unlock; distinct objects are
// independent, and references may be added and released on any thread.
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Data/IArray.h"
#include "Vesk/Data/IDateTime.h"
#include "Vesk/Data/IDocument.h"
#include "Vesk/Data/IEnum.h"
#include "Vesk/Data/IHashing.h"
#include "Vesk/Data/IObjectList.h"
#include "Vesk/Data/IProperties.h"
#include "Vesk/Data/IString.h"
#include "Vesk/Data/ITable.h"
#include "Vesk/Data/Structures.h"
#include "Vesk/Export.h"

KELDA_DATA_API bool Data_CreateString(Data::Interfaces::IString** string);
KELDA_DATA_API bool Data_CreateArray(Data::Interfaces::IArray** array);
KELDA_DATA_API bool Data_CreateTable(Data::Interfaces::ITable** table, Core::IErrorCode** error);
KELDA_DATA_API bool Data_CreateObjectList(Data::Interfaces::IObjectList** list);
KELDA_DATA_API bool Data_CreateVariantList(Data::Interfaces::IVariantList** list);
KELDA_DATA_API bool Data_CreateJsonDocument(Data::Interfaces::IJsonDocument** document);
KELDA_DATA_API bool Data_CreateXmlDocument(Data::Interfaces::IXmlDocument** document);
KELDA_DATA_API bool Data_CreateProperties(Data::Interfaces::IProperties** properties, Core::IErrorCode** error);
KELDA_DATA_API bool Data_CreateVariantDictionary(Data::Interfaces::IVariantDictionary** dictionary,
                                                 Core::IErrorCode** error);
// The text may contain zero bytes; length is its byte length.
KELDA_DATA_API bool Data_CreateSecureString(Data::Interfaces::ISecureString** string, const char* text, uint64_t length,
                                            Core::IErrorCode** error);
KELDA_DATA_API bool Data_CreateEnum(Data::Interfaces::IEnum** value, const char* text, Core::IErrorCode** error);
// kind 0 is SHA-256, the only kind there is.
KELDA_DATA_API bool Data_CreateHashingInstanceSha2(int32_t kind, Data::Interfaces::IHashing** hashing,
                                                   Core::IErrorCode** error);
KELDA_DATA_API bool Data_CreateCurrentDateTime(Data::Interfaces::IDateTime** dateTime);
// Accepts ISO 8601 date-times with a Z or numeric offset, with or without fractional seconds.
KELDA_DATA_API bool Data_CreateDateTimeFromIso8601(const char* text, Data::Interfaces::IDateTime** dateTime,
                                                   Core::IErrorCode** error);
KELDA_DATA_API bool Data_CreateDateTimeFromPosixTime(int64_t seconds, Data::Interfaces::IDateTime** dateTime,
                                                     Core::IErrorCode** error);
KELDA_DATA_API bool Data_CreateDateTimeFromPosixMilliseconds(int64_t milliseconds,
                                                             Data::Interfaces::IDateTime** dateTime,
                                                             Core::IErrorCode** error);
// A Windows FILETIME: 100-nanosecond intervals since 1601-01-01T00:00:00Z.
KELDA_DATA_API bool Data_CreateDateTimeFromFileTime(uint64_t fileTime, Data::Interfaces::IDateTime** dateTime,
                                                    Core::IErrorCode** error);
// A random (version 4) UUID from the system's cryptographic generator.
KELDA_DATA_API bool Data_NewUuid(Data::Structures::_UUID* uuid);
// Lower-case hyphenated text, 36 characters.
KELDA_DATA_API bool Data_UuidToString(const Data::Structures::_UUID* uuid, Data::Interfaces::IString** text);
// Parses 32 hexadecimal digits, with or without the four hyphens, in either case.
KELDA_DATA_API bool Data_UuidFromString(const char* text, Data::Structures::_UUID* uuid, Core::IErrorCode** error);
