// WKB measured, and the GeoPackage blobs written around it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "Core/Guard.h"
#include "GeometryTestSupport.h"
#include "Shapes/MemoryShapes.h"

namespace {

using namespace GeometryTest;

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

constexpr const char* kViewMessage =
    "GeopackageGeometryInstance was constructed as a data view. Allocation size does not match the view size!";

TEST(GeopackageBlob, HeaderEnvelopeAndWkbAsWrittenOrTheHeaderAloneWithoutGeometry) {
    for (const Bytes& wkb : {Sample(GP::WkbPolygon, kXyz, false).Data(), Bytes()}) {
        LayerPtr layer = MakeLayer("L", {}, 3857);
        ShapePtr shape = AddShape(layer, {}, wkb, {1.5, 2.5, 3.5, 4.5, 5.5, 6.5});
        GP::GeopackageGeometryInstance instance;
        GP::WriteShapeGeometry(shape.Get(), instance);
        ASSERT_EQ(instance.Size(), 56 + wkb.size());
        const uint8_t* blob = instance.Data();
        EXPECT_EQ(Bytes(blob, blob + 4), (Bytes{'G', 'P', 0, 0x05}));
        EXPECT_EQ(Int32At(blob + 4), 3857);
        // GeoPackage orders the envelope by axis: min x, max x, min y, max y, min z, max z.
        const double expected[6] = {1.5, 4.5, 2.5, 5.5, 3.5, 6.5};
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(DoubleAt(blob + 8 + 8 * i), expected[i]) << i;
        }
        // Moving the instance keeps its bytes and its WKB part together.
        GP::GeopackageGeometryInstance moved = std::move(instance);
        EXPECT_EQ(moved.Wkb(), moved.Data() + 56);
        EXPECT_EQ(Bytes(moved.Wkb(), moved.Wkb() + moved.WkbLength()), wkb);
    }
}

TEST(GeopackageBlob, SrsIdComesFromTheFirstReferenceSystemPresent) {
    LayerPtr layer = MakeLayer("L", {});
    ShapePtr shape = AddShape(layer, {}, Sample(GP::WkbPoint, kXy, true).Data());
    EXPECT_EQ(Int32At(BlobOf(shape).data() + 4), -1);
    for (const auto& [kind, id] :
         {std::pair{VI::SRK_Geographic, 4326}, {VI::SRK_Projected, 25832}, {VI::SRK_Compound, 7415}}) {
        SetReference(layer, kind, id);
        EXPECT_EQ(Int32At(BlobOf(shape).data() + 4), id) << kind;
    }
    // The shape keeps the header it shares with its layer, so the id survives the layer.
    layer = nullptr;
    EXPECT_EQ(Int32At(BlobOf(shape).data() + 4), 7415);
}

TEST(GeopackageBlob, ViewsKeepTheirSizeAndOwnStorageFollowsTheGeometry) {
    LayerPtr layer = MakeLayer("L", {});
    Bytes wkb = WkbWriter().Begin(GP::WkbLineString, kXy, true).Count(2).Points(2).Data();
    wkb.resize(50, 0);  // 41 bytes of geometry and trailing bytes that travel with it
    ShapePtr shape = AddShape(layer, {}, wkb);

    Bytes tooLarge(100, 0xAA);
    auto view = GP::GeopackageGeometryInstance::View(tooLarge.data(), tooLarge.size());
    EXPECT_EQ(MessageThrownBy([&] { GP::WriteShapeGeometry(shape.Get(), view); }), kViewMessage);
    EXPECT_EQ(tooLarge, Bytes(100, 0xAA));

    Bytes exact(106, 0xAA);
    auto fitting = GP::GeopackageGeometryInstance::View(exact.data(), exact.size());
    GP::WriteShapeGeometry(shape.Get(), fitting);
    // Written in place, the same bytes as into storage of its own.
    EXPECT_EQ(exact, BlobOf(shape));
    EXPECT_EQ(Bytes(exact.begin() + 56, exact.end()), wkb);
    EXPECT_EQ(fitting.Wkb(), exact.data() + 56);

    auto readOnly = GP::GeopackageGeometryInstance::ReadOnlyView(exact.data(), exact.size());
    EXPECT_NE(MessageThrownBy([&] { GP::WriteShapeGeometry(shape.Get(), readOnly); }).find("read-only"),
              std::string::npos);

    // Own storage is sized anew by each write.
    GP::GeopackageGeometryInstance owned;
    GP::WriteShapeGeometry(shape.Get(), owned);
    EXPECT_EQ(owned.Size(), 106u);
    ShapePtr point = AddShape(layer, {}, Sample(GP::WkbPoint, kXy, true).Data());
    GP::WriteShapeGeometry(point.Get(), owned);
    EXPECT_EQ(owned.Size(), 77u);
}

