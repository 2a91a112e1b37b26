#include <gtest/gtest.h>

#include <thread>

#include "Core/ErrorCode.h"
#include "Core/Guard.h"
#include "GeometryTestSupport.h"
#include "Shapes/MemoryShapes.h"

namespace {

using namespace GeometryTest;

TEST(MemoryShapes, AShapeThatOutlivesItsLayerKeepsEverythingButTheLayer) {
    LayerPtr layer = MakeLayer("Roads", {{"id", DS::VT_Int64}, {"Name", DS::VT_String}});
    const Bytes wkb = Sample(1, kXy, true).Data();
    ShapePtr shape = AddShape(layer, {Variant::FromInt64(7), Variant::FromString("A1")}, wkb);
    auto gone = Got<VI::IShapeLayer>([&](auto p, auto e) { return shape->GetLayer(p, e); });
    EXPECT_EQ(gone.Get(), layer.Get());

    layer = gone = nullptr;
    Core::ErrorCode error;
    EXPECT_FALSE(shape->GetLayer(gone.Receive(), error.Receive()));
    EXPECT_EQ(error.Message(),
              "Parent ShapeLayer does not exists anymore! ShapeLayer lifetime already ended before this ShapeObject");
    EXPECT_FALSE(gone);
    EXPECT_EQ(ValueOf(shape, "Name").Text(), "A1");
    auto geometry = Got<::Data::Interfaces::IArray>([&](auto p, auto e) { return shape->GetGeometry(p, e); });
    EXPECT_EQ(Bytes(geometry->GetData(), geometry->GetData() + geometry->GetByteSize()), wkb);
}

TEST(MemoryShapes, ReleasingTheLayerWhileAShapeAsksForItIsSafe) {
    for (int round = 0; round < 200; ++round) {
        LayerPtr layer = MakeLayer("L", {});
        ShapePtr shape = AddShape(layer, {}, {});
        std::thread asker([shape] {
            for (;;) {
                Core::Ptr<VI::IShapeLayer> layer;
                if (!shape->GetLayer(layer.Receive(), nullptr)) {
                    return;
                }
            }
        });
        layer = nullptr;
        asker.join();
    }
}

TEST(MemoryShapes, AttributeValuesAreCellsOfTheirShape) {
    LayerPtr layer = MakeLayer("L", {{"id", DS::VT_Int64}});
    ShapePtr first = AddShape(layer, {Variant::FromInt64(1)}, {});
    ShapePtr second = AddShape(layer, {Variant::FromInt64(2)}, {});
    SetValue(first, "id", Variant::FromInt64(10));
    EXPECT_EQ(ValueOf(first, "id").ToInt64(), 10);
    EXPECT_EQ(ValueOf(second, "id").ToInt64(), 2);

    // A column added later is shared by the layer's shapes and starts Null in each.
    auto header = Got<VI::IShapeHeader>([&](auto p, auto e) { return layer->GetHeader(p, e); });
    ASSERT_TRUE(header->AddAttribute("Name", DS::VT_String, nullptr, nullptr));
    EXPECT_EQ(second->GetAttributeCount(), 2u);
    EXPECT_FALSE(ValueOf(second, "Name").HasData());
    SetValue(second, "Name", Variant::FromString("B"));
    EXPECT_EQ(ValueOf(second, "Name").Text(), "B");
    EXPECT_EQ(header->FindAttribute("Name"), 1);
    EXPECT_EQ(header->FindAttribute("name"), -1);

    EXPECT_FALSE(header->AddAttribute("Name", DS::VT_Int32, nullptr, nullptr));
    EXPECT_FALSE(header->AddAttribute("", DS::VT_Int32, nullptr, nullptr));
    Core::Ptr<VI::IAttributeValue> value;
    EXPECT_FALSE(first->GetAttribute(2, value.Receive(), nullptr));
    EXPECT_EQ(MessageThrownBy([&] { ValueOf(first, "Missing"); }), "Unknown attribute: Missing");
    DS::_VARIANT undefined{};
    undefined.type = 99;
    ASSERT_TRUE(first->GetAttribute(0, value.Receive(), nullptr));
    EXPECT_FALSE(value->SetValue(&undefined, nullptr));
    EXPECT_EQ(ValueOf(first, "id").ToInt64(), 10);
}

// The geometry handed out is the shape's own, not a copy. (Its box is pinned by the blob tests, which write
// the box set through the same kind of handle.)
TEST(MemoryShapes, GeometryIsTheShapesOwnAndBadArgumentsAreRefused) {
    LayerPtr layer = MakeLayer("L", {});
    ShapePtr shape = AddShape(layer, {}, {1, 2, 3});
    auto geometry = Got<::Data::Interfaces::IArray>([&](auto p, auto e) { return shape->GetGeometry(p, e); });
    ASSERT_TRUE(shape->SetGeometry(nullptr, 0, nullptr));
    EXPECT_EQ(geometry->GetByteSize(), 0u);
    EXPECT_FALSE(shape->SetGeometry(nullptr, 4, nullptr));
    auto header = Got<VI::IShapeHeader>([&](auto p, auto e) { return shape->GetHeader(p, e); });
    EXPECT_FALSE(header->SetReference(3, nullptr, nullptr));
}

}  // namespace
