#include <gtest/gtest.h>

#include <cstring>

#include "Core/Guard.h"
#include "GeometryTestSupport.h"
#include "Private/Data/Geometry.h"
#include "Shapes/MemoryShapes.h"
#include "Support/Thrown.h"
#include "Vesk/Data/Structures.h"

namespace {

using namespace GeometryTest;
namespace GP = Vesk::Data::Geopackage;
namespace VI = Vesk::Interfaces;
namespace DS = ::Data::Structures;
using VeskTest::MessageThrownBy;

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
