// The coordinate system that a file's GeoTIFF keys describe, read as GIS
// readers read the same keys in a GeoTIFF: libgeotiff normalises the keys
// (codes looked up in PROJ's database, unit and parameter keys applied) and
// PROJ builds the system from that.
#pragma once

#include "crs_records.hpp"
#include "proj_handles.hpp"
#include "projection_file.hpp"

namespace tessaro {

// A system made by PROJ, or why there is none.
struct MadeCrs {
    ProjObject crs;
    CrsFault fault = CrsFault::none;  // set when `crs` is empty
};

// The projected or geographic system of the GeoKeyDirectory of `name` with
// its double and ASCII parameters. Empty, with the fault, when the keys name
// no usable system:
//  - malformed: a directory not of version 1, more keys than it holds, a key
//    whose value lies outside the records, an array of shorts in the
//    directory;
//  - incomplete: no model type and no projected code, a model other than
//    projected or geographic, a user-defined projected system without a
//    method, a user-defined ellipsoid without axes;
//  - contradictory: a geographic model with a projected code, a projected
//    code of another kind of system, or with another geographic system or
//    datum than its own;
//  - unsound numbers: a double of the keys that is not finite, a unit, axis,
//    scale or parameter outside the bounds of sound_crs_numbers;
//  - a code PROJ does not hold, a geographic code of a system other than a
//    two-dimensional geographic one, a method PROJ cannot make.
MadeCrs geokey_crs(PJ_CONTEXT* context, const CrsName& name);

// Every number of the horizontal system `crs` (projected or geographic)
// lies within a real Earth model: finite; a semi-major axis of 100 km to
// 100,000 km, a semi-minor one above zero and not above it, an inverse
// flattening of 0 (a sphere) or 1 to 1e10; units of 1e-9 to 1e9 metres or
// radians; angles within 360 degrees either way; lengths within 1e10 metres
// either way; scale factors of 0.001 to 10.
bool sound_crs_numbers(PJ_CONTEXT* context, const PJ* crs);

}  // namespace tessaro
