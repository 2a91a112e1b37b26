#include "GeometryTestSupport.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "Core/Guard.h"
#include "Shapes/MemoryShapes.h"
#include "Support/Hex.h"

namespace GeometryTest {

WkbWriter& WkbWriter::Begin(uint32_t kind, const Dimension& dimension, bool littleEndian) {
    const uint32_t type = dimension.offset == kExtendedZ.offset ? kind | dimension.offset : kind + dimension.offset;
    dimension_ = dimension;
    return RawType(type, littleEndian);
}

WkbWriter& WkbWriter::RawType(uint32_t type, bool littleEndian) {
    little_ = littleEndian;
    bytes_.push_back(littleEndian ? 1 : 0);
    Put(type, 4);
    return *this;
}

WkbWriter& WkbWriter::Count(uint32_t count) {
    Put(count, 4);
    return *this;
}

WkbWriter& WkbWriter::Points(uint32_t count) {
    for (uint32_t i = 0; i < count; ++i, ++serial_) {
        // x, y, then z (or m without z), then m.
        const double coordinates[4] = {serial_ * 1.25 - 10.0, 100.0 - serial_ * 0.5, serial_ * 2.0 + 0.25,
                                       static_cast<double>(serial_)};
        for (uint32_t c = 0; c < dimension_.count; ++c) {
            uint64_t bits;
            std::memcpy(&bits, &coordinates[c], sizeof bits);
            Put(bits, 8);
        }
    }
    return *this;
}

void WkbWriter::Put(uint64_t bits, int size) {
    for (int i = 0; i < size; ++i) {
        bytes_.push_back(static_cast<uint8_t>(bits >> 8 * (little_ ? i : size - 1 - i)));
    }
}

WkbWriter Sample(uint32_t kind, const Dimension& d, bool little) {
    const bool other = !little;
    WkbWriter w;
    switch (kind) {
        case GP::WkbPoint:
            w.Begin(kind, d, little).Points(1);
            break;
        case GP::WkbLineString:
        case GP::WkbCircularString:
            w.Begin(kind, d, little).Count(3).Points(3);
            break;
        case GP::WkbPolygon:
            w.Begin(kind, d, little).Count(2).Count(4).Points(4).Count(5).Points(5);
            break;
        case GP::WkbMultiPoint:
            w.Begin(kind, d, little).Count(2);
            w.Begin(GP::WkbPoint, d, other).Points(1).Begin(GP::WkbPoint, d, little).Points(1);
            break;
        case GP::WkbMultiLineString:
            w.Begin(kind, d, little).Count(2);
            w.Begin(GP::WkbLineString, d, other).Count(2).Points(2);
            w.Begin(GP::WkbLineString, d, little).Count(4).Points(4);
            break;
        case GP::WkbMultiPolygon:
            w.Begin(kind, d, little).Count(2);
            w.Begin(GP::WkbPolygon, d, other).Count(1).Count(4).Points(4);
            w.Begin(GP::WkbPolygon, d, little).Count(2).Count(4).Points(4).Count(4).Points(4);
            break;
        case GP::WkbGeometryCollection:
            w.Begin(kind, d, little).Count(3);
            w.Begin(GP::WkbPoint, d, other).Points(1);
            w.Begin(GP::WkbLineString, d, little).Count(2).Points(2);
            w.Begin(GP::WkbPolygon, d, other).Count(1).Count(4).Points(4);
            break;
        case GP::WkbCompoundCurve:
            w.Begin(kind, d, little).Count(2);
            w.Begin(GP::WkbLineString, d, other).Count(3).Points(3);
            w.Begin(GP::WkbCircularString, d, little).Count(3).Points(3);
            break;
        case GP::WkbCurvePolygon:
            w.Begin(kind, d, little).Count(2);
            w.Begin(GP::WkbLineString, d, other).Count(4).Points(4);
            w.Begin(GP::WkbCompoundCurve, d, little).Count(2);
            w.Begin(GP::WkbCircularString, d, other).Count(3).Points(3);
            w.Begin(GP::WkbLineString, d, little).Count(2).Points(2);
            break;
        case GP::WkbMultiSurface:
            w.Begin(kind, d, little).Count(2);
            w.Begin(GP::WkbPolygon, d, other).Count(1).Count(4).Points(4);
            w.Begin(GP::WkbCurvePolygon, d, little).Count(1).Begin(GP::WkbCircularString, d, other).Count(5).Points(5);
            break;
        default:
            throw std::invalid_argument("no sample of kind " + std::to_string(kind));
    }
    return w;
}

namespace {

Core::Ptr<VI::IAttributeValue> Attribute(const ShapePtr& shape, const std::string& name) {
    return Got<VI::IAttributeValue>([&](auto p, auto e) { return shape->GetAttributeByName(name.c_str(), p, e); });
}

}  // namespace

void SetReference(const LayerPtr& layer, int32_t kind, int32_t id) {
    auto reference =
        Got<VI::ISpatialReference>([&](auto p, auto e) { return Shapes::CreateSpatialReference(id, "test", p, e); });
    auto header = Got<VI::IShapeHeader>([&](auto p, auto e) { return layer->GetHeader(p, e); });
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return header->SetReference(kind, reference.Get(), e); });
}