TEST(GeopackageBlob, GeometryThatCannotBeMeasuredIsRefusedBeforeAnyCopy) {
    LayerPtr layer = MakeLayer("L", {});
    Bytes truncated = Sample(GP::WkbMultiPolygon, kXy, true).Data();
    truncated.pop_back();
    const Bytes curve = WkbWriter().Begin(GP::WkbMultiCurve, kXy, true).Count(0).Data();
    for (const Bytes& wkb : {truncated, curve}) {
        ShapePtr shape = AddShape(layer, {}, wkb);
        Bytes target(56 + wkb.size(), 0xAA);
        auto view = GP::GeopackageGeometryInstance::View(target.data(), target.size());
        EXPECT_FALSE(MessageThrownBy([&] { GP::WriteShapeGeometry(shape.Get(), view); }).empty());
        EXPECT_EQ(target, Bytes(target.size(), 0xAA));
        EXPECT_EQ(view.Wkb(), nullptr);
    }
    ShapePtr curved = AddShape(layer, {}, curve);
    GP::GeopackageGeometryInstance owned;
    EXPECT_EQ(MessageThrownBy([&] { GP::WriteShapeGeometry(curved.Get(), owned); }), "Unsupported WkbType!");
    EXPECT_EQ(owned.Size(), 0u);
}

TEST(GeopackageBlob, LocateWkbReadsTheEnvelopeIndicatorAndStaysInsideTheBlob) {
    const size_t sizes[8] = {0, 32, 48, 48, 64, 0, 0, 0};
    for (uint8_t indicator = 0; indicator < 8; ++indicator) {
        Bytes blob = {'G', 'P', 0, static_cast<uint8_t>(indicator << 1 | 1), 0, 0, 0, 0};
        blob.resize(8 + sizes[indicator] + 21, 0x11);
        auto view = GP::GeopackageGeometryInstance::ReadOnlyView(blob.data(), blob.size());
        GP::LocateWkb(view);
        EXPECT_EQ(view.Wkb(), blob.data() + 8 + sizes[indicator]) << int{indicator};
        EXPECT_EQ(view.WkbLength(), 21u) << int{indicator};
        // One byte short of the envelope it announces.
        if (sizes[indicator] != 0) {
            auto shortView = GP::GeopackageGeometryInstance::ReadOnlyView(blob.data(), 7 + sizes[indicator]);
            EXPECT_NE(MessageThrownBy([&] { GP::LocateWkb(shortView); }).find("envelope"), std::string::npos);
        }
    }
    GP::GeopackageGeometryInstance empty;
    EXPECT_NE(MessageThrownBy([&] { GP::LocateWkb(empty); }).find("shorter"), std::string::npos);
    for (const auto& [bytes, why] :
         {std::pair<Bytes, const char*>{{'G', 'P', 0}, "shorter"}, {{'X', 'P', 0, 1, 0, 0, 0, 0, 1}, "magic"}}) {
        auto view = GP::GeopackageGeometryInstance::ReadOnlyView(bytes.data(), bytes.size());
        EXPECT_NE(MessageThrownBy([&] { GP::LocateWkb(view); }).find(why), std::string::npos) << why;
    }
}

}  // namespace
