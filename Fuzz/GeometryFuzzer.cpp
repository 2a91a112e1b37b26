// Feeds arbitrary bytes to the WKB measure, to the blob reader and to the blob writer, and checks what
// must hold for every input: nothing is read outside the bytes given (the address sanitizer watches the
// input's exact extent), every refusal is a runtime error, and whatever is accepted is self-consistent.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "Core/Object.h"
#include "Core/Ptr.h"
#include "Private/Data/Geometry.h"

namespace {

namespace GP = Vesk::Data::Geopackage;
namespace VI = Vesk::Interfaces;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "geometry invariant broken: %s\n", what);
        std::abort();
    }
}

// The measure of a copy of exactly size bytes, so that a read past them is a sanitizer report; -1 when
// refused.
int64_t MeasureCopy(const uint8_t* data, size_t size) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size == 0 ? 1 : size]);
    if (size != 0) {
        std::memcpy(copy.get(), data, size);
    }
    try {
        return static_cast<int64_t>(GP::WkbSize(copy.get(), size));
    } catch (const std::runtime_error&) {
        return -1;
    }
}

// The least a shape needs to offer the writer: bytes, a box, and no reference system.
class Bytes final : public Core::ObjectT<Data::Interfaces::IArray> {
public:
    Bytes(const uint8_t* data, size_t size) : bytes_(data, data + size) {}
    uint32_t GetElementSize() override { return 1; }
    uint64_t GetCount() override { return bytes_.size(); }
    uint64_t GetByteSize() override { return bytes_.size(); }
    uint8_t* GetData() override { return bytes_.data(); }
    bool Assign(const void*, uint32_t, uint64_t, Core::IErrorCode**) override { return false; }
    bool Insert(uint64_t, const void*, uint64_t, Core::IErrorCode**) override { return false; }
    bool Append(const void*, uint64_t, Core::IErrorCode**) override { return false; }

private:
    ~Bytes() override = default;
    std::vector<uint8_t> bytes_;
};

class Box final : public Core::ObjectT<VI::IBoundingBox3d> {
public:
    double GetMinX() override { return 1; }
    double GetMinY() override { return 2; }
    double GetMinZ() override { return 3; }
    double GetMaxX() override { return 4; }
    double GetMaxY() override { return 5; }
    double GetMaxZ() override { return 6; }
    void SetBounds(double, double, double, double, double, double) override {}

private:
    ~Box() override = default;
};

class Header final : public Core::ObjectT<VI::IShapeHeader> {
public:
    uint32_t GetAttributeCount() override { return 0; }
    bool GetAttribute(uint32_t, VI::IAttributeHeader**, Core::IErrorCode**) override { return false; }
    int64_t FindAttribute(const char*) override { return -1; }
    bool AddAttribute(const char*, int32_t, VI::IAttributeHeader**, Core::IErrorCode**) override { return false; }
    bool GetCompoundReference(VI::ISpatialReference**, Core::IErrorCode**) override { return true; }
    bool GetProjectedReference(VI::ISpatialReference**, Core::IErrorCode**) override { return true; }
    bool GetGeographicReference(VI::ISpatialReference**, Core::IErrorCode**) override { return true; }
    bool SetReference(int32_t, VI::ISpatialReference*, Core::IErrorCode**) override { return false; }

private:
    ~Header() override = default;
};

class Shape final : public Core::ObjectT<VI::IShapeObject> {
public:
    Shape(const uint8_t* data, size_t size) : wkb_(Core::MakeObject<Bytes>(data, size)) {}
    bool GetLayer(VI::IShapeLayer**, Core::IErrorCode**) override { return false; }
    bool GetHeader(VI::IShapeHeader** header, Core::IErrorCode**) override {
        *header = Core::MakeObject<Header>().Detach();
        return true;
    }
    uint32_t GetAttributeCount() override { return 0; }
    bool GetAttribute(uint32_t, VI::IAttributeValue**, Core::IErrorCode**) override { return false; }
    bool GetAttributeByName(const char*, VI::IAttributeValue**, Core::IErrorCode**) override { return false; }
    bool GetGeometry(Data::Interfaces::IArray** wkb, Core::IErrorCode**) override {
        *wkb = Core::Ptr<Bytes>(wkb_).Detach();
        return true;
    }
    bool SetGeometry(const void*, uint64_t, Core::IErrorCode**) override { return false; }
    bool GetBoundingBox(VI::IBoundingBox3d** box, Core::IErrorCode**) override {
        *box = Core::MakeObject<Box>().Detach();
        return true;
    }

private:
    ~Shape() override = default;
    Core::Ptr<Bytes> wkb_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The measure: what it accepts fits in the bytes, and measuring exactly those bytes agrees.
    const int64_t measured = MeasureCopy(data, size);
    if (measured >= 0) {
        Check(measured >= 9 && static_cast<uint64_t>(measured) <= size, "measure outside the bytes given");
        Check(MeasureCopy(data, static_cast<size_t>(measured)) == measured, "measure depends on trailing bytes");
        Check(MeasureCopy(data, static_cast<size_t>(measured) - 1) == -1, "measure accepts a truncated geometry");
    }

    // The reader: a located WKB part lies behind the announced envelope and inside the blob.
    auto blob = GP::GeopackageGeometryInstance::ReadOnlyView(data, size);
    try {
        GP::LocateWkb(blob);
        Check(blob.Wkb() == data + 8 + GP::EnvelopeSize(data[3]), "WKB does not start behind the envelope");
        Check(blob.Wkb() + blob.WkbLength() == data + size, "WKB does not run to the end of the blob");
        MeasureCopy(blob.Wkb(), blob.WkbLength());
    } catch (const std::runtime_error&) {
        Check(blob.Wkb() == nullptr, "a refused blob has a WKB part");
    }

    // The writer: it refuses what the measure refuses before touching the view, and otherwise writes the
    // header and the bytes as given.
    auto shape = Core::MakeObject<Shape>(data, size);
    std::vector<uint8_t> target(size + GP::kWrittenHeaderSize, 0xA5);
    auto view = GP::GeopackageGeometryInstance::View(target.data(), target.size());
    try {
        GP::WriteShapeGeometry(shape.Get(), view);
        Check(size == 0 || measured >= 0, "writer accepts what the measure refuses");
        Check(target[0] == 'G' && target[1] == 'P' && target[3] == GP::kWrittenFlags, "header not written");
        Check(size == 0 || std::memcmp(target.data() + GP::kWrittenHeaderSize, data, size) == 0, "WKB not copied");
        Check(view.Wkb() == target.data() + GP::kWrittenHeaderSize && view.WkbLength() == size, "WKB part misplaced");
    } catch (const std::runtime_error&) {
        Check(measured < 0, "writer refuses what the measure accepts");
        for (uint8_t byte : target) {
            Check(byte == 0xA5, "writer touched the view before refusing");
        }
    }
    return 0;
}
