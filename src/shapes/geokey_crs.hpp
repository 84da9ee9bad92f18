// The coordinate system that a file's GeoTIFF keys describe, read as GIS
// readers read the same keys in a GeoTIFF: libgeotiff normalises the keys
// (codes looked up in PROJ's database, unit and parameter keys applied) and
// PROJ builds the system from that.
#pragma once

#include "crs_records.hpp"
#include "proj_handles.hpp"

namespace tessaro {

// The projected or geographic system of the GeoKeyDirectory of `name` with
// its double and ASCII parameters. Empty when the keys name no usable
// system: a malformed directory, no model type and no projected code, a
// model other than projected or geographic, keys that contradict each other
// (a geographic model with a projected code, a projected code with another
// geographic system or datum than its own), a user-defined projected system
// without a method, or a method or code PROJ cannot make.
ProjObject geokey_crs(PJ_CONTEXT* context, const CrsName& name);

}  // namespace tessaro
