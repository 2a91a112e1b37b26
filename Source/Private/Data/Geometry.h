#pragma once
// GeoPackage geometry blobs: the GeoPackage binary header followed by the geometry in Well-Known
// Binary. Writing one from a shape, finding the WKB inside one, and measuring WKB from its own
// structure without ever reading outside the bytes given.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "Vesk/Shapes/IShape.h"

namespace Vesk::Data::Geopackage {

// The header as this library writes it: magic, version, flags, srs_id and an x/y/z envelope.
inline constexpr size_t kHeaderFixedSize = 8;
inline constexpr size_t kEnvelopeXyzSize = 48;
inline constexpr size_t kWrittenHeaderSize = kHeaderFixedSize + kEnvelopeXyzSize;
// Little-endian header, envelope of x, y and z, not empty, standard geometry.
inline constexpr uint8_t kWrittenFlags = 0x05;
// A shape without a reference system.
inline constexpr int32_t kUndefinedSrsId = -1;
// Collections nested deeper than this are refused: real data never comes close, hostile data would
// otherwise exhaust the stack.
inline constexpr int kMaxWkbNesting = 32;

// WKB geometry type codes as measured, after the dimension offsets and flag bits are taken off.
enum WkbType : uint32_t {
    WkbPoint = 1,
    WkbLineString = 2,
    WkbPolygon = 3,
    WkbMultiPoint = 4,
    WkbMultiLineString = 5,
    WkbMultiPolygon = 6,
    WkbGeometryCollection = 7,
    WkbCircularString = 8,
    WkbCompoundCurve = 9,
    WkbCurvePolygon = 10,
    WkbMultiCurve = 11,  // not measured
    WkbMultiSurface = 12,
    WkbCurve = 13,
    WkbSurface = 14,
};

// The byte order, type and coordinate count of one WKB geometry header.
struct WkbHeader {
    bool littleEndian = true;
    uint32_t type = 0;        // normalised: ISO offsets (1000, 2000, 3000) and extended flags removed
    uint32_t dimensions = 2;  // coordinates per point
};

// Reads the 5-byte header at wkb. Throws when fewer than 5 bytes are available or the byte-order
// byte is neither 0 (big-endian) nor 1 (little-endian).
WkbHeader ReadWkbHeader(const uint8_t* wkb, uint64_t available);

// The size in bytes of the WKB geometry that starts at wkb, computed from its own structure. Reads
// only inside [wkb, wkb + available). Throws "Container size is 0. No WKB data is present!" for no
// bytes, "Unsupported WkbType!" / "Unsupported WkbType for surface!" for types it cannot measure, and a
// message of its own when the geometry needs more bytes than available (a count or size beyond the
// bytes, a bad byte order) or nests collections deeper than kMaxWkbNesting. One pass over the headers
// and counts; coordinates are never read.
uint64_t WkbSize(const uint8_t* wkb, uint64_t available);

// One GeoPackage geometry blob: either bytes of its own, allocated by the first write and resized by
// later ones, or a view of bytes that somebody else owns, whose size is then fixed. Owner thread only;
// a view is valid only while the viewed bytes are.
class GeopackageGeometryInstance {
public:
    // An instance with storage of its own, empty until written.
    GeopackageGeometryInstance() noexcept = default;
    // A writable view of size bytes that the caller owns and keeps alive.
    static GeopackageGeometryInstance View(uint8_t* data, size_t size) noexcept;
    // A read-only view, for locating the WKB of a stored blob; writing into it throws.
    static GeopackageGeometryInstance ReadOnlyView(const uint8_t* data, size_t size) noexcept;

    GeopackageGeometryInstance(GeopackageGeometryInstance&& other) noexcept;
    GeopackageGeometryInstance& operator=(GeopackageGeometryInstance&& other) noexcept;
    GeopackageGeometryInstance(const GeopackageGeometryInstance&) = delete;
    GeopackageGeometryInstance& operator=(const GeopackageGeometryInstance&) = delete;
    ~GeopackageGeometryInstance() = default;

    // The blob's bytes (null when empty) and size.
    const uint8_t* Data() const noexcept { return data_; }
    size_t Size() const noexcept { return size_; }
    bool IsView() const noexcept { return view_; }
    // The WKB part found by LocateWkb: null and 0 until then.
    const uint8_t* Wkb() const noexcept { return located_ ? data_ + wkbOffset_ : nullptr; }
    size_t WkbLength() const noexcept { return wkbLength_; }

    // Writable bytes of exactly size bytes: own storage is (re)allocated to that size, a view must
    // already have it. Throws the data-view message for a view of another size, and for a read-only view.
    uint8_t* Prepare(size_t size);
    // Records the WKB part; offset + length must lie inside the blob.
    void SetWkb(size_t offset, size_t length);

private:
    std::vector<uint8_t> owned_;
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    bool view_ = false;
    bool readOnly_ = false;
    bool located_ = false;
    size_t wkbOffset_ = 0;
    size_t wkbLength_ = 0;
};

// Sets the instance's WKB part from its header: the WKB starts behind the 8 fixed bytes and the
// envelope that the flags announce, and runs to the end of the blob. Throws when the blob is shorter
// than its fixed header, does not start with "GP", or is shorter than the envelope it announces.
void LocateWkb(GeopackageGeometryInstance& instance);

// The envelope size announced by a flags byte: 0, 32, 48 or 64 bytes; indicators 5 to 7 count as none.
size_t EnvelopeSize(uint8_t flags) noexcept;

// The srs_id of a shape's header: the identifier of its compound, else projected, else geographic
// reference system; kUndefinedSrsId when it has none.
int32_t SrsIdOf(Vesk::Interfaces::IShapeHeader* header);

// Fills instance with the blob of the shape's geometry: header, x/y/z envelope from the shape's box
// and the WKB bytes. The WKB is measured first, so a geometry that cannot be measured or that declares
// more bytes than it has is refused before anything is copied. A shape without geometry gives the
// 56-byte header alone. Throws the data-view message when a view does not have the size needed.
void WriteShapeGeometry(Vesk::Interfaces::IShapeObject* shape, GeopackageGeometryInstance& instance);

}  // namespace Vesk::Data::Geopackage
