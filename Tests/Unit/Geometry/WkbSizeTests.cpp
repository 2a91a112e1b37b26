#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "GeometryTestSupport.h"
#include "Private/Data/Geometry.h"
#include "Support/Thrown.h"

namespace {

using namespace GeometryTest;
namespace GP = Vesk::Data::Geopackage;
using VeskTest::MessageThrownBy;

constexpr uint32_t kMeasuredKinds[] = {
    GP::WkbPoint,        GP::WkbLineString,         GP::WkbPolygon,        GP::WkbMultiPoint,    GP::WkbMultiLineString,
    GP::WkbMultiPolygon, GP::WkbGeometryCollection, GP::WkbCircularString, GP::WkbCompoundCurve, GP::WkbCurvePolygon,
    GP::WkbMultiSurface};

// The measure of the first length bytes, from a heap block of their size, so that the address sanitizer
// sees any read past the end.
uint64_t Measure(const Bytes& bytes, size_t length = SIZE_MAX) {
    length = std::min(length, bytes.size());
    auto block = std::make_unique<uint8_t[]>(length);
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length), block.get());
    return GP::WkbSize(block.get(), length);
}

// Trailing bytes belong to whatever follows the geometry and are not counted; every shorter prefix is refused.
TEST(WkbSize, EveryKindInBothByteOrdersAndEveryDimensionButNoPrefixOfIt) {
    EXPECT_EQ(MessageThrownBy([] { GP::WkbSize(nullptr, 0); }), "Container size is 0. No WKB data is present!");
    const uint8_t one = 1;
    EXPECT_EQ(MessageThrownBy([&] { GP::WkbSize(&one, 0); }), "Container size is 0. No WKB data is present!");
    for (uint32_t kind : kMeasuredKinds) {
        for (const Dimension& dimension : kDimensions) {
            for (bool little : {true, false}) {
                const Bytes wkb = Sample(kind, dimension, little).Data();
                const std::string what =
                    "kind " + std::to_string(kind) + " " + dimension.name + (little ? " little" : " big") + "-endian";
                Bytes padded = wkb;
                padded.insert(padded.end(), 7, 0xEE);
                EXPECT_EQ(Measure(padded), wkb.size()) << what;
                for (size_t length = 1; length < wkb.size(); ++length) {
                    EXPECT_FALSE(MessageThrownBy([&] { Measure(wkb, length); }).empty())
                        << what << " accepted " << length << " of " << wkb.size() << " bytes";
                }
            }
        }
    }
}

TEST(WkbSize, DimensionsComeFromTheTypeCodeOfEachMember) {
    // Any type with the top bit set counts three coordinates, whatever other flags it has.
    for (const auto& [type, little] : {std::pair{0x80000001u, true}, std::pair{0xC0000001u, false}}) {
        Bytes flagged = WkbWriter().RawType(type, little).Data();
        flagged.resize(flagged.size() + 24);
        EXPECT_EQ(Measure(flagged), 29u) << type;
    }
    // An XY MultiPoint of an XYZM point and an XY point, the members in opposite byte orders.
    WkbWriter multi;
    multi.Begin(GP::WkbMultiPoint, kXy, false).Count(2);
    multi.Begin(GP::WkbPoint, kXyzm, true).Points(1).Begin(GP::WkbPoint, kXy, false).Points(1);
    EXPECT_EQ(Measure(multi.Data()), 9u + 37u + 21u);
}

TEST(WkbSize, RefusesTypesItCannotMeasure) {
    for (uint32_t type : {0u, 11u, 1011u, 15u, 2015u, 0x7FFFFFFFu}) {
        Bytes wkb = WkbWriter().RawType(type, true).Count(0).Data();
        EXPECT_EQ(MessageThrownBy([&] { Measure(wkb); }), "Unsupported WkbType!") << type;
    }
    // Curves and surfaces take only the member types that make them up. The abstract Curve (13) and
    // Surface (14) are measured as a ring and a surface of themselves, which they are not.
    const std::pair<uint32_t, uint32_t> wrongMembers[] = {{GP::WkbCompoundCurve, GP::WkbPoint},
                                                          {GP::WkbCurvePolygon, GP::WkbPolygon},
                                                          {GP::WkbMultiSurface, GP::WkbLineString},
                                                          {13u, 13u},
                                                          {14u, 14u}};
    for (const auto& [outer, member] : wrongMembers) {
        const Bytes wkb = WkbWriter().RawType(outer, true).Count(1).RawType(member, true).Count(0).Data();
        EXPECT_EQ(MessageThrownBy([&] { Measure(wkb); }), "Unsupported WkbType for surface!") << outer;
    }
}

TEST(WkbSize, RefusesHostileCountsNestingAndByteOrders) {
    // Counts whose bytes could never fit, however the product is formed.
    for (uint32_t kind : {GP::WkbLineString, GP::WkbPolygon, GP::WkbMultiPoint, GP::WkbGeometryCollection}) {
        const Bytes wkb = WkbWriter().Begin(kind, kXyzm, true).Count(0xFFFFFFFFu).Points(2).Data();
        EXPECT_NE(MessageThrownBy([&] { Measure(wkb); }).find("count 4294967295"), std::string::npos) << kind;
    }
    WkbWriter rings;
    rings.Begin(GP::WkbPolygon, kXy, false).Count(1).Count(0x20000000u).Points(3);
    EXPECT_NE(MessageThrownBy([&] { Measure(rings.Data()); }).find("count 536870912"), std::string::npos);

    auto nested = [](int collections) {
        WkbWriter w;
        for (int i = 0; i < collections; ++i) {
            w.Begin(GP::WkbGeometryCollection, kXy, i % 2 == 0).Count(1);
        }
        return w.Begin(GP::WkbPoint, kXy, true).Points(1).Data();
    };
    const Bytes deepest = nested(GP::kMaxWkbNesting);
    EXPECT_EQ(Measure(deepest), deepest.size());
    EXPECT_NE(MessageThrownBy([&] { Measure(nested(GP::kMaxWkbNesting + 1)); }).find("nested deeper"),
              std::string::npos);
    EXPECT_NE(MessageThrownBy([&] { Measure(nested(100000)); }).find("nested deeper"), std::string::npos);

    Bytes order = WkbWriter().Begin(GP::WkbPoint, kXy, true).Points(1).Data();
    order[0] = 2;
    EXPECT_EQ(MessageThrownBy([&] { Measure(order); }), "Invalid WKB byte order 2!");
}

}  // namespace
