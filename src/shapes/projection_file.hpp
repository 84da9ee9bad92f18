// The projection file (".prj") of the tile outlines: the survey's horizontal
// coordinate system as ESRI WKT, made by PROJ from the files' GeoTIFF keys
// (read with libgeotiff) or their WKT record.
#pragma once

#include <string>

#include "crs_records.hpp"

namespace tessaro {

// The horizontal coordinate system that every file of the survey names, as
// one line of ESRI WKT. Of a compound system only the horizontal part is
// kept. Empty when the files name no system or different systems, or when
// neither the keys nor the WKT record of a file give a projected or
// two-dimensional geographic system.
std::string survey_projection_wkt(const SurveyCrs& crs);

// Writes `wkt` as the whole content of `prjname`, replacing an earlier file.
// A failed create, write or close ends the run with a message naming the file.
void write_projection_file(const std::string& prjname, const std::string& wkt);

// Removes `prjname` left by an earlier run, so that it cannot describe
// outlines that name no system; a failure other than a missing file ends the
// run with a message naming it.
void remove_projection_file(const std::string& prjname);

}  // namespace tessaro
