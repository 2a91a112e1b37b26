#include <gtest/gtest.h>

#include <string>

#include "GeometryTestSupport.h"

// Our blobs as an implementation we did not write reads them: SpatiaLite's GeoPackage functions.
// SpatiaLite has no curve types, so CircularString and the kinds built on it are checked by size only.
namespace {

using namespace GeometryTest;

Bytes Blob(const Bytes& wkb, int32_t srsId, const Extent& box = {}) {
    LayerPtr layer = MakeLayer("L", {}, srsId);
    return BlobOf(AddShape(layer, {}, wkb, box));
}

// SpatiaLite's own extent of a bare WKB: min x, max x, min y, max y, min z, max z ("NULL" without Z).
constexpr const char* kExtentQuery =
    "SELECT ST_MinX(g), ST_MaxX(g), ST_MinY(g), ST_MaxY(g), ST_MinZ(g), ST_MaxZ(g) FROM (SELECT GeomFromWKB(?1) AS g);";

// Validity, the geometry (beside SpatiaLite's reading of the bare WKB) and the reference system.
constexpr const char* kQuery =
    "SELECT IsValidGPB(?1), AsText(GeomFromGPB(?1)), AsText(GeomFromWKB(?2)), SRID(GeomFromGPB(?1));";

TEST(Spatialite, ReadsEveryKindItKnowsInEveryDimensionAndByteOrder) {
    Spatialite db;
    for (uint32_t kind = GP::WkbPoint; kind <= GP::WkbGeometryCollection; ++kind) {
        for (const Dimension& dimension : {kXy, kXyz, kXym, kXyzm}) {
            for (bool little : {true, false}) {
                const Bytes wkb = Sample(kind, dimension, little).Data();
                const std::vector<std::string> extent = db.Row(kExtentQuery, {wkb});
                const bool hasZ = extent.at(4) != "NULL";
                auto at = [&](int i) { return i < 4 || hasZ ? std::stod(extent.at(i)) : 0.0; };
                const Bytes blob = Blob(wkb, 4326, {at(0), at(2), at(4), at(1), at(3), at(5)});
                const std::vector<std::string> row = db.Row(kQuery, {blob, wkb});
                const std::string what = "kind " + std::to_string(kind) + " " + dimension.name +
                                         (little ? " little" : " big") + "-endian: " + row.at(1);
                EXPECT_EQ(row.at(0), "1") << what;
                EXPECT_NE(row.at(1), "NULL") << what;
                EXPECT_EQ(row.at(1), row.at(2)) << what;
                EXPECT_EQ(row.at(3), "4326") << what;
                // The envelope holds the shape's box in the blob's own order, as SpatiaLite measures it.
                for (int i = 0; i < (hasZ ? 6 : 4); ++i) {
                    EXPECT_EQ(DoubleAt(blob.data() + 8 + 8 * i), at(i)) << what << " envelope value " << i;
                }
            }
        }
    }
}

TEST(Spatialite, ReadsWhatWeMeanByOurExamples) {
    Spatialite db;
    const std::string text = "SELECT AsText(GeomFromGPB(?1)), SRID(GeomFromGPB(?1)), IsValidGPB(?1);";
    EXPECT_EQ(db.Row(text, {Blob(Sample(GP::WkbPoint, kXyz, true).Data(), -1)}),
              (std::vector<std::string>{"POINT Z(-10 100 0.25)", "-1", "1"}));
    EXPECT_EQ(db.Row(text, {Blob(Sample(GP::WkbPoint, kExtendedZ, false).Data(), 3857)}).at(0),
              "POINT Z(-10 100 0.25)");
    // A shape without geometry: SpatiaLite takes the header, and finds no geometry behind it.
    EXPECT_EQ(db.Row(text, {Blob({}, 4326)}), (std::vector<std::string>{"NULL", "NULL", "1"}));
}

}  // namespace
