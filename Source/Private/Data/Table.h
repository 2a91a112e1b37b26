#pragma once
// The stored form of property values: one blob per value, laid out by the property's declared value
// type, and the rows of the Properties table that hold a property set (nested sets included).
// These are free functions without state of their own: safe for concurrent use as long as each call
// works on objects that no other thread changes at the same time.
#include <cstdint>
#include <string_view>
#include <vector>

#include "Core/Ptr.h"
#include "Core/Variant.h"
#include "Private/Data/DataObjectNames.h"
#include "Vesk/Data/IArray.h"
#include "Vesk/Data/IProperties.h"
#include "Vesk/Data/IString.h"
#include "Vesk/Data/ITable.h"

namespace Vesk::Data {

using PropertyRows = std::vector<Core::Ptr<Interfaces::IRow>>;

// The interface type that marks a Properties row whose value is a nested property set; the row's
// PropertyValue then holds the text of the UUID that owns the nested set's rows.
inline constexpr const char* kNestedPropertiesInterface = "IProperties";

// The secret's bytes as a new byte array (the AES key of secure strings); empty for a null secret.
Core::Ptr<Interfaces::IArray> SecretBytes(Interfaces::ISecureString* secret);

// The blob that stores value: a new byte array, the value's own array for an Array, or empty for a
// value that is not stored (no data, or a type without a stored form). A secure string is padded with
// zero bytes and encrypted under secret. Throws "Must be value type!" for a Bool (or any other
// primitive) held by reference, and the encryption's message when encrypting fails or secret is empty.
Core::Ptr<Interfaces::IArray> ValueToBlob(const Variant& value, Interfaces::IArray* secret);

// The value that blob stores under the declared value type and interface type; Null for an empty
// blob or a type without a stored form. Throws "Failed to read data from blob array due target type
// size being less than actual or size was beyond 8 bytes." for a blob whose size does not fit the
// type, "Json document is not valid!" for a string list that is not a JSON array, and the decryption's
// message for a secure string that was changed or encrypted under another secret.
Variant BlobToValue(Interfaces::IArray* blob, int32_t valueType, std::string_view interfaceType,
                    Interfaces::IArray* secret);

// Registers one property per row in properties, in row order, and sets the decoded values. A name
// that is already registered is logged at ERROR and skipped. Throws the collection's error when a
// registration or an assignment fails, and whatever BlobToValue throws.
void TableToProperties(Interfaces::IProperties* properties, const PropertyRows& rows, Interfaces::IArray* secret);

// Appends to table (which has the Properties columns) one new row per property of properties, owned by
// owner, and the rows of every nested set under a new owner UUID of its own. Throws "Error while setting
// cell value" when a cell is refused, and whatever ValueToBlob throws; a set that contains itself is
// refused. Rows already appended stay when it throws.
void PropertiesToRows(Interfaces::IProperties* properties, const Uuid& owner, Interfaces::ITable* table,
                      Interfaces::IArray* secret);

// A new property set with the properties of owner found among rows (any order, any owners), nested
// sets rebuilt from the rows of their own owners. Throws as TableToProperties does, and when nested
// sets refer to each other in a circle.
Core::Ptr<Interfaces::IProperties> PropertiesOfOwner(const Uuid& owner, const PropertyRows& rows,
                                                     Interfaces::IArray* secret);

}  // namespace Vesk::Data
