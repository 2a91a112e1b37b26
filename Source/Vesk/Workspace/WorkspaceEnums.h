#pragma once
// The text names under which the workspace stores its enumerations. Immutable; safe from any thread.
#include <cstdint>
#include <string>
#include <string_view>

namespace Vesk::Workspace {

enum class EnumKind { DataSourceType, DatasetType, TemporalType, SpatialType };

// The stored name of value: the name at position value + 1 of the kind's list (the lists start at -1,
// Unknown), or an empty text for a value outside the list.
std::string EnumToText(EnumKind kind, int32_t value);

// The value whose name equals text exactly (letter case included); -1 (Unknown) when none does, an
// empty text included.
int32_t EnumFromText(EnumKind kind, std::string_view text);

}  // namespace Vesk::Workspace
