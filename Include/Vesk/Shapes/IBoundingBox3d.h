#pragma once
#include "Vesk/Core/IObject.h"

namespace Vesk::Interfaces {

// An axis-aligned box in three dimensions. Implementations state their own thread-safety; the
// library reads a box only on the thread that handed it over.
struct IBoundingBox3d : ::Core::IObject {
    // The six bounds; a box that was never set reports what its implementation chose as empty.
    virtual double GetMinX() = 0;
    virtual double GetMinY() = 0;
    virtual double GetMinZ() = 0;
    virtual double GetMaxX() = 0;
    virtual double GetMaxY() = 0;
    virtual double GetMaxZ() = 0;
    // Replaces all six bounds at once; the values are taken as given, unchecked.
    virtual void SetBounds(double minX, double minY, double minZ, double maxX, double maxY, double maxZ) = 0;
};

}  // namespace Vesk::Interfaces
