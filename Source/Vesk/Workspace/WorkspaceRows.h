#pragma once
// Reading and writing the cells of workspace rows. A row loaded from the database holds Uuid values in its
// UUID columns and date-time objects in its DATETIME columns; a row made here holds their texts. Every
// reader below accepts both. Stateless; safe from any thread on rows that thread owns.
#include <string>

#include "Core/Ptr.h"
#include "Core/Variant.h"
#include "Vesk/Data/IDateTime.h"
#include "Vesk/Data/ITable.h"

namespace Vesk::Workspace::impl {

// The lookup key of a row: the UUID as a value (the tables find a Uuid value and its text as one key).
Data::Variant KeyOf(const Data::Uuid& uuid);
// A UUID as the text that new rows store.
Data::Variant UuidCell(const Data::Uuid& uuid);
// The 16 bytes of a UUID as a hashable key.
std::string UuidKey(const Data::Uuid& uuid);
// True with the UUID when the cell holds one (as a value or as its text); false for NULL or an empty text.
bool UuidOfCell(const Data::Variant& cell, Data::Uuid* uuid);
// The cell's text: empty for NULL, the characters of a text, the text form of anything else.
std::string TextOfCell(const Data::Variant& cell);
// True when the cell holds a text equal to text.
bool CellTextEquals(const Data::Variant& cell, const std::string& text);
// A date-time cell (an object or an ISO 8601 text) as a new date-time object.
Core::Ptr<Data::Interfaces::IDateTime> DateTimeOfCell(const Data::Variant& cell);
// Sets a cell by column name; throws "Error while setting cell value" when the row refuses it.
void SetCellNamed(const Core::Ptr<Data::Interfaces::IRow>& row, const char* column, const Data::Variant& value);

}  // namespace Vesk::Workspace::impl
