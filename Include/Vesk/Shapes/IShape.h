#pragma once
// Shapes: features with typed attribute values, one geometry in Well-Known Binary and a bounding
// box, grouped in layers. The suite implements these interfaces outside the workspace library, which
// reads them to write shape tables. Every operation that can fail returns false and, when error is
// not null (and points to null), hands out an error object the caller owns.
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Data/IArray.h"
#include "Vesk/Shapes/IAttribute.h"
#include "Vesk/Shapes/IBoundingBox3d.h"
#include "Vesk/Shapes/ISpatialReference.h"

namespace Vesk::Interfaces {

struct IShapeLayer;

// The columns and coordinate reference systems of a layer, shared by the layer and its shapes.
// Owner thread only: the owner serialises access, for example through Lock and Unlock.
struct IShapeHeader : ::Core::IObject {
    virtual uint32_t GetAttributeCount() = 0;
    // The column at index (a new reference); fails for an index beyond the count.
    virtual bool GetAttribute(uint32_t index, IAttributeHeader** attribute, ::Core::IErrorCode** error) = 0;
    // The index of the column with exactly that name, or -1.
    virtual int64_t FindAttribute(const char* name) = 0;
    // Appends a column; fails for a null or empty name or one already present. attribute may be null.
    virtual bool AddAttribute(const char* name, int32_t valueType, IAttributeHeader** attribute,
                              ::Core::IErrorCode** error) = 0;
    // The three optional reference systems: each succeeds with a null result when the layer has none of
    // that kind, else hands out a new reference.
    virtual bool GetCompoundReference(ISpatialReference** reference, ::Core::IErrorCode** error) = 0;
    virtual bool GetProjectedReference(ISpatialReference** reference, ::Core::IErrorCode** error) = 0;
    virtual bool GetGeographicReference(ISpatialReference** reference, ::Core::IErrorCode** error) = 0;
    // Sets (or, with null, removes) the reference system of a kind: 0 compound, 1 projected,
    // 2 geographic; any other kind fails.
    virtual bool SetReference(int32_t kind, ISpatialReference* reference, ::Core::IErrorCode** error) = 0;
};

// The kinds of SetReference.
enum SpatialReferenceKind : int32_t { SRK_Compound = 0, SRK_Projected = 1, SRK_Geographic = 2 };

// One feature of a layer. A shape does not own its layer: it may outlive it, and then only asking
// for the layer fails. Owner thread only, except GetLayer, which is safe while another thread releases
// the layer.
struct IShapeObject : ::Core::IObject {
    // The layer (a new reference); fails with "Parent ShapeLayer does not exists anymore! ShapeLayer
    // lifetime already ended before this ShapeObject" when the layer is gone.
    virtual bool GetLayer(IShapeLayer** layer, ::Core::IErrorCode** error) = 0;
    // The header the shape shares with its layer (a new reference); available after the layer is gone.
    virtual bool GetHeader(IShapeHeader** header, ::Core::IErrorCode** error) = 0;
    // One value per column of the header, in column order.
    virtual uint32_t GetAttributeCount() = 0;
    // The value at index (a new reference bound to this shape); fails beyond the header's columns.
    virtual bool GetAttribute(uint32_t index, IAttributeValue** value, ::Core::IErrorCode** error) = 0;
    // The value of the column with exactly that name (a new reference); fails for an unknown name.
    virtual bool GetAttributeByName(const char* name, IAttributeValue** value, ::Core::IErrorCode** error) = 0;
    // The geometry in Well-Known Binary as bytes (element size 1; empty when the shape has none): a
    // new reference to the shape's own array, so changes to it change the shape.
    virtual bool GetGeometry(::Data::Interfaces::IArray** wkb, ::Core::IErrorCode** error) = 0;
    // Replaces the geometry by a copy of size bytes at wkb (size 0 clears it). The bytes are not
    // checked: a reader measures them.
    virtual bool SetGeometry(const void* wkb, uint64_t size, ::Core::IErrorCode** error) = 0;
    // The shape's own box (a new reference); changing it changes the shape.
    virtual bool GetBoundingBox(IBoundingBox3d** box, ::Core::IErrorCode** error) = 0;
};

// A named collection of shapes with one header. The layer owns its shapes. Owner thread only, except
// that releasing it while a shape asks for it on another thread is safe.
struct IShapeLayer : ::Core::IObject {
    // The layer's name, UTF-8, valid while the layer lives; never null.
    virtual const char* GetName() = 0;
    // The header shared by the layer and its shapes (a new reference).
    virtual bool GetHeader(IShapeHeader** header, ::Core::IErrorCode** error) = 0;
    virtual uint64_t GetShapeCount() = 0;
    // The shape at index (a new reference); fails beyond the count.
    virtual bool GetShape(uint64_t index, IShapeObject** shape, ::Core::IErrorCode** error) = 0;
    // Appends a new shape with Null values, no geometry and a zero box; shape may be null.
    virtual bool CreateShape(IShapeObject** shape, ::Core::IErrorCode** error) = 0;
};

}  // namespace Vesk::Interfaces
