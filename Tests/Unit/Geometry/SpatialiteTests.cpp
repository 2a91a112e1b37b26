#include <gtest/gtest.h>

#include <string>

#include "GeometryTestSupport.h"
#include "Private/Data/Geometry.h"

// Our blobs as an implementation we did not write reads them: SpatiaLite's GeoPackage functions.
// SpatiaLite has no curve types, so CircularString and the kinds built on it are checked by size only.
namespace {

using namespace GeometryTest;
namespace GP = Vesk::Data::Geopackage;

Bytes Blob(const Bytes& wkb, const Extent& box, int32_t srsId) {
    LayerPtr layer = MakeLayer("L", {}, srsId);
    return BlobOf(AddShape(layer, {}, wkb, box));
}

constexpr const char* kQuery =
    "SELECT IsValidGPB(?1), AsText(GeomFromGPB(?1)), AsText(GeomFromWKB(?2)), SRID(GeomFromGPB(?1)), "
    "ST_MinX(GeomFromGPB(?1)), ST_MaxX(GeomFromGPB(?1)), ST_MinY(GeomFromGPB(?1)), ST_MaxY(GeomFromGPB(?1)), "
    "ST_MinZ(GeomFromGPB(?1)), ST_MaxZ(GeomFromGPB(?1));";

TEST(Spatialite, ReadsEveryKindItKnowsInEveryDimensionAndByteOrder) {
    Spatialite db;
    for (uint32_t kind = GP::WkbPoint; kind <= GP::WkbGeometryCollection; ++kind) {
        for (const Dimension& dimension : {kXy, kXyz, kXym, kXyzm}) {
            for (bool little : {true, false}) {
                const WkbWriter wkb = Sample(kind, dimension, little);
                const Bytes blob = Blob(wkb.Data(), wkb.Bounds(), 4326);
                const std::vector<std::string> row = db.Row(kQuery, {blob, wkb.Data()});
                const std::string what = "kind " + std::to_string(kind) + " " + dimension.name +
                                         (little ? " little" : " big") + "-endian: " + row.at(1);
                EXPECT_EQ(row.at(0), "1") << what;
                EXPECT_NE(row.at(1), "NULL") << what;
                EXPECT_EQ(row.at(1), row.at(2)) << what;
                EXPECT_EQ(row.at(3), "4326") << what;
                // SpatiaLite measures the geometry itself; our envelope must agree with it, in its own order.
                const uint8_t* envelope = blob.data() + 8;
                const int axes = dimension.hasZ ? 3 : 2;
                for (int axis = 0; axis < axes; ++axis) {
                    EXPECT_EQ(std::stod(row.at(4 + 2 * axis)), DoubleAt(envelope + 16 * axis)) << what << " " << axis;
                    EXPECT_EQ(std::stod(row.at(5 + 2 * axis)), DoubleAt(envelope + 16 * axis + 8))
                        << what << " " << axis;
                }
            }
        }
    }
}

TEST(Spatialite, ReadsWhatWeMeanByOurExamples) {
    Spatialite db;
    const std::string text = "SELECT AsText(GeomFromGPB(?1)), SRID(GeomFromGPB(?1)), IsValidGPB(?1);";
    const WkbWriter pointZ = Sample(GP::WkbPoint, kXyz, true);
    EXPECT_EQ(db.Row(text, {Blob(pointZ.Data(), pointZ.Bounds(), -1)}),
              (std::vector<std::string>{"POINT Z(-10 100 0.25)", "-1", "1"}));
    const WkbWriter flagged = Sample(GP::WkbPoint, kExtendedZ, false);
    EXPECT_EQ(db.Row(text, {Blob(flagged.Data(), flagged.Bounds(), 3857)}).at(0), "POINT Z(-10 100 0.25)");
    const WkbWriter polygon = Sample(GP::WkbPolygon, kXy, false);
    EXPECT_EQ(db.Row(text, {Blob(polygon.Data(), polygon.Bounds(), 4326)}).at(0),
              "POLYGON((-10 100, -8.75 99.5, -7.5 99, -6.25 98.5), (-5 98, -3.75 97.5, -2.5 97, -1.25 96.5, 0 96))");
    // A shape without geometry: SpatiaLite takes the header, and finds no geometry behind it.
    EXPECT_EQ(db.Row(text, {Blob({}, {}, 4326)}), (std::vector<std::string>{"NULL", "NULL", "1"}));
}

}  // namespace