LayerPtr MakeLayer(const std::string& name, const std::vector<std::pair<std::string, int32_t>>& columns,
                   int32_t srsId) {
    auto layer = Got<VI::IShapeLayer>([&](auto p, auto e) { return Shapes::CreateMemoryLayer(name.c_str(), p, e); });
    auto header = Got<VI::IShapeHeader>([&](auto p, auto e) { return layer->GetHeader(p, e); });
    for (const auto& [column, type] : columns) {
        Core::ThrowIfFailed(
            [&](Core::IErrorCode** e) { return header->AddAttribute(column.c_str(), type, nullptr, e); });
    }
    if (srsId != -1) {
        SetReference(layer, VI::SRK_Projected, srsId);
    }
    return layer;
}

ShapePtr AddShape(const LayerPtr& layer, const std::vector<::Data::Variant>& values, const Bytes& wkb,
                  const Extent& box) {
    auto shape = Got<VI::IShapeObject>([&](auto p, auto e) { return layer->CreateShape(p, e); });
    for (uint32_t i = 0; i < values.size(); ++i) {
        auto value = Got<VI::IAttributeValue>([&](auto p, auto e) { return shape->GetAttribute(i, p, e); });
        Core::ThrowIfFailed([&](Core::IErrorCode** e) { return value->SetValue(&values[i].Raw(), e); });
    }
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return shape->SetGeometry(wkb.data(), wkb.size(), e); });
    Got<VI::IBoundingBox3d>([&](auto p, auto e) {
        return shape->GetBoundingBox(p, e);
    })->SetBounds(box[0], box[1], box[2], box[3], box[4], box[5]);
    return shape;
}

Bytes BlobOf(const ShapePtr& shape) {
    GP::GeopackageGeometryInstance instance;
    GP::WriteShapeGeometry(shape.Get(), instance);
    return Bytes(instance.Data(), instance.Data() + instance.Size());
}

::Data::Variant ValueOf(const ShapePtr& shape, const std::string& name) {
    ::Data::Variant result;
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return Attribute(shape, name)->GetValue(result.Receive(), e); });
    return result;
}

void SetValue(const ShapePtr& shape, const std::string& name, const ::Data::Variant& value) {
    Core::ThrowIfFailed([&](Core::IErrorCode** e) { return Attribute(shape, name)->SetValue(&value.Raw(), e); });
}

int32_t Int32At(const uint8_t* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

double DoubleAt(const uint8_t* p) {
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) {
        bits = bits << 8 | p[i];
    }
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

Spatialite::Spatialite() : SqliteReader(":memory:") {
    sqlite3_enable_load_extension(Handle(), 1);
    Execute("SELECT load_extension('mod_spatialite');");  // Debian: libsqlite3-mod-spatialite
}

std::vector<std::string> Spatialite::Row(std::string sql, const std::vector<Bytes>& blobs) {
    for (size_t i = blobs.size(); i-- > 0;) {  // ?12 before ?1
        const std::string mark = "?" + std::to_string(i + 1);
        const std::string literal =
            "X'" + VeskTest::HexOf({reinterpret_cast<const char*>(blobs[i].data()), blobs[i].size()}) + "'";
        for (size_t at = sql.find(mark); at != std::string::npos; at = sql.find(mark, at + literal.size())) {
            sql.replace(at, mark.size(), literal);
        }
    }
    const auto rows = Rows(sql);
    return rows.empty() ? std::vector<std::string>{} : rows[0];
}

}  // namespace GeometryTest
