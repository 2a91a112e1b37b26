#pragma once
// Inside Vesk the name Data means this library's own storage namespace (Vesk::Data), which would hide
// the data-object library's ::Data. Nominating ::Data here lets Data::Interfaces::ITable, Data::Variant
// and the table helpers read the same inside Vesk as everywhere else.
#include "Core/DataObjects.h"
#include "Core/TableAccess.h"
#include "Core/Variant.h"

namespace Vesk::Data {
using namespace ::Data;
}  // namespace Vesk::Data
