#include "Private/Data/Geometry.h"

#include <cstring>
#include <stdexcept>
#include <utility>

#include "Core/Guard.h"
#include "Core/Ptr.h"
#include "Core/StringFormat.h"

namespace Vesk::Data::Geopackage {

namespace VI = Vesk::Interfaces;

namespace {

constexpr const char* kUnsupported = "Unsupported WkbType!";
constexpr const char* kUnsupportedForSurface = "Unsupported WkbType for surface!";
constexpr const char* kNoWkb = "Container size is 0. No WKB data is present!";
constexpr const char* kViewSize =
    "GeopackageGeometryInstance was constructed as a data view. Allocation size does not match the view size!";

constexpr uint64_t kCoordinateBytes = 8;
constexpr uint64_t kGeometryHeaderBytes = 5;  // byte order and type
constexpr uint64_t kCountBytes = 4;

uint32_t ReadUInt32(const uint8_t* p, bool littleEndian) noexcept {
    if (littleEndian) {
        return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
               static_cast<uint32_t>(p[3]) << 24;
    }
    return static_cast<uint32_t>(p[3]) | static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[0]) << 24;
}

void WriteLittleEndian(uint8_t* p, uint64_t value, int bytes) noexcept {
    for (int i = 0; i < bytes; ++i) {
        p[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

void WriteDouble(uint8_t* p, double value) noexcept {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    WriteLittleEndian(p, bits, 8);
}

WkbHeader Normalise(uint8_t byteOrder, uint32_t rawType) noexcept {
    WkbHeader header;
    header.littleEndian = byteOrder == 1;
    if (static_cast<int32_t>(rawType) < 0) {
        // Extended WKB: the dimension travels in the flag bits, of which only Z can make it negative.
        header.type = rawType & 0x0FFFFFFFu;
        header.dimensions = 3;
    } else if (rawType >= 3000) {
        header.type = rawType - 3000;
        header.dimensions = 4;
    } else if (rawType >= 2000) {
        header.type = rawType - 2000;
        header.dimensions = 3;
    } else if (rawType >= 1000) {
        header.type = rawType - 1000;
        header.dimensions = 3;
    } else {
        header.type = rawType;
        header.dimensions = 2;
    }
    return header;
}

// Measures one WKB geometry. Every size is checked against the bytes left before it is added, so no
// sum can overflow and no read leaves [base, base + available).
class WkbMeasure {
public:
    WkbMeasure(const uint8_t* base, uint64_t available) : base_(base), available_(available) {}

    uint64_t Geometry(uint64_t at, int depth) {
        if (depth > kMaxWkbNesting) {
            throw std::runtime_error(Core::StringFormat("WKB geometry is nested deeper than %d levels at byte %llu!",
                                                        kMaxWkbNesting, static_cast<unsigned long long>(at)));
        }
        const WkbHeader header = Header(at);
        switch (header.type) {
            case WkbPoint:
                return Point(at, header);
            case WkbLineString:
            case WkbCircularString:
                return LineString(at, header);
            case WkbPolygon:
                return Polygon(at, header);
            case WkbMultiPoint:
                return Members(at, header, [&](uint64_t member) { return Point(member, Header(member)); });
            case WkbMultiLineString:
                return Members(at, header, [&](uint64_t member) { return LineString(member, Header(member)); });
            case WkbMultiPolygon:
                return Members(at, header, [&](uint64_t member) { return Polygon(member, Header(member)); });
            case WkbGeometryCollection:
                return Members(at, header, [&](uint64_t member) { return Geometry(member, depth + 1); });
            case WkbCompoundCurve:
                return CompoundCurve(at, header);
            case WkbCurvePolygon:
                return CurvePolygon(at, header);
            case WkbMultiSurface:
                return Members(at, header, [&](uint64_t member) { return Surface(member); });
            case WkbCurve:
                return Ring(at);
            case WkbSurface:
                return Surface(at);
            default:
                throw std::runtime_error(kUnsupported);
        }
    }

private:
    uint64_t Left(uint64_t at) const { return at <= available_ ? available_ - at : 0; }

    void Need(uint64_t at, uint64_t bytes) const {
        if (bytes > Left(at)) {
            throw std::runtime_error(Core::StringFormat(
                "WKB geometry at byte %llu needs %llu bytes more than the %llu available!",
                static_cast<unsigned long long>(at), static_cast<unsigned long long>(bytes - Left(at)),
                static_cast<unsigned long long>(available_)));
        }
    }

    WkbHeader Header(uint64_t at) const {
        Need(at, kGeometryHeaderBytes);
        return ReadWkbHeader(base_ + at, Left(at));
    }

    // The count at byte at, read in the order of the geometry it stands in.
    uint32_t Count(uint64_t at, const WkbHeader& header) const {
        Need(at, kCountBytes);
        return ReadUInt32(base_ + at, header.littleEndian);
    }

    // count items of each bytes apiece starting at byte at: refused when they cannot fit in the bytes
    // left, before the product is formed.
    uint64_t Items(uint64_t at, uint32_t count, uint64_t each) const {
        if (count != 0 && each > Left(at) / count) {
            throw std::runtime_error(
                Core::StringFormat("WKB count %u at byte %llu needs more than the %llu bytes available!", count,
                                   static_cast<unsigned long long>(at), static_cast<unsigned long long>(available_)));
        }
        return each * count;
    }

    uint64_t Point(uint64_t at, const WkbHeader& header) const {
        const uint64_t size = kGeometryHeaderBytes + kCoordinateBytes * header.dimensions;
        Need(at, size);
        return size;
    }

    // LineString and CircularString: a point count and the points.
    uint64_t LineString(uint64_t at, const WkbHeader& header) const {
        const uint64_t points = at + kGeometryHeaderBytes + kCountBytes;
        const uint32_t count = Count(at + kGeometryHeaderBytes, header);
        return kGeometryHeaderBytes + kCountBytes + Items(points, count, kCoordinateBytes * header.dimensions);
    }

    uint64_t Polygon(uint64_t at, const WkbHeader& header) const {
        const uint32_t rings = Count(at + kGeometryHeaderBytes, header);
        uint64_t next = at + kGeometryHeaderBytes + kCountBytes;
        Items(next, rings, kCountBytes);  // every ring needs its point count at least
        for (uint32_t i = 0; i < rings; ++i) {
            const uint32_t points = Count(next, header);
            next += kCountBytes;
            next += Items(next, points, kCoordinateBytes * header.dimensions);
        }
        return next - at;
    }

    // A collection: a member count, then members that each carry their own header.
    template <class Member>
    uint64_t Members(uint64_t at, const WkbHeader& header, Member&& member) {
        const uint32_t count = Count(at + kGeometryHeaderBytes, header);
        uint64_t next = at + kGeometryHeaderBytes + kCountBytes;
        Items(next, count, kGeometryHeaderBytes);  // every member needs its header at least
        for (uint32_t i = 0; i < count; ++i) {
            next += member(next);
        }
        return next - at;
    }

    uint64_t CompoundCurve(uint64_t at, const WkbHeader& header) {
        return Members(at, header, [&](uint64_t member) {
            const WkbHeader part = Header(member);
            if (part.type != WkbLineString && part.type != WkbCircularString) {
                throw std::runtime_error(kUnsupportedForSurface);
            }
            return LineString(member, part);
        });
    }

    uint64_t CurvePolygon(uint64_t at, const WkbHeader& header) {
        return Members(at, header, [&](uint64_t ring) { return Ring(ring); });
    }

    // A ring of a curve polygon: a LineString, a CircularString or a CompoundCurve.
    uint64_t Ring(uint64_t at) {
        const WkbHeader header = Header(at);
        switch (header.type) {
            case WkbLineString:
            case WkbCircularString:
                return LineString(at, header);
            case WkbCompoundCurve:
                return CompoundCurve(at, header);
            default:
                throw std::runtime_error(kUnsupportedForSurface);
        }
    }

    // A surface: a Polygon or a CurvePolygon.
    uint64_t Surface(uint64_t at) {
        const WkbHeader header = Header(at);
        switch (header.type) {
            case WkbPolygon:
                return Polygon(at, header);
            case WkbCurvePolygon:
                return CurvePolygon(at, header);
            default:
                throw std::runtime_error(kUnsupportedForSurface);
        }
    }

    const uint8_t* base_;
    uint64_t available_;
};

}  // namespace

WkbHeader ReadWkbHeader(const uint8_t* wkb, uint64_t available) {
    if (wkb == nullptr || available == 0) {
        throw std::runtime_error(kNoWkb);
    }
    if (available < kGeometryHeaderBytes) {
        throw std::runtime_error(Core::StringFormat("WKB geometry header needs 5 bytes, %llu available!",
                                                    static_cast<unsigned long long>(available)));
    }
    if (wkb[0] > 1) {
        throw std::runtime_error(Core::StringFormat("Invalid WKB byte order %u!", static_cast<unsigned>(wkb[0])));
    }
    return Normalise(wkb[0], ReadUInt32(wkb + 1, wkb[0] == 1));
}

uint64_t WkbSize(const uint8_t* wkb, uint64_t available) {
    if (wkb == nullptr || available == 0) {
        throw std::runtime_error(kNoWkb);
    }
    return WkbMeasure(wkb, available).Geometry(0, 0);
}

// ---- The blob ----

GeopackageGeometryInstance GeopackageGeometryInstance::View(uint8_t* data, size_t size) noexcept {
    GeopackageGeometryInstance instance;
    instance.data_ = data;
    instance.size_ = size;
    instance.view_ = true;
    return instance;
}

GeopackageGeometryInstance GeopackageGeometryInstance::ReadOnlyView(const uint8_t* data, size_t size) noexcept {
    // The bytes are never written through a read-only view: Prepare refuses it.
    GeopackageGeometryInstance instance = View(const_cast<uint8_t*>(data), size);
    instance.readOnly_ = true;
    return instance;
}

GeopackageGeometryInstance::GeopackageGeometryInstance(GeopackageGeometryInstance&& other) noexcept {
    *this = std::move(other);
}

GeopackageGeometryInstance& GeopackageGeometryInstance::operator=(GeopackageGeometryInstance&& other) noexcept {
    if (this != &other) {
        owned_ = std::move(other.owned_);
        // A moved vector keeps its buffer, so own bytes stay where data_ points.
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        view_ = std::exchange(other.view_, false);
        readOnly_ = std::exchange(other.readOnly_, false);
        located_ = std::exchange(other.located_, false);
        wkbOffset_ = std::exchange(other.wkbOffset_, 0);
        wkbLength_ = std::exchange(other.wkbLength_, 0);
    }
    return *this;
}

uint8_t* GeopackageGeometryInstance::Prepare(size_t size) {
    if (view_) {
        if (readOnly_) {
            throw std::runtime_error("GeopackageGeometryInstance is a read-only view and cannot be written!");
        }
        if (size != size_) {
            throw std::runtime_error(kViewSize);
        }
    } else {
        owned_.assign(size, 0);
        data_ = owned_.data();
        size_ = size;
    }
    located_ = false;
    wkbOffset_ = 0;
    wkbLength_ = 0;
    return data_;
}

void GeopackageGeometryInstance::SetWkb(size_t offset, size_t length) {
    if (offset > size_ || length > size_ - offset) {
        throw std::runtime_error("WKB part lies outside the GeoPackage geometry blob!");
    }
    located_ = true;
    wkbOffset_ = offset;
    wkbLength_ = length;
}

size_t EnvelopeSize(uint8_t flags) noexcept {
    switch ((flags >> 1) & 0x07) {
        case 1:
            return 32;
        case 2:
        case 3:
            return 48;
        case 4:
            return 64;
        default:
            return 0;
    }
}

void LocateWkb(GeopackageGeometryInstance& instance) {
    const uint8_t* blob = instance.Data();
    const size_t size = instance.Size();
    if (blob == nullptr || size < kHeaderFixedSize) {
        throw std::runtime_error(Core::StringFormat(
            "GeoPackage geometry blob of %zu bytes is shorter than its 8-byte header!", blob == nullptr ? 0 : size));
    }
    if (blob[0] != 'G' || blob[1] != 'P') {
        throw std::runtime_error("Not a GeoPackage geometry blob: the magic bytes \"GP\" are missing!");
    }
    const size_t envelope = EnvelopeSize(blob[3]);
    if (size - kHeaderFixedSize < envelope) {
        throw std::runtime_error(Core::StringFormat(
            "GeoPackage geometry envelope of %zu bytes does not fit into a blob of %zu bytes!", envelope, size));
    }
    instance.SetWkb(kHeaderFixedSize + envelope, size - kHeaderFixedSize - envelope);
}

int32_t SrsIdOf(VI::IShapeHeader* header) {
    Core::CheckNotNull(header);
    using Getter = bool (VI::IShapeHeader::*)(VI::ISpatialReference**, Core::IErrorCode**);
    // A compound system names the horizontal one and more, so it is the most specific id there is.
    for (Getter getter : {&VI::IShapeHeader::GetCompoundReference, &VI::IShapeHeader::GetProjectedReference,
                          &VI::IShapeHeader::GetGeographicReference}) {
        Core::Ptr<VI::ISpatialReference> reference;
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return (header->*getter)(reference.Receive(), e); });
        if (reference) {
            return reference->GetIdentifier();
        }
    }
    return kUndefinedSrsId;
}

void WriteShapeGeometry(VI::IShapeObject* shape, GeopackageGeometryInstance& instance) {
    Core::CheckNotNull(shape);
    Core::Ptr<VI::IShapeHeader> header;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return shape->GetHeader(header.Receive(), e); });
    const int32_t srsId = SrsIdOf(header.Get());

    Core::Ptr<::Data::Interfaces::IArray> wkb;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return shape->GetGeometry(wkb.Receive(), e); });
    const uint64_t length = wkb ? wkb->GetByteSize() : 0;
    const uint8_t* bytes = length != 0 ? wkb->GetData() : nullptr;
    if (length != 0) {
        // Throws for a geometry that cannot be measured or claims more bytes than the array holds.
        WkbSize(bytes, length);
    }

    Core::Ptr<VI::IBoundingBox3d> box;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return shape->GetBoundingBox(box.Receive(), e); });
    const double envelope[6] = {box->GetMinX(), box->GetMaxX(), box->GetMinY(),
                                box->GetMaxY(), box->GetMinZ(), box->GetMaxZ()};

    uint8_t* blob = instance.Prepare(kWrittenHeaderSize + length);
    blob[0] = 'G';
    blob[1] = 'P';
    blob[2] = 0;
    blob[3] = kWrittenFlags;
    WriteLittleEndian(blob + 4, static_cast<uint32_t>(srsId), 4);
    for (int i = 0; i < 6; ++i) {
        WriteDouble(blob + kHeaderFixedSize + 8 * i, envelope[i]);
    }
    LocateWkb(instance);
    if (length != 0) {
        std::memcpy(blob + kWrittenHeaderSize, bytes, length);
    }
}

}  // namespace Vesk::Data::Geopackage
