#pragma once
// Well-Known Binary written by hand, shapes built in memory, and an outside reader of GeoPackage
// blobs (SpatiaLite), for the geometry tests.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "Core/Guard.h"
#include "Core/Ptr.h"
#include "Core/Variant.h"
#include "Private/Data/Geometry.h"
#include "Support/SqliteReader.h"
#include "Support/Thrown.h"
#include "Vesk/Data/Structures.h"
#include "Vesk/Shapes/IShape.h"

namespace GeometryTest {

namespace DS = ::Data::Structures;
namespace GP = Vesk::Data::Geopackage;
namespace VI = Vesk::Interfaces;
using ::Data::Variant;
using VeskTest::MessageThrownBy;

using Bytes = std::vector<uint8_t>;
using LayerPtr = Core::Ptr<Vesk::Interfaces::IShapeLayer>;
using ShapePtr = Core::Ptr<Vesk::Interfaces::IShapeObject>;

// How a geometry states its coordinates: by an ISO offset added to the type, or by the extended Z flag.
struct Dimension {
    const char* name;
    uint32_t offset;  // added to the type code (or or-ed in, for the flag)
    uint32_t count;   // coordinates per point
};
inline constexpr Dimension kXy{"XY", 0, 2};
inline constexpr Dimension kXyz{"XYZ", 1000, 3};
inline constexpr Dimension kXym{"XYM", 2000, 3};
inline constexpr Dimension kXyzm{"XYZM", 3000, 4};
inline constexpr Dimension kExtendedZ{"EWKB Z", 0x80000000u, 3};
inline constexpr std::array<Dimension, 5> kDimensions{kXy, kXyz, kXym, kXyzm, kExtendedZ};

// A shape's box: min x, y, z, then max x, y, z.
using Extent = std::array<double, 6>;

// Writes WKB byte by byte. Counts and coordinates follow the byte order of the geometry begun last,
// which is where they stand in every layout that WKB has.
class WkbWriter {
public:
    WkbWriter& Begin(uint32_t kind, const Dimension& dimension, bool littleEndian);
    WkbWriter& RawType(uint32_t type, bool littleEndian);
    WkbWriter& Count(uint32_t count);
    // count points of distinct coordinates in the current geometry's dimension.
    WkbWriter& Points(uint32_t count);
    const Bytes& Data() const { return bytes_; }

private:
    void Put(uint64_t bits, int size);
    Bytes bytes_;
    bool little_ = true;
    Dimension dimension_ = kXy;
    uint32_t serial_ = 0;
};

// A representative geometry of one kind, with members in the other byte order where it has members.
WkbWriter Sample(uint32_t kind, const Dimension& dimension, bool littleEndian);

// What an operation of the out-pointer form hands out; its failure is thrown with the operation's message.
template <class T, class Call>
Core::Ptr<T> Got(Call&& call) {
    Core::Ptr<T> object;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return call(object.Receive(), e); });
    return object;
}

// A layer with columns (name, value type) and, when srsId is not -1, a projected reference system.
LayerPtr MakeLayer(const std::string& name, const std::vector<std::pair<std::string, int32_t>>& columns,
                   int32_t srsId = -1);
// Gives the layer a reference system of kind (a SpatialReferenceKind) with the id.
void SetReference(const LayerPtr& layer, int32_t kind, int32_t id);
// A new shape of layer with values in column order, WKB bytes and a box.
ShapePtr AddShape(const LayerPtr& layer, const std::vector<::Data::Variant>& values, const Bytes& wkb,
                  const Extent& box = {});
// The shape's GeoPackage blob, written into storage of its own.
Bytes BlobOf(const ShapePtr& shape);
::Data::Variant ValueOf(const ShapePtr& shape, const std::string& name);
void SetValue(const ShapePtr& shape, const std::string& name, const ::Data::Variant& value);

// Little-endian fields of a blob.
int32_t Int32At(const uint8_t* p);
double DoubleAt(const uint8_t* p);

// An in-memory SQLite connection with SpatiaLite loaded.
class Spatialite : public VeskTest::SqliteReader {
public:
    Spatialite();
    // The first row of sql with the blobs written in for ?1, ?2, ..., each cell as text ("NULL" for NULL).
    std::vector<std::string> Row(std::string sql, const std::vector<Bytes>& blobs);
};

}  // namespace GeometryTest
