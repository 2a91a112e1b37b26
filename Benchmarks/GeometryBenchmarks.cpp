// Measuring WKB and writing GeoPackage blobs. The measure reads only headers and counts, so its cost
// grows with the number of rings and members, never with a second look at any of them.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "Core/Guard.h"
#include "Core/Ptr.h"
#include "Private/Data/Geometry.h"
#include "Shapes/MemoryShapes.h"

namespace {

namespace GP = Vesk::Data::Geopackage;
namespace VI = Vesk::Interfaces;

constexpr uint32_t kPolygons = 10000;
constexpr uint32_t kRingsPerPolygon = 10;  // 100k rings in all
constexpr uint32_t kPointsPerRing = 5;
constexpr uint32_t kPointBlobs = 100000;

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

void PutHeader(std::vector<uint8_t>& out, uint32_t type) {
    out.push_back(1);
    Put32(out, type);
}

// Little-endian XY points; the coordinates' values do not matter to the measure.
void PutPoints(std::vector<uint8_t>& out, uint32_t count) {
    out.insert(out.end(), static_cast<size_t>(count) * 16, 0x3F);
}

std::vector<uint8_t> LargeMultiPolygon() {
    std::vector<uint8_t> wkb;
    PutHeader(wkb, GP::WkbMultiPolygon);
    Put32(wkb, kPolygons);
    for (uint32_t p = 0; p < kPolygons; ++p) {
        PutHeader(wkb, GP::WkbPolygon);
        Put32(wkb, kRingsPerPolygon);
        for (uint32_t r = 0; r < kRingsPerPolygon; ++r) {
            Put32(wkb, kPointsPerRing);
            PutPoints(wkb, kPointsPerRing);
        }
    }
    return wkb;
}

void BM_WkbSizeMultiPolygon100kRings(benchmark::State& state) {
    const std::vector<uint8_t> wkb = LargeMultiPolygon();
    for (auto _ : state) {
        benchmark::DoNotOptimize(GP::WkbSize(wkb.data(), wkb.size()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(wkb.size()));
    state.counters["rings"] = kPolygons * kRingsPerPolygon;
}
BENCHMARK(BM_WkbSizeMultiPolygon100kRings)->Unit(benchmark::kMillisecond);

void BM_WritePointBlobs100k(benchmark::State& state) {
    Core::Ptr<VI::IShapeLayer> layer;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return Shapes::CreateMemoryLayer("Points", layer.Receive(), e); });
    std::vector<Core::Ptr<VI::IShapeObject>> shapes(kPointBlobs);
    for (uint32_t i = 0; i < kPointBlobs; ++i) {
        // A little-endian XY Point: byte order, type 1, x, y.
        uint8_t wkb[21] = {1, GP::WkbPoint, 0, 0, 0};
        const double xy[2] = {i * 0.5, i * -0.25};
        std::memcpy(wkb + 5, xy, sizeof xy);
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return layer->CreateShape(shapes[i].Receive(), e); });
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return shapes[i]->SetGeometry(wkb, sizeof wkb, e); });
    }
    std::vector<GP::GeopackageGeometryInstance> blobs(kPointBlobs);
    uint64_t bytes = 0;
    for (auto _ : state) {
        for (uint32_t i = 0; i < kPointBlobs; ++i) {
            GP::WriteShapeGeometry(shapes[i].Get(), blobs[i]);
        }
        bytes += static_cast<uint64_t>(kPointBlobs) * blobs[0].Size();
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kPointBlobs);
}
BENCHMARK(BM_WritePointBlobs100k)->Unit(benchmark::kMillisecond);

}  // namespace
