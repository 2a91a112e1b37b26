#pragma once
#include <cstdint>

#include "Vesk/Core/IObject.h"

namespace Vesk::Interfaces {

// A coordinate reference system as a shape layer declares it. Immutable after construction in the
// implementations the suite ships.
struct ISpatialReference : ::Core::IObject {
    // The identifier stored with each geometry (the srs_id of a GeoPackage, usually an EPSG code).
    virtual int32_t GetIdentifier() = 0;
    // The system's name, UTF-8, valid while the object lives; never null.
    virtual const char* GetName() = 0;
};

}  // namespace Vesk::Interfaces
