#pragma once
// Factories of shape objects held in memory. Each hands out a new object with one reference owned by
// the caller: the out-pointer must point to null, and error may be null or must point to null.
//
// Thread-safety: every object is owner thread only, except that a shape may ask for its layer while
// another thread releases that layer (the layer link is guarded by a mutex of its own).
#include <cstdint>

#include "Vesk/Core/IErrorCode.h"
#include "Vesk/Shapes/IShape.h"

namespace Shapes {

// A layer named name with no columns, no shapes and no reference system. Fails for a null name.
bool CreateMemoryLayer(const char* name, Vesk::Interfaces::IShapeLayer** layer, Core::IErrorCode** error);

// A reference system with an identifier and a name. Fails for a null name.
bool CreateSpatialReference(int32_t identifier, const char* name, Vesk::Interfaces::ISpatialReference** reference,
                            Core::IErrorCode** error);

// A box with all six bounds 0.
bool CreateBoundingBox(Vesk::Interfaces::IBoundingBox3d** box, Core::IErrorCode** error);

}  // namespace Shapes
