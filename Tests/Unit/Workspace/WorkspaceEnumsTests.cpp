// The names under which enumerations are stored: each one reads back as its value, values outside the lists have none.
#include <gtest/gtest.h>

#include "Vesk/Workspace/WorkspaceEnums.h"

namespace {

using Vesk::Workspace::EnumFromText;
using Vesk::Workspace::EnumKind;
using Vesk::Workspace::EnumToText;

TEST(WorkspaceEnums, EveryNameReadsBackAsItsValue) {
    const std::pair<EnumKind, int32_t> kinds[] = {{EnumKind::DataSourceType, 23},
                                                  {EnumKind::DatasetType, 3},
                                                  {EnumKind::TemporalType, 1},
                                                  {EnumKind::SpatialType, 4}};
    for (const auto& [kind, last] : kinds) {
        for (int32_t value = -1; value <= last; ++value) {
            const std::string name = EnumToText(kind, value);
            EXPECT_FALSE(name.empty()) << value;
            EXPECT_EQ(EnumFromText(kind, name), value) << name;
        }
        for (int32_t outside : {last + 1, -2, INT32_MIN, INT32_MAX}) {
            EXPECT_EQ(EnumToText(kind, outside), "") << outside;
        }
        EXPECT_EQ(EnumFromText(kind, ""), -1);
    }
}

}  // namespace
