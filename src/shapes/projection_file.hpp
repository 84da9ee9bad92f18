// The projection file (".prj") of the tile outlines: the survey's horizontal
// coordinate system as ESRI WKT, made by PROJ from the files' GeoTIFF keys
// (read with libgeotiff) or their WKT record.
#pragma once

#include <string>

#include "crs_records.hpp"

namespace tessaro {

// Why the records of the files give no projection file although they name
// a coordinate system.
enum class CrsFault {
    none,
    no_database,         // PROJ's database cannot be opened
    malformed_keys,      // the GeoTIFF key records are malformed
    incomplete_keys,     // the keys lack what makes the system
    contradictory_keys,  // the keys contradict each other
    unsound_number,      // a number is not finite or beyond any Earth model
    unknown_code,        // PROJ's database holds no such system or datum
    unknown_method,      // a projection method PROJ has no conversion for
    unreadable_wkt,      // PROJ cannot read the WKT record
    not_horizontal,      // neither projected nor two-dimensional geographic
    not_made,            // PROJ fails to make or to write the system
};

// The horizontal system of a survey as ESRI WKT, or why there is none.
struct SurveyProjection {
    std::string wkt;                  // one line; empty when there is none
    CrsFault fault = CrsFault::none;  // set when the files name a system that gives none
};

// The horizontal coordinate system that every file of the survey names, as
// one line of ESRI WKT whose every number is a plain decimal. Of a compound
// system only the horizontal part is kept. Empty without a fault when the
// files name no system or different systems; empty with the fault of the
// first file whose system cannot be written, when neither its keys nor its
// WKT record give a projected or two-dimensional geographic system whose
// numbers are sound. Nothing is printed, on standard output or standard
// error.
SurveyProjection survey_projection(const SurveyCrs& crs);

// The WKT of survey_projection; when the files name a system that cannot be
// written, prints one line that says so and why.
std::string survey_projection_wkt(const SurveyCrs& crs);

// Writes `wkt` as the whole content of `prjname`, replacing an earlier file.
// A failed create, write or close ends the run with a message naming the file.
void write_projection_file(const std::string& prjname, const std::string& wkt);

// Removes `prjname` left by an earlier run, so that it cannot describe
// outlines that name no system; a failure other than a missing file ends the
// run with a message naming it.
void remove_projection_file(const std::string& prjname);

}  // namespace tessaro
